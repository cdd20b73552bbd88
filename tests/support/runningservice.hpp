// A started service for one test: a fresh test database, the service's own
// folder and, at the end of its telegram link, the simulated VUX server. The
// service's log is printed when the test fails.
//
// A fixture inherits from it beside testing::Test and names what it needs in
// the options; a test may also make one in its body.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "lib/koordinatenkonverter.hpp"
#include "service/mdlserver.hpp"
#include "support/httpclient.hpp"
#include "support/logfile.hpp"
#include "support/servicehome.hpp"
#include "support/testdb.hpp"
#include "support/timezone.hpp"
#include "vuxsim/vuxsim.hpp"

namespace testsupport {

struct RunningServiceOptions {
  // The demo catalogue of sql/seed.sql, loaded before the start.
  bool seed = false;
  // The real coordinate converter in the service's folder.
  bool konverter = false;
  // TZ while the service lives; empty: the process's own.
  std::string time_zone{};
  // The SOAP endpoint: HTTPS, or plain HTTP without; its limits.
  bool tls = true;
  THttpsServer::TLimits http_limits{};
  std::chrono::milliseconds rectimer{20000};
  std::chrono::milliseconds tcptimer{122000};
  // The telegram link: to a simulator of its own; without one, to
  // link_host:link_port, or with no port given to olt.ini's defaults, where
  // no VUX server listens.
  bool simulator = true;
  std::string link_host = "127.0.0.1";
  unsigned short link_port = 0;
  // With the simulator: the start waits until the service has announced
  // itself on the link ("UPDATE|OLTAKTIV"), and the simulator then forgets
  // what it received up to there.
  bool wait_for_link = true;
  // A database connection of the test's own, as a request has one.
  bool connection = false;
};

class RunningService {
  // Declared first: the time zone comes back once all the rest is gone.
  std::optional<TimeZone> zone_;

 public:
  TestDatabase db;
  ServiceHome home{&db};
  std::optional<TVuxSimulator> sim;  // with RunningServiceOptions::simulator
  std::unique_ptr<Toltsrv> service;
  std::unique_ptr<Sulvane::Firedac::TFDConnection> connection;  // with ::connection

  // Starts the service; a failed start fails the test and throws.
  explicit RunningService(const RunningServiceOptions& options = {}) : tls_(options.tls) {
    if (!options.time_zone.empty()) zone_.emplace(options.time_zone.c_str());
    if (options.simulator) sim.emplace(TVuxSimulator::TOptions{});
    Start(options);
    if (!up_) {
      PrintLog();
      throw std::runtime_error("the service is not up");
    }
  }
  ~RunningService() {
    if (testing::Test::HasFailure()) PrintLog();
  }
  RunningService(const RunningService&) = delete;
  RunningService& operator=(const RunningService&) = delete;

  // The endpoint's address.
  std::string Url(bool tls, const std::string& path = "/") const {
    return std::string(tls ? "https" : "http") +
           "://127.0.0.1:" + std::to_string(service->BoundPort()) + path;
  }

  // Posts the request to the endpoint and gives the reply's body.
  std::string Post(const std::string& request) const {
    HttpOptions o;
    o.body = request;
    const auto r = HttpCall(Url(tls_), o);
    EXPECT_EQ(r.code, CURLE_OK) << r.error;
    EXPECT_EQ(r.status, 200) << r.error;
    return r.body;
  }

  // What the simulator received since the last call (or since it last forgot
  // what it had), proven complete by a last telegram sent for the purpose:
  // the link keeps the order.
  std::vector<std::string> Telegrams() {
    service->sendtelegramm(kSentinel);
    EXPECT_TRUE(sim->WaitForTelegram(kSentinel));
    auto received = sim->Received();
    if (!received.empty() && received.back() == kSentinel) received.pop_back();
    sim->ClearReceived();
    return received;
  }

  // The log's error lines, without the link's reports of failed connections.
  std::vector<std::string> Errors() const {
    std::vector<std::string> errors;
    for (const auto& e : LogEntries(home.Log()))
      if (e.starts_with("FEHLER") && !IsLinkError(e)) errors.push_back(e);
    return errors;
  }

  // How many entries the log has, to mark where an action of the test begins;
  // the entries logged since then.
  std::size_t LogMark() const { return LogEntries(home.Log()).size(); }
  std::vector<std::string> LogSince(std::size_t mark) const {
    auto entries = LogEntries(home.Log());
    entries.erase(entries.begin(),
                  entries.begin() + static_cast<std::ptrdiff_t>(std::min(mark, entries.size())));
    return entries;
  }

  // The real coordinate converter into the service's folder, in place of
  // whatever lies there.
  void InstallKonverter() const {
    std::filesystem::copy_file(OLTSRV_KONVERTER,
                               home / Sulvane::VUX::KoordinatenKonverter::kKonverterName,
                               std::filesystem::copy_options::overwrite_existing);
  }

  void PrintLog() const {
    for (const auto& e : LogEntries(home.Log())) std::cerr << "  log: " << e << "\n";
  }

 private:
  static constexpr const char* kSentinel = "TEST|ENDE";

  void Start(const RunningServiceOptions& options) {
    if (options.seed) db.LoadSeed();
    if (options.konverter) InstallKonverter();
    if (!options.tls) home.Set("Server", "SSL", "0");
    if (sim) {
      home.Set("VUX-Server", "Port", std::to_string(sim->Port()));
    } else if (options.link_port != 0) {
      home.Set("VUX-Server", "Host", options.link_host);
      home.Set("VUX-Server", "Port", std::to_string(options.link_port));
    }
    TServiceOptions service_options;
    service_options.Folder = home.Folder();
    service_options.RectimerInterval = options.rectimer;
    service_options.TcptimerInterval = options.tcptimer;
    service_options.HttpLimits = options.http_limits;
    service = std::make_unique<Toltsrv>(service_options);
    service->Start();
    ASSERT_TRUE(service->WaitStarted());
    if (sim && options.wait_for_link) {
      ASSERT_TRUE(sim->WaitForClients(1));
      ASSERT_TRUE(sim->WaitForTelegram("UPDATE|OLTAKTIV"));
      sim->ClearReceived();
    }
    if (options.connection) connection = service->createconnection();
    up_ = true;
  }

  bool tls_;
  bool up_ = false;
};

}  // namespace testsupport
