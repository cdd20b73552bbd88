// The host of the service on Linux: runs it in the foreground under systemd
// (Type=simple) until SIGTERM or SIGINT, and installs or removes its unit.
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "service/mdlserver.hpp"

namespace fs = std::filesystem;

namespace {

constexpr const char* kServiceName = "oltsrv";
constexpr const char* kDescription = "Service-Anwendung für Einsatzübernahme in VUX.";

struct TCommandLine {
  enum class TAction { Run, Install, Uninstall, Help } Action = TAction::Run;
  std::optional<fs::path> Home;
};

fs::path ExecutablePath() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : exe;
}

// Where the unit goes; OLTSRV_SYSTEMD_DIR lets a test install into a folder.
fs::path UnitFolder() {
  const char* dir = std::getenv("OLTSRV_SYSTEMD_DIR");
  return dir != nullptr && *dir != '\0' ? fs::path(dir) : fs::path("/etc/systemd/system");
}

void Usage(std::ostream& out) {
  out << "Aufruf: oltsrv [--home VERZEICHNIS] [--install | --uninstall]\n"
         "  --home DIR    Verzeichnis mit olt.ini, Log und Feldlisten\n"
         "                (Vorgabe: das Verzeichnis des Programms)\n"
         "  --install     systemd-Unit oltsrv.service anlegen (auch /install)\n"
         "  --uninstall   systemd-Unit oltsrv.service entfernen (auch /uninstall)\n";
}

std::optional<TCommandLine> ParseCommandLine(int argc, char** argv) {
  TCommandLine cl;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--install" || arg == "/install" || arg == "-install") {
      cl.Action = TCommandLine::TAction::Install;
    } else if (arg == "--uninstall" || arg == "/uninstall" || arg == "-uninstall") {
      cl.Action = TCommandLine::TAction::Uninstall;
    } else if (arg == "--help" || arg == "-h") {
      cl.Action = TCommandLine::TAction::Help;
    } else if (arg == "--home" && i + 1 < argc) {
      cl.Home = fs::absolute(argv[++i]);
    } else {
      std::cerr << "oltsrv: unbekannter Parameter " << arg << "\n";
      return std::nullopt;
    }
  }
  return cl;
}

int Install(const std::optional<fs::path>& home) {
  std::string exec = ExecutablePath().string();
  if (home) exec += " --home " + home->string();
  const fs::path unit = UnitFolder() / (std::string(kServiceName) + ".service");
  std::ofstream out(unit, std::ios::trunc);
  out << "[Unit]\n"
      << "Description=" << kDescription << "\n"
      << "After=network-online.target mariadb.service\n"
      << "Wants=network-online.target\n\n"
      << "[Service]\n"
      << "Type=simple\n"
      << "ExecStart=" << exec << "\n"
      << "Restart=on-failure\n"
      << "RestartSec=20\n\n"
      << "[Install]\n"
      << "WantedBy=multi-user.target\n";
  out.close();
  if (!out) {
    std::cerr << "oltsrv: " << unit.string()
              << " kann nicht geschrieben werden: " << std::strerror(errno) << "\n";
    return 1;
  }
  std::cout << "Dienst " << kServiceName << " installiert: " << unit.string() << "\n";
  return 0;
}

int Uninstall() {
  const fs::path unit = UnitFolder() / (std::string(kServiceName) + ".service");
  std::error_code ec;
  if (!fs::remove(unit, ec)) {
    std::cerr << "oltsrv: " << unit.string() << " kann nicht entfernt werden"
              << (ec ? ": " + ec.message() : std::string(": nicht vorhanden")) << "\n";
    return 1;
  }
  std::cout << "Dienst " << kServiceName << " entfernt: " << unit.string() << "\n";
  return 0;
}

// SIGTERM and SIGINT end the service. They are blocked from the first moment,
// so that the service's threads inherit the mask and the main thread alone
// takes them with sigwait.
const sigset_t& StopSignals() {
  static const sigset_t signals = [] {
    sigset_t s;
    sigemptyset(&s);
    sigaddset(&s, SIGTERM);
    sigaddset(&s, SIGINT);
    return s;
  }();
  return signals;
}

// Runs the service until SIGTERM or SIGINT; a failed start ends the process
// with a non-zero status.
int Run(const std::optional<fs::path>& home) {
  TServiceOptions options;
  options.Folder = home ? *home : ExecutablePath().parent_path();

  Toltsrv service(options);
  service.Start();
  if (!service.WaitStarted()) {
    std::cerr << "oltsrv: Dienst konnte nicht gestartet werden, siehe "
              << (options.Folder / "olt-schnittstelle.log").string() << "\n";
    return 1;
  }
  int signal = 0;
  sigwait(&StopSignals(), &signal);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  pthread_sigmask(SIG_BLOCK, &StopSignals(), nullptr);
  const auto cl = ParseCommandLine(argc, argv);
  if (!cl) {
    Usage(std::cerr);
    return 2;
  }
  switch (cl->Action) {
    case TCommandLine::TAction::Help:
      Usage(std::cout);
      return 0;
    case TCommandLine::TAction::Install:
      return Install(cl->Home);
    case TCommandLine::TAction::Uninstall:
      return Uninstall();
    case TCommandLine::TAction::Run:
      break;
  }
  return Run(cl->Home);
}
