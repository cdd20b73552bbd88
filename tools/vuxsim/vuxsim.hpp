// A stand-in for the VUX telegram server: a TCP server that speaks the frames
// and the cipher of the telegram link. It polls its clients with ENQ, records
// every telegram they send and sends telegrams (or raw bytes) to them.
// Used by the tests as the service's peer and by `vux-sim` on the command line.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "lib/vuxdatenbank.hpp"

class TVuxSimulator {
 public:
  struct TOptions {
    std::string Host = "127.0.0.1";
    unsigned short Port = 0;  // 0: a free port
    // Interval of the ENQ polls; zero: no polls.
    std::chrono::milliseconds PollInterval{0};
  };
  using TTelegramHandler = std::function<void(const std::string&)>;

  explicit TVuxSimulator(TOptions options);
  ~TVuxSimulator();
  TVuxSimulator(const TVuxSimulator&) = delete;
  TVuxSimulator& operator=(const TVuxSimulator&) = delete;

  unsigned short Port() const { return port_; }

  // Called on the simulator's thread for every telegram received, and for
  // every client that connects (text "<verbunden>") or leaves ("<getrennt>").
  void SetHandler(TTelegramHandler handler);
  // The telegrams received so far, decrypted, in order.
  std::vector<std::string> Received() const;
  void ClearReceived();
  // Waits at most `limit` until the telegram has been received.
  bool WaitForTelegram(const std::string& telegram,
                       std::chrono::milliseconds limit = std::chrono::seconds(10));
  bool WaitForClients(std::size_t count,
                      std::chrono::milliseconds limit = std::chrono::seconds(10));
  std::size_t Clients() const;

  // Encrypts, frames and sends a telegram to every client.
  void Send(const std::string& telegram);
  // Sends these bytes as they are to every client.
  void SendRaw(const std::string& bytes);
  // Sends "KONFIG|DB|" with the connection info document in Base64.
  void SendKonfig(const Sulvane::VUXDatenbank::TVUXDatabaseConnectionInfo& info);
  // Closes every client connection.
  void DisconnectClients();

  // "KONFIG|DB|" + the Base64 document.
  static std::string KonfigTelegram(const Sulvane::VUXDatenbank::TVUXDatabaseConnectionInfo& info);

 private:
  class TSession;
  void DoAccept();
  void ArmPoll();
  void Deliver(const std::string& telegram);
  void Forget(TSession* session);

  TOptions options_;
  boost::asio::io_context loop_;
  boost::asio::ip::tcp::acceptor acceptor_;
  boost::asio::steady_timer poll_timer_;
  std::list<std::shared_ptr<TSession>> sessions_;  // loop thread only
  unsigned short port_ = 0;

  mutable std::mutex lock_;
  std::condition_variable changed_;
  std::vector<std::string> received_;
  std::size_t clients_ = 0;
  TTelegramHandler handler_;

  std::thread thread_;
};
