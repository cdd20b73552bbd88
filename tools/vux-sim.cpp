// vux-sim: a VUX telegram server for commissioning and tests. Listens for the
// service, polls it with ENQ, prints every telegram it receives (control
// characters made visible) and sends telegrams given on the command line or
// typed on standard input, one per line.
#include <signal.h>

#include <charconv>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "lib/datenverarbeitung.hpp"
#include "lib/logfile.hpp"
#include "vuxsim/vuxsim.hpp"

namespace {

void Usage(std::ostream& out) {
  out << "Aufruf: vux-sim [--host ADRESSE] [--port PORT] [--poll MS] [--send TELEGRAMM]...\n"
         "               [--konfig SERVER,DATENBANK,BENUTZER,PASSWORT[,PORT[,SSL]]]\n"
         "  --host    Adresse, auf der gelauscht wird (Vorgabe 127.0.0.1)\n"
         "  --port    TCP-Port (Vorgabe 2200)\n"
         "  --poll    Abstand der ENQ-Abfragen in ms (Vorgabe 30000, 0: keine)\n"
         "  --send    Telegramm, das jedem neuen Client geschickt wird (mehrfach möglich)\n"
         "  --konfig  schickt jedem neuen Client ein KONFIG|DB|-Telegramm\n"
         "Jede Zeile auf der Standardeingabe wird als Telegramm an alle Clients geschickt.\n";
}

std::optional<unsigned> Number(const std::string& text) {
  unsigned value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<Sulvane::VUXDatenbank::TVUXDatabaseConnectionInfo> KonfigFrom(
    const std::string& text) {
  const auto fields = Sulvane::Datenverarbeitung::splitstring(text, ',');
  if (fields.size() < 4 || fields.size() > 6) return std::nullopt;
  Sulvane::VUXDatenbank::TVUXDatabaseConnectionInfo info;
  info.ServerName = fields[0];
  info.DatabaseName = fields[1];
  info.Username = fields[2];
  info.Password = fields[3];
  if (fields.size() > 4) {
    const auto port = Number(fields[4]);
    if (!port) return std::nullopt;
    info.ServerPort = static_cast<int>(*port);
  }
  if (fields.size() > 5) info.SSLConnection = fields[5] != "0";
  return info;
}

}  // namespace

int main(int argc, char** argv) {
  TVuxSimulator::TOptions options;
  options.Port = 2200;
  options.PollInterval = std::chrono::milliseconds(30000);
  std::vector<std::string> greeting;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      Usage(std::cout);
      return 0;
    } else if (arg == "--host" && has_value) {
      options.Host = argv[++i];
    } else if ((arg == "--port" || arg == "--poll") && has_value) {
      const auto n = Number(argv[++i]);
      if (!n || (arg == "--port" && *n > 65535)) {
        std::cerr << "vux-sim: ungültige Zahl " << argv[i] << "\n";
        return 2;
      }
      if (arg == "--port")
        options.Port = static_cast<unsigned short>(*n);
      else
        options.PollInterval = std::chrono::milliseconds(*n);
    } else if (arg == "--send" && has_value) {
      greeting.emplace_back(argv[++i]);
    } else if (arg == "--konfig" && has_value) {
      const auto info = KonfigFrom(argv[++i]);
      if (!info) {
        std::cerr << "vux-sim: --konfig erwartet SERVER,DATENBANK,BENUTZER,PASSWORT[,PORT[,SSL]]\n";
        return 2;
      }
      greeting.push_back(TVuxSimulator::KonfigTelegram(*info));
    } else {
      std::cerr << "vux-sim: unbekannter Parameter " << arg << "\n";
      Usage(std::cerr);
      return 2;
    }
  }

  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);

  std::mutex out;
  try {
    TVuxSimulator sim(options);
    TVuxSimulator* self = &sim;
    sim.SetHandler([&out, &greeting, self](const std::string& telegram) {
      {
        std::lock_guard lock(out);
        std::cout << Sulvane::LogFile::TVUXLogFileBasics::ReplaceNotPrintableChars(telegram)
                  << std::endl;
      }
      if (telegram == "<verbunden>")
        for (const auto& t : greeting) self->Send(t);
    });
    {
      std::lock_guard lock(out);
      std::cout << "vux-sim: lausche auf " << options.Host << ":" << sim.Port() << std::endl;
    }
    // Standard input on a thread of its own; its end does not end the simulator.
    std::thread([&sim] {
      for (std::string line; std::getline(std::cin, line);)
        if (!line.empty()) sim.Send(line);
    }).detach();
    int signal = 0;
    sigwait(&stop, &signal);
    // The reader of standard input may still hold the simulator: end here.
    std::cout.flush();
    std::_Exit(0);
  } catch (const std::exception& e) {
    std::cerr << "vux-sim: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
