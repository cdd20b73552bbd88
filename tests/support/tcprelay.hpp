// A loopback TCP relay: accepts on one address and port and pipes every
// connection to another. Lets a test put a server where a fixed port is
// expected (127.0.0.2:3306 in front of the test database).
#pragma once

#include <boost/asio.hpp>
#include <memory>
#include <string>
#include <thread>

namespace testsupport {

class TcpRelay {
 public:
  // Throws boost::system::system_error when the address cannot be bound.
  TcpRelay(const std::string& listen_host, unsigned short listen_port,
           const std::string& target_host, unsigned short target_port)
      : acceptor_(loop_), target_(boost::asio::ip::make_address(target_host), target_port) {
    const boost::asio::ip::tcp::endpoint endpoint(boost::asio::ip::make_address(listen_host),
                                                  listen_port);
    acceptor_.open(endpoint.protocol());
    acceptor_.set_option(boost::asio::ip::tcp::acceptor::reuse_address(true));
    acceptor_.bind(endpoint);
    acceptor_.listen();
    Accept();
    thread_ = std::thread([this] { loop_.run(); });
  }
  ~TcpRelay() {
    loop_.stop();
    thread_.join();
  }

 private:
  using tcp = boost::asio::ip::tcp;

  struct Pipe : std::enable_shared_from_this<Pipe> {
    tcp::socket a, b;
    std::array<char, 16384> ab{}, ba{};
    Pipe(tcp::socket client, boost::asio::io_context& loop) : a(std::move(client)), b(loop) {}
    void Start(const tcp::endpoint& target) {
      b.async_connect(target, [self = shared_from_this()](const boost::system::error_code& ec) {
        if (ec) return;
        self->Pump(self->a, self->b, self->ab);
        self->Pump(self->b, self->a, self->ba);
      });
    }
    void Pump(tcp::socket& from, tcp::socket& to, std::array<char, 16384>& buffer) {
      from.async_read_some(
          boost::asio::buffer(buffer), [self = shared_from_this(), &from, &to, &buffer](
                                           const boost::system::error_code& ec, std::size_t n) {
            if (ec) {
              boost::system::error_code ignored;
              to.shutdown(tcp::socket::shutdown_send, ignored);
              return;
            }
            boost::asio::async_write(
                to, boost::asio::buffer(buffer.data(), n),
                [self, &from, &to, &buffer](const boost::system::error_code& ec, std::size_t) {
                  if (!ec) self->Pump(from, to, buffer);
                });
          });
    }
  };

  void Accept() {
    acceptor_.async_accept([this](const boost::system::error_code& ec, tcp::socket socket) {
      if (ec) return;
      std::make_shared<Pipe>(std::move(socket), loop_)->Start(target_);
      Accept();
    });
  }

  boost::asio::io_context loop_;
  tcp::acceptor acceptor_;
  tcp::endpoint target_;
  std::thread thread_;
};

}  // namespace testsupport
