#include "soap/endpoint/https.hpp"

#include <openssl/err.h>
#include <boost/asio/ip/v6_only.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <future>
#include <stdexcept>

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace ssl = asio::ssl;
using asio::ip::tcp;
using boost::system::error_code;

namespace {

// OpenSSL's own text ("...:No such file or directory", "...:PEM lib") says
// more than asio's.
std::string SslReason(const error_code& ec) {
  if (ec.category() != asio::error::get_ssl_category()) return ec.message();
  char text[256] = {};
  ERR_error_string_n(static_cast<unsigned long>(ec.value()), text, sizeof text);
  return text;
}

constexpr std::size_t kHeaderLimit = 64 * 1024;
// How long a refused request's remaining body is read and thrown away.
constexpr std::chrono::seconds kDrainTime{5};

std::string StatusPage(const std::string& message) {
  return "<h1>OLT-Schnittstelle VUX4</h1>\r<p>Fehlerhafter Aufruf: " + message + "</p>";
}

// One client connection: reads requests, hands each to the server's handler
// and writes the reply, until the client closes, a limit strikes or the
// request says "close". Stream is a tcp_stream or an ssl_stream over one.
template <class Stream>
class TSession : public std::enable_shared_from_this<TSession<Stream>> {
 public:
  static constexpr bool kTls = !std::is_same_v<Stream, beast::tcp_stream>;

  template <class... Args>
  TSession(THttpsServer& server, std::shared_ptr<std::size_t> count, Args&&... args)
      : server_(server), count_(std::move(count)), stream_(std::forward<Args>(args)...) {
    ++*count_;
  }
  ~TSession() { --*count_; }

  void Run() {
    if constexpr (kTls) {
      beast::get_lowest_layer(stream_).expires_after(server_.Limits().Idle);
      stream_.async_handshake(ssl::stream_base::server,
                              [self = this->shared_from_this()](const error_code& ec) {
                                if (!ec) self->DoRead();
                              });
    } else {
      DoRead();
    }
  }

 private:
  // Waits for the first byte of a request within the idle limit, then gives
  // the whole request the request limit.
  void DoRead() {
    parser_.emplace();
    parser_->body_limit(server_.Limits().BodyLimit);
    parser_->header_limit(kHeaderLimit);
    if (buffer_.size() > 0) {
      ReadRequest();
      return;
    }
    beast::get_lowest_layer(stream_).expires_after(server_.Limits().Idle);
    stream_.async_read_some(buffer_.prepare(4096),
                            [self = this->shared_from_this()](const error_code& ec, std::size_t n) {
                              if (ec) return self->DoClose();
                              self->buffer_.commit(n);
                              self->ReadRequest();
                            });
  }

  void ReadRequest() {
    beast::get_lowest_layer(stream_).expires_after(server_.Limits().Request);
    http::async_read(
        stream_, buffer_, *parser_,
        [self = this->shared_from_this()](const error_code& ec, std::size_t) { self->OnRead(ec); });
  }

  void OnRead(const error_code& ec) {
    if (ec == http::error::end_of_stream || ec == beast::error::timeout ||
        ec == asio::error::operation_aborted || ec == ssl::error::stream_truncated)
      return DoClose();
    if (ec == http::error::body_limit)
      return Refuse({413, "text/html; charset=utf-8",
                     StatusPage("Anfrage zu groß (mehr als " +
                                std::to_string(server_.Limits().BodyLimit) + " Bytes)")});
    if (ec) {
      // The request itself cannot be read: no SOAP processing.
      if (!parser_->is_header_done()) return DoClose();
      return Refuse({400, "text/html; charset=utf-8", StatusPage(ec.message())});
    }
    http::request<http::string_body>& request = parser_->get();
    const THttpRequest r{std::string(request.method_string()), std::string(request.target()),
                         std::move(request.body())};
    Reply(server_.Handle(r), request.keep_alive());
  }

  void Reply(THttpReply reply, bool keep_alive) {
    Write(std::move(reply), keep_alive, [self = this->shared_from_this(), keep_alive] {
      if (!keep_alive) return self->DoClose();
      self->DoRead();
    });
  }

  // Answers a request whose body was not read, then reads and discards what
  // the client still sends before closing. Closing with unread bytes in the
  // socket would reset the connection, and the client would lose the reply.
  void Refuse(THttpReply reply) {
    Write(std::move(reply), false, [self = this->shared_from_this()] {
      beast::get_lowest_layer(self->stream_).expires_after(kDrainTime);
      self->buffer_.clear();
      self->Drain();
    });
  }

