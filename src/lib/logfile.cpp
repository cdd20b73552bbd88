#include "lib/logfile.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace Sulvane::LogFile {

namespace {

namespace fs = std::filesystem;
using std::chrono::system_clock;

constexpr const char* kNoFileName = "Keine Log-Datei vorhanden.";
constexpr const char* kLogFolderFailed =
    "Verzeichnis für die Log-Datei kann nicht erstellt werden.";
constexpr const char* kArchiveFolderFailed =
    "Verzeichnis für rotierte Log-Dateien kann nicht erstellt werden.";
constexpr const char* kOldLogFolderFailed =
    "Verzeichnis für alte Log-Dateien kann nicht erstellt werden.";
constexpr const char* kChangeWhileOpen =
    "Eigenschaft kann nur bei geschlossener Log-Datei geändert werden";

constexpr std::size_t kLevelWidth = 9;

std::string_view LevelText(int level) {
  static constexpr std::string_view kTexts[] = {
      "EMERGENCY", "ALERT", "CRITICAL", "FEHLER",  "Warnung",
      "Hinweis",   "Info",  "Debug",    "Debug 1", "Debug 2",
  };
  if (level < 0 || level >= static_cast<int>(std::size(kTexts))) return "?";
  return kTexts[level];
}

std::tm LocalTime(system_clock::time_point moment) {
  const std::time_t seconds = system_clock::to_time_t(moment);
  std::tm local{};
  ::localtime_r(&seconds, &local);
  return local;
}

std::string FormatLocal(system_clock::time_point moment, const char* format) {
  const std::tm local = LocalTime(moment);
  char buffer[64];
  const std::size_t length = std::strftime(buffer, sizeof buffer, format, &local);
  return std::string(buffer, length);
}

bool SameLocalDay(system_clock::time_point a, system_clock::time_point b) {
  const std::tm x = LocalTime(a);
  const std::tm y = LocalTime(b);
  return x.tm_year == y.tm_year && x.tm_mon == y.tm_mon && x.tm_mday == y.tm_mday;
}

// The log's path with its extension replaced by suffix; placed in the archive
// folder if one is set.
fs::path RotatedName(const std::string& logPath, const std::string& archiveFolder,
                     const std::string& suffix) {
  const fs::path path(logPath);
  const fs::path name = path.stem().string() + suffix;
  if (archiveFolder.empty()) return path.parent_path() / name;
  return fs::path(archiveFolder) / name;
}

// Creates folder with all missing parents unless it is there already.
void EnsureFolder(const fs::path& folder, const char* message) {
  if (folder.empty()) return;
  std::error_code error;
  if (fs::is_directory(folder, error)) return;
  fs::create_directories(folder, error);
  if (error || !fs::is_directory(folder, error)) throw ELogFileError(message);
}

bool Exists(const fs::path& path) {
  std::error_code error;
  return fs::exists(fs::symlink_status(path, error));
}

class TFd {
 public:
  explicit TFd(int fd) : fd_(fd) {}
  ~TFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return fd_; }
  // Closes now and reports whether closing succeeded.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

// Copies from into a new file to (never an existing one), then deletes from.
// On any failure the copy is removed again and from stays.
bool CopyThenDelete(const fs::path& from, const fs::path& to) {
  TFd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.Get() < 0) return false;
  struct stat info {};
  if (::fstat(in.Get(), &info) != 0) return false;
  TFd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, info.st_mode & 07777));
  if (out.Get() < 0) return false;

  bool ok = true;
  char buffer[64 * 1024];
  while (ok) {
    const ssize_t got = ::read(in.Get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      ok = got == 0;
      break;
    }
    ok = WriteAll(out.Get(), buffer, static_cast<std::size_t>(got));
  }
  ok = ok && ::fsync(out.Get()) == 0;
  ok = out.Close() && ok;
  if (ok && ::unlink(from.c_str()) == 0) return true;
  ::unlink(to.c_str());
  return false;
}

// Moves from to to; an existing file named to is never replaced. Renames on the
// same volume, copies and deletes across volumes. Returns false on failure, from
// then stays where it is.
bool MoveNoReplace(const fs::path& from, const fs::path& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return true;
  }
  int error = errno;
  if (error == EINVAL || error == ENOSYS || error == ENOTSUP) {
    // Kernel or file system without RENAME_NOREPLACE: link() refuses an existing
    // target just as well.
    if (::link(from.c_str(), to.c_str()) == 0) {
      if (::unlink(from.c_str()) == 0) return true;
      ::unlink(to.c_str());
      return false;
    }
    error = errno;
    // Without hard links the copy is the remaining way.
    if (error == EPERM || error == ENOTSUP || error == EMLINK) error = EXDEV;
  }
  if (error == EXDEV) return CopyThenDelete(from, to);
  return false;
}

