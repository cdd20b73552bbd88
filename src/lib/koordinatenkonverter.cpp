#include "lib/koordinatenkonverter.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <utility>

extern char** environ;

namespace Sulvane::VUX::KoordinatenKonverter {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The system's error in the form the service reports it.
[[noreturn]] void RaiseOSError(int code) {
  throw std::runtime_error("Systemfehler. Code: " + std::to_string(code) + ". " +
                           std::strerror(code));
}

struct TFileActions {
  posix_spawn_file_actions_t actions;
  TFileActions() {
    if (const int e = posix_spawn_file_actions_init(&actions); e != 0) RaiseOSError(e);
  }
  ~TFileActions() { posix_spawn_file_actions_destroy(&actions); }
  TFileActions(const TFileActions&) = delete;
  TFileActions& operator=(const TFileActions&) = delete;
};

struct TSpawnAttributes {
  posix_spawnattr_t attributes;
  TSpawnAttributes() {
    if (const int e = posix_spawnattr_init(&attributes); e != 0) RaiseOSError(e);
  }
  ~TSpawnAttributes() { posix_spawnattr_destroy(&attributes); }
  TSpawnAttributes(const TSpawnAttributes&) = delete;
  TSpawnAttributes& operator=(const TSpawnAttributes&) = delete;
};

void ReplaceFirst(std::string& text, char what, char with) {
  if (const auto at = text.find(what); at != std::string::npos) text[at] = with;
}

// White space and control characters at both ends removed.
std::string_view Trim(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

// --- process ----------------------------------------------------------------

void TFileHandle::Reset() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

TCreateProcess::~TCreateProcess() { Release(); }

std::string TCreateProcess::ConsoleOutputText() const {
  std::string text;
  for (const std::string& line : ConsoleOutput) text += line + "\r\n";
  return text;
}

void TCreateProcess::Run() {
  Release();
  if (CommandLine.empty()) throw std::invalid_argument("TCreateProcess: no program");
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) RaiseOSError(errno);
  TFileHandle read_end(fds[0]);
  const TFileHandle write_end(fds[1]);

  TFileActions files;
  if (const int e =
          posix_spawn_file_actions_addopen(&files.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
      e != 0)
    RaiseOSError(e);
  if (const int e =
          posix_spawn_file_actions_adddup2(&files.actions, write_end.Get(), STDOUT_FILENO);
      e != 0)
    RaiseOSError(e);

  // A group of its own; no signal blocked or ignored that the service blocks
  // or ignores for itself.
  TSpawnAttributes attributes;
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int s : {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGALRM, SIGTERM, SIGCHLD, SIGUSR1, SIGUSR2})
    sigaddset(&defaults, s);
  posix_spawnattr_setflags(&attributes.attributes,
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  posix_spawnattr_setpgroup(&attributes.attributes, 0);
  posix_spawnattr_setsigmask(&attributes.attributes, &none);
  posix_spawnattr_setsigdefault(&attributes.attributes, &defaults);

  std::vector<char*> argv;
  for (std::string& arg : CommandLine) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (const int e = posix_spawn(&pid, CommandLine.front().c_str(), &files.actions,
                                &attributes.attributes, argv.data(), environ);
      e != 0)
    RaiseOSError(e);
  pid_ = pid;
  pipe_ = std::move(read_end);
  ended_ = false;
  pending_.clear();
  // The write end closes here: the output ends when the child's copy does.
}

bool TCreateProcess::HandleReadEvent(std::chrono::milliseconds limit) {
  if (ended_ || !pipe_) return false;
  const auto deadline = Clock::now() + limit;
  pollfd p{pipe_.Get(), POLLIN, 0};
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    const int n = ::poll(&p, 1, static_cast<int>(std::max<long long>(0, left.count())));
    if (n > 0) break;
    if (n == 0) return true;
    if (errno != EINTR) RaiseOSError(errno);
  }
  char buffer[4096];
  ssize_t n;
  do {
    n = ::read(pipe_.Get(), buffer, sizeof buffer);
  } while (n < 0 && errno == EINTR);
  const auto deliver = [this](std::string line) {
    if (line.ends_with('\r')) line.pop_back();
    if (OnRead) OnRead(*this, line, true);
  };
  if (n <= 0) {
    ended_ = true;
    pipe_.Reset();
    if (!pending_.empty()) deliver(std::exchange(pending_, std::string()));
    return false;
  }
  pending_.append(buffer, static_cast<std::size_t>(n));
  for (std::size_t end; (end = pending_.find('\n')) != std::string::npos;) {
    std::string line = pending_.substr(0, end);
    pending_.erase(0, end + 1);
    deliver(std::move(line));
  }
  return true;
}

bool TCreateProcess::Running() {
  if (pid_ <= 0) return false;
  siginfo_t info{};
  // Only looks: the child is reaped on release, so that its process group
  // cannot be taken by another process before then.
  if (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0) return false;
  return info.si_pid == 0;
}

void TCreateProcess::Terminate() {
  if (pid_ <= 0) return;
  if (::kill(-pid_, SIGKILL) != 0) ::kill(pid_, SIGKILL);
}

void TCreateProcess::Release() {
  if (pid_ > 0) {
    // Whatever is left of the group goes with it; the child has not been
    // reaped yet, so the group id is still ours.
    Terminate();
    while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
    pid_ = 0;
  }
  pipe_.Reset();
  pending_.clear();
  ended_ = false;
}

// --- adapter ----------------------------------------------------------------

std::string TVUXKoordinatenKonverter::GetConvertedStr(const std::string& kx, const std::string& ky,
                                                      const std::string& epsgin,
                                                      const std::string& epsgout) {
  const fs::path program = folder_ / kKonverterName;
  std::error_code ec;
  if (!fs::is_regular_file(program, ec))
    throw std::runtime_error("Anwendung koordinaten-konverter.exe nicht vorhanden.");
  std::string x = kx, y = ky;
  ReplaceFirst(x, ',', '.');
  ReplaceFirst(y, ',', '.');

  TCreateProcess process;
  // Every value is one argument as it is: no shell sees it.
  process.CommandLine = {program.string(), epsgin, x, y};
  if (!epsgout.empty()) process.CommandLine.push_back(epsgout);
  process.OnRead = [this](TCreateProcess& sender, const std::string& s, bool starts_on_new_line) {
    pRead(sender, s, starts_on_new_line);
  };
  process.Run();

  // The converter has the time of 21 checks of 40 ms to write its line; the
  // wait ends as soon as a line is there or the output has ended.
  const auto deadline = Clock::now() + kWaitChecks * kWaitCheck;
  while (process.ConsoleOutputText().empty()) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0 || !process.HandleReadEvent(left)) break;
  }
  if (process.Running()) process.Terminate();
  return process.ConsoleOutputText();
}

