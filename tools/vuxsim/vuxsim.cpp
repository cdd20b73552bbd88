#include "vuxsim/vuxsim.hpp"

#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>
#include <deque>
#include <future>

#include "lib/vuxcrypto.hpp"
#include "service/telegramframe.hpp"

namespace asio = boost::asio;
using asio::ip::tcp;
using boost::system::error_code;
using Sulvane::VUXCrypto::AES::DecryptText;
using Sulvane::VUXCrypto::AES::EncryptText;
using Sulvane::VUXCrypto::AES::kTelegramPassphrase;

// One connected client: reads its frames, writes through one queue.
class TVuxSimulator::TSession : public std::enable_shared_from_this<TSession> {
 public:
  TSession(TVuxSimulator& owner, tcp::socket socket) : owner_(owner), socket_(std::move(socket)) {}

  void Start() { DoRead(); }

  void Write(std::string bytes) {
    const bool idle = queue_.empty();
    queue_.push_back(std::move(bytes));
    if (idle) DoWrite();
  }

  void Close() {
    error_code ignored;
    socket_.shutdown(tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
  }

 private:
  void DoRead() {
    socket_.async_read_some(
        asio::buffer(buffer_),
        [self = shared_from_this()](const error_code& ec, std::size_t n) { self->OnRead(ec, n); });
  }

  void OnRead(const error_code& ec, std::size_t n) {
    if (ec) {
      owner_.Forget(this);
      return;
    }
    for (const std::string& frame : reader_.Feed(std::string_view(buffer_.data(), n)).frames) {
      try {
        owner_.Deliver(DecryptText(frame, kTelegramPassphrase));
      } catch (const std::exception& e) {
        owner_.Deliver(std::string("<nicht entschlüsselbar: ") + e.what() + ">");
      }
    }
    DoRead();
  }

  void DoWrite() {
    asio::async_write(socket_, asio::buffer(queue_.front()),
                      [self = shared_from_this()](const error_code& ec, std::size_t) {
                        self->queue_.pop_front();
                        if (!ec && !self->queue_.empty()) self->DoWrite();
                      });
  }

  TVuxSimulator& owner_;
  tcp::socket socket_;
  std::array<char, 65536> buffer_{};
  TFrameReader reader_;
  std::deque<std::string> queue_;
};

TVuxSimulator::TVuxSimulator(TOptions options)
    : options_(std::move(options)), acceptor_(loop_), poll_timer_(loop_) {
  const tcp::endpoint endpoint(asio::ip::make_address(options_.Host), options_.Port);
  acceptor_.open(endpoint.protocol());
  acceptor_.set_option(tcp::acceptor::reuse_address(true));
  acceptor_.bind(endpoint);
  acceptor_.listen();
  port_ = acceptor_.local_endpoint().port();
  DoAccept();
  if (options_.PollInterval.count() > 0) ArmPoll();
  thread_ = std::thread([this] { loop_.run(); });
}

TVuxSimulator::~TVuxSimulator() {
  std::promise<void> closed;
  asio::post(loop_, [this, &closed] {
    error_code ignored;
    acceptor_.close(ignored);
    poll_timer_.cancel();
    for (auto& s : sessions_) s->Close();
    sessions_.clear();
    closed.set_value();
  });
  closed.get_future().wait();
  loop_.stop();
  if (thread_.joinable()) thread_.join();
}

void TVuxSimulator::DoAccept() {
  acceptor_.async_accept([this](const error_code& ec, tcp::socket socket) {
    if (ec) return;
    auto session = std::make_shared<TSession>(*this, std::move(socket));
    sessions_.push_back(session);
    {
      std::lock_guard lock(lock_);
      ++clients_;
    }
    changed_.notify_all();
    if (handler_) handler_("<verbunden>");
    session->Start();
    DoAccept();
  });
}

void TVuxSimulator::ArmPoll() {
  poll_timer_.expires_after(options_.PollInterval);
  poll_timer_.async_wait([this](const error_code& ec) {
    if (ec) return;
    for (auto& s : sessions_) s->Write(std::string(1, ENQ));
    ArmPoll();
  });
}

void TVuxSimulator::Deliver(const std::string& telegram) {
  TTelegramHandler handler;
  {
    std::lock_guard lock(lock_);
    received_.push_back(telegram);
    handler = handler_;
  }
  changed_.notify_all();
  if (handler) handler(telegram);
}

void TVuxSimulator::Forget(TSession* session) {
  const auto before = sessions_.size();
  sessions_.remove_if([session](const auto& s) { return s.get() == session; });
  if (sessions_.size() == before) return;
  {
    std::lock_guard lock(lock_);
    --clients_;
  }
  changed_.notify_all();
  if (handler_) handler_("<getrennt>");
}

void TVuxSimulator::SetHandler(TTelegramHandler handler) {
  std::lock_guard lock(lock_);
  handler_ = std::move(handler);
}

std::vector<std::string> TVuxSimulator::Received() const {
  std::lock_guard lock(lock_);
  return received_;
}

void TVuxSimulator::ClearReceived() {
  std::lock_guard lock(lock_);
  received_.clear();
}

bool TVuxSimulator::WaitForTelegram(const std::string& telegram, std::chrono::milliseconds limit) {
  std::unique_lock lock(lock_);
  return changed_.wait_for(lock, limit, [&] {
    return std::find(received_.begin(), received_.end(), telegram) != received_.end();
  });
}

bool TVuxSimulator::WaitForClients(std::size_t count, std::chrono::milliseconds limit) {
  std::unique_lock lock(lock_);
  return changed_.wait_for(lock, limit, [&] { return clients_ == count; });
}

std::size_t TVuxSimulator::Clients() const {
  std::lock_guard lock(lock_);
  return clients_;
}

void TVuxSimulator::Send(const std::string& telegram) {
  SendRaw(MakeFrame(EncryptText(telegram, kTelegramPassphrase)));
}

void TVuxSimulator::SendRaw(const std::string& bytes) {
  asio::post(loop_, [this, bytes] {
    for (auto& s : sessions_) s->Write(bytes);
  });
}

std::string TVuxSimulator::KonfigTelegram(
    const Sulvane::VUXDatenbank::TVUXDatabaseConnectionInfo& info) {
  return "KONFIG|DB|" + info.ToKonfigXML(true);
}

void TVuxSimulator::SendKonfig(const Sulvane::VUXDatenbank::TVUXDatabaseConnectionInfo& info) {
  Send(KonfigTelegram(info));
}

void TVuxSimulator::DisconnectClients() {
  asio::post(loop_, [this] {
    for (auto& s : sessions_) s->Close();
  });
}