std::string FormatMessage(std::string_view format, std::initializer_list<std::string_view> args) {
  std::string message;
  message.reserve(format.size());
  auto arg = args.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    const char c = format[i];
    if (c == '%' && i + 1 < format.size()) {
      const char next = format[i + 1];
      if (next == '%') {
        message += '%';
        ++i;
        continue;
      }
      if ((next == 's' || next == 'd') && arg != args.end()) {
        message += *arg++;
        ++i;
        continue;
      }
    }
    message += c;
  }
  return message;
}

}  // namespace

std::string TVUXLogFileBasics::ReplaceNotPrintableChars(std::string_view text) {
  static constexpr std::string_view kNames[32] = {
      "<NUL>", "<SOH>", "<STX>", "<ETX>", "<EOT>", "<ENQ>", "<ACK>", "<BEL>",
      "<BS>",  "<HT>",  "<LF>",  "<VT>",  "<FF>",  "<CR>",  "<SO>",  "<SI>",
      "<DLE>", "<DC1>", "<DC2>", "<DC3>", "<DC4>", "<NAK>", "<SYN>", "<ETB>",
      "<CAN>", "<EM>",  "<SUB>", "<ESC>", "<FS>",  "<GS>",  "<RS>",  "<US>",
  };
  std::string result;
  result.reserve(text.size());
  for (const char c : text) {
    const auto code = static_cast<unsigned char>(c);
    if (code < std::size(kNames)) {
      result += kNames[code];
    } else {
      result += c;
    }
  }
  return result;
}

void TLogFile::TFileCloser::operator()(std::FILE* file) const { std::fclose(file); }

TLogFile::TLogFile() = default;

TLogFile::TLogFile(std::string Dateiname, int LogLevel, TLogRotation LogRotation, TClock clock)
    : clock_(std::move(clock)),
      rotateDaily_(LogRotation.logrotDaily),
      rotateAtStart_(LogRotation.logrotStartup),
      logLevel_(LogLevel),
      dateiname_(std::move(Dateiname)) {
  Open();
}

TLogFile::~TLogFile() { Close(); }

bool TLogFile::Open(const std::string& Dateiname, int LogLevel) {
  std::lock_guard lock(mutex_);
  dateiname_ = Dateiname;
  logLevel_ = LogLevel;
  OpenLocked();
  return true;
}

bool TLogFile::Open() {
  std::lock_guard lock(mutex_);
  OpenLocked();
  return true;
}

bool TLogFile::Close() {
  std::lock_guard lock(mutex_);
  CloseLocked();
  return true;
}

void TLogFile::Add(int LogLevel, std::string_view text) {
  std::lock_guard lock(mutex_);
  if (LogLevel > logLevel_) return;
  AddLocked(LogLevel, text);
}

void TLogFile::Add(int LogLevel, std::string_view format,
                   std::initializer_list<std::string_view> args) {
  std::lock_guard lock(mutex_);
  if (LogLevel > logLevel_) return;
  AddLocked(LogLevel, FormatMessage(format, args));
}

bool TLogFile::RotateLogFileDaily() const {
  std::lock_guard lock(mutex_);
  return rotateDaily_;
}

void TLogFile::SetRotateLogFileDaily(bool value) {
  std::lock_guard lock(mutex_);
  rotateDaily_ = value;
}

bool TLogFile::RotateLogFileAtStart() const {
  std::lock_guard lock(mutex_);
  return rotateAtStart_;
}

void TLogFile::SetRotateLogFileAtStart(bool value) {
  std::lock_guard lock(mutex_);
  rotateAtStart_ = value;
}

int TLogFile::LogLevel() const {
  std::lock_guard lock(mutex_);
  return logLevel_;
}

void TLogFile::SetLogLevel(int value) {
  std::lock_guard lock(mutex_);
  logLevel_ = value;
}

std::string TLogFile::FolderOldLogFiles() const {
  std::lock_guard lock(mutex_);
  return folderOldLogFiles_;
}

