// The service module: owns every long-lived resource of the service and
// carries its event handlers.
//
// Threads, and what each one owns and runs:
//   main thread      the host (src/service/main.cpp): signals, start and stop;
//                    nothing of the module runs there
//   service thread   `serviceloop`: `ServiceStart`; the main connection
//                    `database` with `query` (its only user); the reconnect
//                    timer `rectimer` with the after-connect handler (schema
//                    upgrade check); the telegram link `tcpclient` with its
//                    events, its write queue and its heartbeat `tcptimer`; the
//                    telegram dispatch, which hands every incident action on
//                    to the reporting thread
//   reporting thread `reportloop`: the incident actions of the telegrams in
//                    their order of arrival (centre numbers, hand-overs to the
//                    ILS, status sweeps) and the sweep after every connect of
//                    the main connection, one job at a time; all ILS traffic
//                    and its waits run here, on connections of its own
//   HTTP thread      (`https`): the SOAP requests, one at a time, each on its
//                    own connection
// The log, `codesl`, the parameter list of `database` (copied by
// `createconnection`) and the INI readers are safe from any thread; telegrams
// from any thread are posted to the service loop.
#pragma once

#include <atomic>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <type_traits>

#include "lib/firedac.hpp"
#include "lib/inifile.hpp"
#include "lib/logfile.hpp"
#include "lib/stringlist.hpp"
#include "service/servicecontext.hpp"
#include "service/tcpclient.hpp"
#include "service/telegramframe.hpp"
#include "soap/endpoint/https.hpp"

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

class Toltsrv final : public TServiceContext {
  // The loops come first: everything that runs on them is destroyed before them.
  boost::asio::io_context serviceloop_;
  boost::asio::io_context reportloop_;

 public:
  static constexpr const char* kVersion = "2.3.1";

  explicit Toltsrv(TServiceOptions options);
  // Stops the loops and joins their threads.
  ~Toltsrv() override;
  Toltsrv(const Toltsrv&) = delete;
  Toltsrv& operator=(const Toltsrv&) = delete;

  // Starts the service and reporting threads; the service thread runs
  // ServiceStart and then its loop with the reconnect timer.
  void Start();
  // Waits until ServiceStart has finished and gives its `Started`.
  bool WaitStarted();
  void Stop();

  // --- what the units use (any thread) ---
  void addlogsync(const std::string& logtext) override;
  // Encrypts and frames one telegram and queues it on the service loop; lost
  // without notice while the link is down.
  void sendtelegramm(const std::string& Text) override;
  const std::filesystem::path& Folder() const override { return folder_; }
  TIniFile& ini() override { return ini_; }
  TSharedStrings& codesl() override { return codesl_; }
  const TIniFile* slweiterleitung() const override { return slweiterleitung_.get(); }
  std::string oltname() const override { return oltname_; }
  std::unique_ptr<Sulvane::Firedac::TFDConnection> createconnection() override;

  // --- event handlers of the service thread ---
  // The start-up sequence; false when the service does not start.
  bool ServiceStart();
  void rectimerTimer();
  void databaseAfterConnect(Sulvane::Firedac::TFDConnection& sender);
  void tcpclientConnect();
  void tcpclientRead(std::string_view chunk);
  void tcpclientDisconnect();
  void tcpclientError(int ErrorCode);
  void tcptimerTimer();
  // Acts on one received telegram.
  void dispatchtelegramm(const std::string& T);

  // --- event handlers of the HTTP thread ---
  // A request with a body is a SOAP request, one without gets the status page.
  THttpReply httpsCommandGet(const THttpRequest& request);
  void httpsAfterBind();
  bool httpsQuerySSLPort(unsigned short port);

  // Runs the job on the service thread and waits for its result (at most
  // `limit`, else fails); on the service thread itself it runs at once.
  template <class Job>
  auto RunOnServiceLoop(Job job, std::chrono::milliseconds limit = std::chrono::seconds(60))
      -> std::invoke_result_t<Job>;
  // The main connection: service thread only, which this checks.
  Sulvane::Firedac::TFDConnection& database();
  // The last known state of the main connection, from any thread.
  bool DatabaseOpen() const { return database_.IsOpen(); }
  std::vector<std::string> DatabaseParams() const { return database_.Params(); }
  bool weiterleitung() const { return slweiterleitung_ != nullptr; }
  unsigned short BoundPort() const { return https_.BoundPort(); }
  // Queues a job on the reporting thread, behind the jobs already queued.
  void PostReport(std::function<void()> job);

 private:
  void StartUp();
  void ArmRectimer();
  void ArmTcptimer();
  void RequireServiceThread();
  // An error that escapes an event handler: the host's error channel.
  static void ApplicationError(const std::exception& e);

  std::filesystem::path folder_;
  TIniFile ini_;
  Sulvane::LogFile::TLogFile LogFileSys;
  TSharedStrings codesl_;
  // Set before the endpoint starts; never changed afterwards.
  std::unique_ptr<const TIniFile> slweiterleitung_;
  std::string oltname_;
  Sulvane::Firedac::TFDConnection database_;
  std::chrono::milliseconds rectimer_interval_;
  std::chrono::milliseconds tcptimer_interval_;

  boost::asio::executor_work_guard<boost::asio::io_context::executor_type> servicework_;
  boost::asio::executor_work_guard<boost::asio::io_context::executor_type> reportwork_;
  boost::asio::steady_timer rectimer_;
  // Runs on the service loop beside the link it watches.
  boost::asio::steady_timer tcptimer_;
  TTcpClient tcpclient_;
  TFrameReader framereader_;  // service thread only
  THttpsServer https_;
  // "UPDATE|OLTAKTIV" waits for the first connection of the link.
  std::atomic<bool> oltaktiv_pending_{false};
  std::thread servicethread_;
  std::thread reportthread_;
  std::promise<bool> started_;
  std::shared_future<bool> started_future_;
  // Last member: the service is reachable only while all the rest exists.
  std::optional<TServiceRegistration> registration_;
};

template <class Job>
auto Toltsrv::RunOnServiceLoop(Job job, std::chrono::milliseconds limit)
    -> std::invoke_result_t<Job> {
  if (serviceloop_.get_executor().running_in_this_thread()) return job();
  auto task = std::make_shared<std::packaged_task<std::invoke_result_t<Job>()>>(std::move(job));
  auto result = task->get_future();
  boost::asio::post(serviceloop_, [task] { (*task)(); });
  if (result.wait_for(limit) != std::future_status::ready)
    throw std::runtime_error("Der Dienst-Thread antwortet nicht.");
  return result.get();
}
