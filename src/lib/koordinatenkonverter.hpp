// Sulvane.VUX.KoordinatenKonverter: the adapter of the coordinate converter
// program "koordinaten-konverter.exe" in the folder of the service
// executable. The service does not transform coordinates itself: it runs the
// program once per conversion with the systems and the pair on its command
// line and reads the converted pair from the program's standard output.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace Sulvane::VUX::KoordinatenKonverter {

inline constexpr const char* kKonverterName = "koordinaten-konverter.exe";
// The converter has this many checks of this length to write its result.
inline constexpr int kWaitChecks = 21;
inline constexpr std::chrono::milliseconds kWaitCheck{40};

// A text that is not a number in the regional format.
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An open file descriptor, closed with its owner.
class TFileHandle {
 public:
  TFileHandle() = default;
  explicit TFileHandle(int fd) : fd_(fd) {}
  ~TFileHandle() { Reset(); }
  TFileHandle(TFileHandle&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  TFileHandle& operator=(TFileHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = other.fd_;
      other.fd_ = -1;
    }
    return *this;
  }
  TFileHandle(const TFileHandle&) = delete;
  TFileHandle& operator=(const TFileHandle&) = delete;
  int Get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  void Reset();

 private:
  int fd_ = -1;
};

// A program run as a child process without a shell and without a window:
// standard input from /dev/null, standard output on a pipe to us, standard
// error shared with the service. The child leads a process group of its own,
// so terminating it also ends whatever it started. On release the group is
// killed, the child reaped and the pipe closed: no process, zombie or pipe
// outlives the object.
class TCreateProcess {
 public:
  // The output event: one call per line of output, with the line's text
  // without its line break.
  using TReadEvent =
      std::function<void(TCreateProcess& Sender, const std::string& S, bool StartsOnNewLine)>;

  TCreateProcess() = default;
  ~TCreateProcess();
  TCreateProcess(const TCreateProcess&) = delete;
  TCreateProcess& operator=(const TCreateProcess&) = delete;

  // The program's path, then its arguments, each passed as it is.
  std::vector<std::string> CommandLine;
  TReadEvent OnRead;
  // The captured output, one entry per line; filled by the output event
  // handler, not by the process object.
  std::vector<std::string> ConsoleOutput;
  // The captured lines, each ended by CR LF.
  std::string ConsoleOutputText() const;

  // Starts the program; a failure to start raises the system's error.
  void Run();
  // Waits at most `limit` for output and hands every whole line that
  // arrived to OnRead. At the end of the output an unfinished last line is
  // handed over too. False once the output has ended: nothing more comes.
  bool HandleReadEvent(std::chrono::milliseconds limit);
  // True while the program has not ended.
  bool Running();
  // Ends the program and everything in its process group.
  void Terminate();
  pid_t ProcessId() const { return pid_; }

 private:
  void Release();

  pid_t pid_ = 0;
  TFileHandle pipe_;  // read end of the child's standard output
  bool ended_ = false;
  std::string pending_;  // output after the last line break
};

class TVUXKoordinatenKonverter {
 public:
  // The converter lies in `folder`, the service's folder.
  explicit TVUXKoordinatenKonverter(std::filesystem::path folder) : folder_(std::move(folder)) {}

  // Runs the converter once with `epsgin`, `kx`, `ky` and, when not empty,
  // `epsgout`, and returns the output it captured (lines ended by CR LF):
  // the first output that arrives within 21 checks of 40 ms; a converter
  // still running after that is terminated, and its output is then empty.
  // The first "," of `kx` and of `ky` becomes ".".
  // Raises "Anwendung koordinaten-konverter.exe nicht vorhanden." when the
  // program is not beside the executable, and the system's error when it
  // cannot be started.
  std::string GetConvertedStr(const std::string& kx, const std::string& ky,
                              const std::string& epsgin, const std::string& epsgout);
  // The output event handler: the captured output becomes `S`.
  void pRead(TCreateProcess& Sender, const std::string& S, bool StartsOnNewLine);

 private:
  std::filesystem::path folder_;
};

// Converts one pair with the converter: its output "first second" ("." or ","
// as decimal separator, blanks around ignored) is read in the regional number
// format into `first` and `second`. Output without a blank (also none at all)
// leaves both as the caller passed them and gives false; true when a pair was
// read. The errors of GetConvertedStr and an EConvertError for a text that is
// not a number reach the caller.
bool convertkoordinaten(const std::filesystem::path& folder, const std::string& x,
                        const std::string& y, const std::string& quelle, const std::string& ziel,
                        double& first, double& second);

// The service's regional number format (decimal separator ","):
// A whole text as a number: blanks around, an optional sign, digits with at
// most one ",", an optional exponent ("1,5E3"). Anything else raises
// EConvertError "'text' ist kein gültiger Gleitkommawert".
double RegionalStrToFloat(std::string_view text);
// A number in the general form: up to 15 significant digits, no trailing
// zeros, "," as decimal separator; an exponent ("1,5E-7", "1E20") below
// 0,00001 and from 1E15 on.
std::string RegionalFloatToStr(double value);

}  // namespace Sulvane::VUX::KoordinatenKonverter