void TLogFile::SetFolderOldLogFiles(std::string value) {
  std::lock_guard lock(mutex_);
  folderOldLogFiles_ = std::move(value);
}

std::string TLogFile::Dateiname() const {
  std::lock_guard lock(mutex_);
  return dateiname_;
}

void TLogFile::SetDateiname(std::string value) {
  std::lock_guard lock(mutex_);
  if (file_) throw ELogFileError(kChangeWhileOpen);
  dateiname_ = std::move(value);
}

bool TLogFile::Started() const {
  std::lock_guard lock(mutex_);
  return started_;
}

void TLogFile::SetClock(TClock clock) {
  std::lock_guard lock(mutex_);
  clock_ = std::move(clock);
}

TLogFile::TTimePoint TLogFile::Now() const { return clock_ ? clock_() : system_clock::now(); }

void TLogFile::OpenLocked() {
  if (file_) return;
  if (dateiname_.empty()) throw ELogFileError(kNoFileName);
  EnsureFolder(fs::path(dateiname_).parent_path(), kLogFolderFailed);
  if (!folderOldLogFiles_.empty()) EnsureFolder(folderOldLogFiles_, kArchiveFolderFailed);

  const TTimePoint now = Now();
  if (rotateAtStart_) {
    // A failed rotation keeps the previous file in place; it is appended to.
    try {
      RotateAtOpeningLocked(now);
    } catch (const std::exception&) {
    }
  }

  // Appends to an existing file, creates a missing one; "e": close on exec.
  std::FILE* file = std::fopen(dateiname_.c_str(), "abe");
  if (file == nullptr) {
    const int error = errno;
    throw ELogFileError("Log-Datei \"" + dateiname_ +
                        "\" kann nicht geöffnet werden: " + std::system_category().message(error));
  }
  file_.reset(file);
  started_ = true;
  dtOpenLogFile_ = now;
}

void TLogFile::CloseLocked() {
  if (!file_) return;
  std::fflush(file_.get());
  file_.reset();
  started_ = false;
}

void TLogFile::AddLocked(int level, std::string_view text) {
  const TTimePoint now = Now();
  if (rotateDaily_ && !SameLocalDay(dtOpenLogFile_, now)) {
    // A failed rotation may leave the file closed; it is reopened below.
    try {
      RotateDailyLocked(now);
    } catch (const std::exception&) {
    }
  }
  OpenLocked();

  try {
    std::string line = FormatLocal(now, "%d.%m.%y | %H:%M:%S | ");
    const std::string_view levelText = LevelText(level);
    line += levelText;
    line.append(kLevelWidth - std::min(kLevelWidth, levelText.size()), ' ');
    line += " | ";
    line += ReplaceNotPrintableChars(text);
    line += "\r\n";
    std::fwrite(line.data(), 1, line.size(), file_.get());
    std::fflush(file_.get());
    dtOpenLogFile_ = now;
  } catch (const std::exception&) {
    // The line is lost; logging must never bring the service down.
  }
}

void TLogFile::RotateDailyLocked(TTimePoint now) {
  if (dateiname_.empty()) return;
  // The file holds the lines since the last one written; it is named after the
  // day before the rotation, even if that last line is several days old.
  const fs::path target =
      RotatedName(dateiname_, folderOldLogFiles_,
                  FormatLocal(now - std::chrono::hours(24), "_%Y_%m_%d") + ".log");
  EnsureFolder(target.parent_path(), kOldLogFolderFailed);
  CloseLocked();
  MoveNoReplace(dateiname_, target);
}

void TLogFile::RotateAtOpeningLocked(TTimePoint now) {
  std::error_code error;
  const fs::file_status status = fs::status(dateiname_, error);
  if (!fs::exists(status) || fs::is_directory(status)) return;

  const std::string today = FormatLocal(now, "_%Y_%m_%d");
  fs::path candidate = RotatedName(dateiname_, folderOldLogFiles_, today + ".lastlog");
  for (int n = 1; Exists(candidate); ++n) {
    char number[32];
    std::snprintf(number, sizeof number, "_#%03d", n);
    candidate = RotatedName(dateiname_, folderOldLogFiles_, today + number + ".lastlog");
  }
  EnsureFolder(candidate.parent_path(), kOldLogFolderFailed);
  MoveNoReplace(dateiname_, candidate);
}

}  // namespace Sulvane::LogFile
