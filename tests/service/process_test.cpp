// The service as a process: start, failed start, stop by signal, install.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "support/logfile.hpp"
#include "support/servicehome.hpp"

extern char** environ;

using namespace std::chrono_literals;
using testsupport::LogEntries;
using testsupport::ServiceHome;
using testsupport::TestDatabase;

namespace {

class Process {
 public:
  explicit Process(std::vector<std::string> args, std::vector<std::string> env = {}) {
    args.insert(args.begin(), OLTSRV_EXE);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e) environment.emplace_back(*e);
    environment.insert(environment.end(), env.begin(), env.end());
    std::vector<char*> envp;
    for (auto& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    if (posix_spawn(&pid_, OLTSRV_EXE, nullptr, nullptr, argv.data(), envp.data()) != 0)
      throw std::runtime_error("posix_spawn failed");
  }
  ~Process() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  void Signal(int signal) { kill(pid_, signal); }
  // The exit status, or -1 when the process still runs after `limit`.
  int Wait(std::chrono::milliseconds limit = 20s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(20ms);
    }
    return -1;
  }

 private:
  pid_t pid_ = 0;
};

}  // namespace

TEST(ServiceProcess, FailedStartExitsNonZeroAfterTheEmergencyLine) {
  TestDatabase db(false);
  ServiceHome home(&db);
  home.Set("Database", "Port", "1");
  Process service({"--home", home.Folder().string()});
  EXPECT_GT(service.Wait(), 0);
  auto log = LogEntries(home.Log());
  std::erase_if(log, [](const std::string& e) { return e.starts_with("FEHLER    | TCP Error"); });
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], "Hinweis   | OLT-Schnittstelle (V 2.3.1) wird gestartet, bitte warten...");
  EXPECT_THAT(log[1], testing::StartsWith("EMERGENCY | OLT Schnittstelle konnte nicht gestartet "
                                          "werden! (Can't connect to server on '127.0.0.1'"));
}

TEST(ServiceProcess, RunsUntilSigterm) {
  TestDatabase db;
  ServiceHome home(&db);
  for (int signal : {SIGTERM, SIGINT}) {
    std::filesystem::remove(home.Log());
    Process service({"--home", home.Folder().string()});
    ASSERT_TRUE(testsupport::WaitForEntry(home.Log(),
                                          "Hinweis   | OLT Schnittstelle gestartet auf Port: 0"))
        << "signal " << signal;
    service.Signal(signal);
    EXPECT_EQ(service.Wait(), 0) << "signal " << signal;
  }
}

TEST(ServiceProcess, InstallWritesTheSystemdUnitAndUninstallRemovesIt) {
  testsupport::TempDir units;
  const std::string env = "OLTSRV_SYSTEMD_DIR=" + units.path().string();
  const auto unit = units / "oltsrv.service";
  const std::string exe = std::filesystem::canonical(OLTSRV_EXE).string();
  for (const char* install : {"--install", "/install"}) {
    EXPECT_EQ(Process({install}, {env}).Wait(), 0) << install;
    const std::string text = testsupport::ReadFile(unit);
    EXPECT_THAT(
        text, testing::HasSubstr("\nDescription=Service-Anwendung für Einsatzübernahme in VUX.\n"));
    EXPECT_THAT(text, testing::HasSubstr("\nType=simple\n"));
    EXPECT_THAT(text, testing::HasSubstr("\nExecStart=" + exe + "\n")) << install;
  }
  EXPECT_EQ(Process({"--home", "/opt/olt", "--install"}, {env}).Wait(), 0);
  EXPECT_THAT(testsupport::ReadFile(unit),
              testing::HasSubstr("\nExecStart=" + exe + " --home /opt/olt\n"));

  EXPECT_EQ(Process({"/uninstall"}, {env}).Wait(), 0);
  EXPECT_FALSE(std::filesystem::exists(unit));
  EXPECT_NE(Process({"--uninstall"}, {env}).Wait(), 0) << "nothing to remove";
}