  // Writes the reply; then runs next, or closes if the write failed.
  template <class Next>
  void Write(THttpReply reply, bool keep_alive, Next next) {
    response_ = {};
    response_.version(11);
    response_.result(reply.Status);
    if (!reply.ContentType.empty()) response_.set(http::field::content_type, reply.ContentType);
    response_.body() = std::move(reply.Body);
    response_.keep_alive(keep_alive);
    response_.prepare_payload();
    beast::get_lowest_layer(stream_).expires_after(server_.Limits().Write);
    http::async_write(stream_, response_,
                      [self = this->shared_from_this(), next = std::move(next)](
                          const error_code& ec, std::size_t) {
                        if (ec) return self->DoClose();
                        next();
                      });
  }

  void Drain() {
    stream_.async_read_some(buffer_.prepare(64 * 1024),
                            [self = this->shared_from_this()](const error_code& ec, std::size_t) {
                              if (ec) return self->DoClose();
                              self->Drain();
                            });
  }

  void DoClose() {
    if constexpr (kTls) {
      beast::get_lowest_layer(stream_).expires_after(std::chrono::seconds(5));
      stream_.async_shutdown([self = this->shared_from_this()](const error_code&) {
        error_code ignored;
        beast::get_lowest_layer(self->stream_).socket().close(ignored);
      });
    } else {
      error_code ignored;
      stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    }
  }

  THttpsServer& server_;
  std::shared_ptr<std::size_t> count_;
  Stream stream_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  http::response<http::string_body> response_;
};

}  // namespace

THttpsServer::THttpsServer() = default;

THttpsServer::~THttpsServer() { Stop(); }

void THttpsServer::SetCertificateFiles(std::filesystem::path certificate,
                                       std::filesystem::path key) {
  certificate_ = std::move(certificate);
  key_ = std::move(key);
}

void THttpsServer::Activate() {
  use_tls_ = tls_;
  if (use_tls_) {
    // TLS 1.2 only; clients present no certificate.
    auto context = std::make_unique<ssl::context>(ssl::context::tlsv12_server);
    context->set_options(ssl::context::default_workarounds | ssl::context::no_compression |
                         ssl::context::single_dh_use);
    context->set_verify_mode(ssl::verify_none);
    error_code ec;
    context->use_certificate_chain_file(certificate_.string(), ec);
    if (ec)
      throw std::runtime_error("Zertifikat " + certificate_.string() +
                               " kann nicht geladen werden: " + SslReason(ec));
    context->use_private_key_file(key_.string(), ssl::context::pem, ec);
    if (ec)
      throw std::runtime_error("Schlüssel " + key_.string() +
                               " kann nicht geladen werden: " + SslReason(ec));
    ssl_ = std::move(context);
  }

  const tcp::endpoint endpoint(tcp::v6(), default_port_);
  acceptor_.emplace(loop_);
  error_code ec;
  acceptor_->open(endpoint.protocol(), ec);
  if (!ec) acceptor_->set_option(asio::ip::v6_only(false), ec);
  // Without IPv6 the endpoint listens on all IPv4 addresses.
  const tcp::endpoint bound = ec ? tcp::endpoint(tcp::v4(), default_port_) : endpoint;
  if (ec) {
    acceptor_.emplace(loop_);
    acceptor_->open(bound.protocol(), ec);
    if (ec) throw std::runtime_error("Port kann nicht geöffnet werden: " + ec.message());
  }
  acceptor_->set_option(tcp::acceptor::reuse_address(true));
  acceptor_->bind(bound, ec);
  if (ec)
    throw std::runtime_error("Port " + std::to_string(default_port_) +
                             " kann nicht belegt werden: " + ec.message());
  acceptor_->listen(asio::socket_base::max_listen_connections, ec);
  if (ec)
    throw std::runtime_error("Port " + std::to_string(default_port_) +
                             " kann nicht belegt werden: " + ec.message());
  bound_port_ = acceptor_->local_endpoint().port();
  if (use_tls_ && query_ssl_) use_tls_ = query_ssl_(bound_port_);
  if (after_bind_) after_bind_();

  DoAccept();
  thread_ = std::thread([this] { loop_.run(); });
}

void THttpsServer::Stop() {
  if (!thread_.joinable()) return;
  std::promise<void> closed;
  asio::post(loop_, [this, &closed] {
    error_code ignored;
    acceptor_->close(ignored);
    closed.set_value();
  });
  closed.get_future().wait();
  loop_.stop();
  thread_.join();
}

void THttpsServer::DoAccept() {
  acceptor_->async_accept([this](const error_code& ec, tcp::socket socket) {
    if (ec == asio::error::operation_aborted) return;
    if (!ec) {
      if (*sessions_ >= limits_.MaxConnections) {
        error_code ignored;
        socket.close(ignored);
      } else if (use_tls_) {
        std::make_shared<TSession<beast::ssl_stream<beast::tcp_stream>>>(*this, sessions_,
                                                                         std::move(socket), *ssl_)
            ->Run();
      } else {
        std::make_shared<TSession<beast::tcp_stream>>(*this, sessions_, std::move(socket))->Run();
      }
    }
    DoAccept();
  });
}
