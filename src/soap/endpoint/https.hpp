// The HTTP(S) server of the SOAP endpoint, over Boost.Beast and asio::ssl.
//
// One thread (the HTTP thread) runs the server's io_context: it accepts,
// reads and writes every connection and calls the request handler. Handler
// calls are therefore strictly one after the other, while a slow or idle
// client only holds its own connection, never the others.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

struct THttpRequest {
  std::string Method;
  std::string Target;
  std::string Body;  // the bytes as received
};

struct THttpReply {
  unsigned Status = 200;
  std::string ContentType;  // empty: no Content-Type header
  std::string Body;
};

class THttpsServer {
 public:
  using THandler = std::function<THttpReply(const THttpRequest&)>;

  struct TLimits {
    // A connection that sends nothing for this long is closed.
    std::chrono::milliseconds Idle{30000};
    // Header and body of one request must arrive within this time.
    std::chrono::milliseconds Request{60000};
    std::chrono::milliseconds Write{30000};
    std::size_t BodyLimit = 16 * 1024 * 1024;
    std::size_t MaxConnections = 32;
  };

  THttpsServer();
  ~THttpsServer();
  THttpsServer(const THttpsServer&) = delete;
  THttpsServer& operator=(const THttpsServer&) = delete;

  void SetCertificateFiles(std::filesystem::path certificate, std::filesystem::path key);
  // false: plain HTTP on the same port.
  void SetTLS(bool on) { tls_ = on; }
  void SetDefaultPort(unsigned short port) { default_port_ = port; }
  void SetLimits(const TLimits& limits) { limits_ = limits; }
  void SetHandler(THandler handler) { handler_ = std::move(handler); }
  // Runs on the activating thread once the port is bound.
  void SetAfterBind(std::function<void()> after_bind) { after_bind_ = std::move(after_bind); }
  // Asked once at activation whether the port speaks TLS (only with TLS on).
  void SetQuerySSLPort(std::function<bool(unsigned short)> query) { query_ssl_ = std::move(query); }

  // Loads certificate and key, binds the port on all addresses and starts
  // the HTTP thread. Fails with a German message.
  void Activate();
  void Stop();

  unsigned short DefaultPort() const { return default_port_; }
  // The port actually bound (differs from the default port 0).
  unsigned short BoundPort() const { return bound_port_; }

  // Used by the sessions.
  const TLimits& Limits() const { return limits_; }
  THttpReply Handle(const THttpRequest& request) const { return handler_(request); }

 private:
  void DoAccept();

  boost::asio::io_context loop_;
  std::optional<boost::asio::ip::tcp::acceptor> acceptor_;
  std::unique_ptr<boost::asio::ssl::context> ssl_;
  std::filesystem::path certificate_, key_;
  bool tls_ = true;
  bool use_tls_ = true;
  unsigned short default_port_ = 443;
  unsigned short bound_port_ = 0;
  TLimits limits_;
  THandler handler_;
  std::function<void()> after_bind_;
  std::function<bool(unsigned short)> query_ssl_;
  // Open connections; shared with them, since the loop may outlive this
  // object's other members while it destroys them.
  std::shared_ptr<std::size_t> sessions_ = std::make_shared<std::size_t>(0);
  std::thread thread_;
};