void TVUXKoordinatenKonverter::pRead(TCreateProcess& Sender, const std::string& S,
                                     bool /*StartsOnNewLine*/) {
  Sender.ConsoleOutput.clear();
  if (!S.empty()) Sender.ConsoleOutput.push_back(S);
}

bool convertkoordinaten(const fs::path& folder, const std::string& x, const std::string& y,
                        const std::string& quelle, const std::string& ziel, double& first,
                        double& second) {
  std::string text;
  {
    TVUXKoordinatenKonverter konverter(folder);
    text = konverter.GetConvertedStr(x, y, quelle, ziel);
  }
  text = std::string(Trim(text));
  std::replace(text.begin(), text.end(), '.', ',');
  const auto blank = text.find(' ');
  if (blank == std::string::npos) return false;
  const double a = RegionalStrToFloat(std::string_view(text).substr(0, blank));
  const double b = RegionalStrToFloat(std::string_view(text).substr(blank + 1));
  first = a;
  second = b;
  return true;
}

// --- regional numbers -------------------------------------------------------

double RegionalStrToFloat(std::string_view text) {
  const auto fail = [text]() -> double {
    throw EConvertError("'" + std::string(text) + "' ist kein gültiger Gleitkommawert");
  };
  std::string_view s = text;
  while (s.starts_with(' ')) s.remove_prefix(1);
  while (s.ends_with(' ')) s.remove_suffix(1);
  std::string number;
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    if (s[i] == '-') number += '-';
    ++i;
  }
  std::size_t digits = 0;
  for (; i < s.size() && IsDigit(s[i]); ++i, ++digits) number += s[i];
  if (i < s.size() && s[i] == ',') {
    number += '.';
    for (++i; i < s.size() && IsDigit(s[i]); ++i, ++digits) number += s[i];
  }
  if (digits == 0) return fail();
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    number += 'e';
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) number += s[i++];
    std::size_t exponent = 0;
    for (; i < s.size() && IsDigit(s[i]); ++i, ++exponent) number += s[i];
    if (exponent == 0) return fail();
  }
  if (i != s.size()) return fail();
  std::string_view n(number);
  double value = 0;
  const auto [end, ec] = std::from_chars(n.data(), n.data() + n.size(), value);
  if (ec != std::errc() || end != n.data() + n.size() || !std::isfinite(value)) return fail();
  return value;
}

std::string RegionalFloatToStr(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  if (value == 0) return "0";
  // 15 significant digits and the decimal exponent of the first of them.
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.14e", std::fabs(value));
  const std::string_view e(buffer);
  const std::size_t at = e.find('e');
  std::string digits = std::string(1, e[0]) + std::string(e.substr(2, at - 2));
  int exponent = 0;
  std::from_chars(e.data() + at + (e[at + 1] == '+' ? 2 : 1), e.data() + e.size(), exponent);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string out = value < 0 ? "-" : "";
  if (exponent < -5 || exponent >= 15) {
    out += digits[0];
    if (digits.size() > 1) out += "," + digits.substr(1);
    out += "E" + std::to_string(exponent);
  } else if (exponent < 0) {
    out += "0," + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
  } else {
    const std::size_t whole = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= whole) {
      out += digits + std::string(whole - digits.size(), '0');
    } else {
      out += digits.substr(0, whole) + "," + digits.substr(whole);
    }
  }
  return out;
}

}  // namespace Sulvane::VUX::KoordinatenKonverter
