// The service module: owns every long-lived resource of the service and
// carries its event handlers.
//
// Threads and what runs on them:
//   main thread     `mainloop`:    the reconnect timer `rectimer` (and the
//                                  after-connect handler when it reopens the
//                                  database), every line handed over by
//                                  `addlogsync`
//   service thread  `serviceloop`: `ServiceStart`, then the telegram link's
//                                  events, its heartbeat timer `tcptimer` and
//                                  everything the dispatch calls
//   HTTP thread     (`https`):     the SOAP requests, one at a time
// The main connection `database` is used from both: every use holds
// `LockDatabase()`.
#pragma once

#include <atomic>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "lib/firedac.hpp"
#include "lib/inifile.hpp"
#include "lib/logfile.hpp"
#include "lib/stringlist.hpp"
#include "service/tcpclient.hpp"
#include "service/telegramframe.hpp"
#include "soap/https.hpp"

// What the host decides before the module is created.
struct TServiceOptions {
  // The executable's folder: olt.ini, the log and every other file lie here.
  std::filesystem::path Folder;
  std::chrono::milliseconds RectimerInterval{20000};
  // No data from the telegram server for this long resets the link.
  std::chrono::milliseconds TcptimerInterval{122000};
  // Time and size limits of the SOAP endpoint's connections.
  THttpsServer::TLimits HttpLimits;
  // Injected "now" of the log file (tests); empty: the system clock.
  Sulvane::LogFile::TClock Clock;
};

class Toltsrv {
  // The loops come first: everything that runs on them is destroyed before them.
  boost::asio::io_context mainloop_;
  boost::asio::io_context serviceloop_;

 public:
  static constexpr const char* kVersion = "2.3.1";

  explicit Toltsrv(TServiceOptions options);
  // Stops the loops and joins their threads.
  ~Toltsrv();
  Toltsrv(const Toltsrv&) = delete;
  Toltsrv& operator=(const Toltsrv&) = delete;

  // Starts the main thread's loop with the reconnect timer, and the service
  // thread, which runs ServiceStart and then its own loop.
  void Start();
  // Waits until ServiceStart has finished and gives its `Started`.
  bool WaitStarted();
  void Stop();

  // The start-up sequence; false when the service does not start.
  bool ServiceStart();
  void rectimerTimer();
  // A new open connection with the main connection's current parameters.
  std::unique_ptr<Sulvane::Firedac::TFDConnection> createconnection();
  void databaseAfterConnect(Sulvane::Firedac::TFDConnection& sender);
  // Writes a line on the main thread and waits for it: level 6 when the text
  // begins with a blank, else level 3.
  void addlogsync(const std::string& logtext);

  // The telegram link: encrypts, frames and writes one telegram; from any
  // thread; lost without notice while the link is down.
  void sendtelegramm(const std::string& Text);
  void tcpclientConnect();
  void tcpclientRead(std::string_view chunk);
  void tcpclientDisconnect();
  void tcpclientError(int ErrorCode);
  void tcptimerTimer();
  // Acts on one received telegram (service thread).
  void dispatchtelegramm(const std::string& T);

  // The SOAP endpoint (HTTP thread): a request with a body is a SOAP
  // request, one without gets the status page.
  THttpReply httpsCommandGet(const THttpRequest& request);
  void httpsAfterBind();
  bool httpsQuerySSLPort(unsigned short port);

  // Holds off every other user of `database` and `query`.
  std::unique_lock<std::recursive_mutex> LockDatabase() {
    return std::unique_lock<std::recursive_mutex>(databaselock_);
  }
  const std::filesystem::path& Folder() const { return folder_; }
  boost::asio::io_context& MainLoop() { return mainloop_; }
  boost::asio::io_context& ServiceLoop() { return serviceloop_; }

  // Fields of the module, set during start-up.
  Sulvane::LogFile::TLogFile LogFileSys;
  TIniFile ini;
  TSharedStrings codesl;
  bool weiterleitung = false;
  std::unique_ptr<TIniFile> slweiterleitung;
  std::string oltname;
  Sulvane::Firedac::TFDConnection database;
  Sulvane::Firedac::TFDQuery query{database};
  TTcpClient tcpclient;
  THttpsServer https;

 private:
  void StartUp();
  void ArmRectimer();
  void ArmTcptimer();
  // An error that escapes an event handler: the host's error channel.
  static void ApplicationError(const std::exception& e);

  std::filesystem::path folder_;
  std::chrono::milliseconds rectimer_interval_;
  std::chrono::milliseconds tcptimer_interval_;
  std::recursive_mutex databaselock_;

  boost::asio::executor_work_guard<boost::asio::io_context::executor_type> mainwork_;
  boost::asio::executor_work_guard<boost::asio::io_context::executor_type> servicework_;
  boost::asio::steady_timer rectimer_;
  // Runs on the service loop beside the link it watches.
  boost::asio::steady_timer tcptimer_;
  TFrameReader framereader_;  // service thread only
  // "UPDATE|OLTAKTIV" waits for the first connection of the link.
  std::atomic<bool> oltaktiv_pending_{false};
  std::thread mainthread_;
  std::thread servicethread_;
  std::atomic<bool> mainloop_running_{false};
  std::promise<bool> started_;
  std::shared_future<bool> started_future_;
};

// The process-wide reference to the one service module.
extern Toltsrv* oltsrv;
