// The event-driven TCP client of the telegram link. Connecting, reading and
// closing run on one io_context (the service loop), whose thread also gets
// every event; writes come from any thread.
#pragma once

#include <array>
#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

class TTcpClient {
 public:
  struct THandlers {
    std::function<void()> Connect;               // the connection is made
    std::function<void(std::string_view)> Read;  // one chunk: the bytes of one read
    std::function<void()> Disconnect;            // the peer closed the connection
    std::function<void(int)> Error;              // connect, read or write failed: errno
  };

  TTcpClient(boost::asio::io_context& loop, THandlers handlers);
  TTcpClient(const TTcpClient&) = delete;
  TTcpClient& operator=(const TTcpClient&) = delete;

  void SetHost(std::string host);
  std::string Host() const;
  void SetPort(unsigned short port);
  // An attempt that has not connected by then fails with ETIMEDOUT.
  void SetConnectTimeout(std::chrono::milliseconds timeout) { connect_timeout_ = timeout; }

  // Starts a connection attempt in the background unless one runs or the
  // link is connected, or no host is set yet. Any thread.
  void Activate();
  // Closes the connection; no event follows. Any thread.
  void Deactivate();
  // Connected.
  bool Active() const { return state_.load() == TState::Connected; }

  // Writes the bytes in one piece. Nothing is written and nothing reported
  // while not connected. Writes of several threads never interleave; a write
  // that fails closes the connection and reports the error on the loop.
  void Write(std::string_view bytes);

 private:
  enum class TState { Idle, Connecting, Connected };

  void DoConnect();
  void OnConnected(unsigned generation, const boost::system::error_code& ec);
  void DoRead(unsigned generation);
  void OnRead(unsigned generation, const boost::system::error_code& ec, std::size_t n);
  void CloseSocket();
  void Fail(int code);

  boost::asio::io_context& loop_;
  THandlers handlers_;
  boost::asio::ip::tcp::resolver resolver_;
  boost::asio::ip::tcp::socket socket_;
  boost::asio::steady_timer connect_timer_;
  std::chrono::milliseconds connect_timeout_{20000};
  std::array<char, 65536> readbuf_{};

  mutable std::mutex settings_lock_;
  std::string host_;
  unsigned short port_ = 0;

  std::atomic<TState> state_{TState::Idle};
  unsigned generation_ = 0;  // loop thread only: events of an older connection are ignored

  // The writers' view of the connection, changed only under write_lock_.
  std::mutex write_lock_;
  int write_fd_ = -1;
  unsigned write_generation_ = 0;
};
