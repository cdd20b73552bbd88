#include "service/tcpclient.hpp"

#include <poll.h>
#include <sys/socket.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/post.hpp>
#include <cerrno>

namespace asio = boost::asio;
using boost::system::error_code;

namespace {

// A peer that takes no data for this long is treated as gone.
constexpr int kWriteTimeoutMs = 5000;

}  // namespace

TTcpClient::TTcpClient(asio::io_context& loop, THandlers handlers)
    : loop_(loop),
      handlers_(std::move(handlers)),
      resolver_(loop),
      socket_(loop),
      connect_timer_(loop) {}

void TTcpClient::SetHost(std::string host) {
  std::lock_guard lock(settings_lock_);
  host_ = std::move(host);
}

std::string TTcpClient::Host() const {
  std::lock_guard lock(settings_lock_);
  return host_;
}

void TTcpClient::SetPort(unsigned short port) {
  std::lock_guard lock(settings_lock_);
  port_ = port;
}

void TTcpClient::Activate() {
  asio::post(loop_, [this] { DoConnect(); });
}

void TTcpClient::Deactivate() {
  asio::post(loop_, [this] { CloseSocket(); });
}

void TTcpClient::DoConnect() {
  if (state_ != TState::Idle) return;
  std::string host, port;
  {
    std::lock_guard lock(settings_lock_);
    if (host_.empty()) return;
    host = host_;
    port = std::to_string(port_);
  }
  state_ = TState::Connecting;
  const unsigned generation = ++generation_;
  connect_timer_.expires_after(connect_timeout_);
  connect_timer_.async_wait([this, generation](const error_code& ec) {
    if (ec || generation != generation_ || state_ != TState::Connecting) return;
    Fail(ETIMEDOUT);
  });
  resolver_.async_resolve(
      host, port,
      [this, generation](const error_code& ec, asio::ip::tcp::resolver::results_type results) {
        if (generation != generation_) return;
        if (ec) {
          Fail(ec.value());
          return;
        }
        asio::async_connect(
            socket_, results,
            [this, generation](const error_code& ec, const asio::ip::tcp::endpoint&) {
              OnConnected(generation, ec);
            });
      });
}

void TTcpClient::OnConnected(unsigned generation, const error_code& ec) {
  if (generation != generation_) return;
  connect_timer_.cancel();
  if (ec) {
    Fail(ec.value());
    return;
  }
  {
    std::lock_guard lock(write_lock_);
    write_fd_ = socket_.native_handle();
    write_generation_ = generation;
  }
  state_ = TState::Connected;
  if (handlers_.Connect) handlers_.Connect();
  DoRead(generation);
}

void TTcpClient::DoRead(unsigned generation) {
  socket_.async_read_some(
      asio::buffer(readbuf_),
      [this, generation](const error_code& ec, std::size_t n) { OnRead(generation, ec, n); });
}

void TTcpClient::OnRead(unsigned generation, const error_code& ec, std::size_t n) {
  if (generation != generation_) return;
  if (ec == asio::error::eof) {
    CloseSocket();
    if (handlers_.Disconnect) handlers_.Disconnect();
    return;
  }
  if (ec) {
    Fail(ec.value());
    return;
  }
  if (handlers_.Read) handlers_.Read(std::string_view(readbuf_.data(), n));
  // The handler may have closed the link, or a new connection replaced it.
  if (generation == generation_ && state_ == TState::Connected) DoRead(generation);
}

void TTcpClient::CloseSocket() {
  {
    std::lock_guard lock(write_lock_);
    write_fd_ = -1;
  }
  ++generation_;
  connect_timer_.cancel();
  resolver_.cancel();
  error_code ignored;
  socket_.close(ignored);
  state_ = TState::Idle;
}

void TTcpClient::Fail(int code) {
  CloseSocket();
  if (handlers_.Error) handlers_.Error(code);
}

void TTcpClient::Write(std::string_view bytes) {
  std::lock_guard lock(write_lock_);
  if (write_fd_ < 0) return;
  int error = 0;
  std::size_t written = 0;
  while (written < bytes.size() && error == 0) {
    const ssize_t n =
        ::send(write_fd_, bytes.data() + written, bytes.size() - written, MSG_NOSIGNAL);
    if (n > 0) {
      written += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // The socket is non-blocking for the loop's sake; a writer waits here.
      pollfd p{write_fd_, POLLOUT, 0};
      const int ready = ::poll(&p, 1, kWriteTimeoutMs);
      if (ready == 0) error = ETIMEDOUT;
      if (ready < 0 && errno != EINTR) error = errno;
    } else {
      error = n < 0 ? errno : EPIPE;
    }
  }
  if (error == 0) return;
  // A half-written frame would garble the stream: the connection goes.
  write_fd_ = -1;
  const unsigned generation = write_generation_;
  asio::post(loop_, [this, generation, error] {
    if (generation != generation_ || state_ != TState::Connected) return;
    Fail(error);
  });
}
