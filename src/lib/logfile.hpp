// Sulvane.LogFile: the service's rotating log file.
//
// Every line carries the local date and time and the level text:
//   31.01.24 | 14:05:09 | Hinweis   | Verbunden mit Datenbank.
// Lines end with CR LF. The file can be rotated when it is opened (the previous
// run's file becomes <name>_yyyy_mm_dd.lastlog) and on the first line of a new
// day (the previous day's file becomes <name>_yyyy_mm_dd.log). Rotated files go
// to FolderOldLogFiles() if that is set, else they stay beside the log file.
//
// All members may be called from several threads; lines never interleave.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>

namespace Sulvane::LogFile {

// Source of "now"; tests inject a fixed moment. Empty means system_clock::now.
using TClock = std::function<std::chrono::system_clock::time_point()>;

struct TLogRotation {
  bool logrotDaily = false;
  bool logrotStartup = false;
};

class ELogFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TVUXLogFileBasics {
 public:
  // Replaces every character with code 0..31 by its ASCII abbreviation in angle
  // brackets ("\r\n" becomes "<CR><LF>"), so a message always stays on one line.
  // All other bytes, including UTF-8 sequences, are kept as they are.
  static std::string ReplaceNotPrintableChars(std::string_view text);
};

class TLogFile : public TVUXLogFileBasics {
 public:
  // Daily rotation off, rotation at start on, closed, no archive folder, no file
  // name, level 5.
  TLogFile();
  // As TLogFile(), then takes name, level and rotation flags and opens the file.
  // Throws ELogFileError if the file cannot be opened.
  TLogFile(std::string Dateiname, int LogLevel, TLogRotation LogRotation, TClock clock = {});
  ~TLogFile();

  TLogFile(const TLogFile&) = delete;
  TLogFile& operator=(const TLogFile&) = delete;

  // Takes the name (even while open; the open file is kept until Close) and the
  // level, then Open().
  bool Open(const std::string& Dateiname, int LogLevel);
  // Opens the file unless it is open already; always returns true.
  // Throws ELogFileError if the file cannot be opened.
  bool Open();
  // Flushes and closes the file if it is open; always returns true.
  bool Close();

  // Writes one line if LogLevel <= LogLevel(); opens the file if needed (errors
  // of opening reach the caller), rotates it on a new day if daily rotation is
  // on. Errors while writing are ignored.
  void Add(int LogLevel, std::string_view text);
  // As Add(LogLevel, text) with text built from format: "%s" and "%d" are
  // replaced by the next argument in order, "%%" by "%". A placeholder without
  // an argument left stays as it is, as does any other "%" sequence; surplus
  // arguments are ignored.
  void Add(int LogLevel, std::string_view format, std::initializer_list<std::string_view> args);

  bool RotateLogFileDaily() const;
  void SetRotateLogFileDaily(bool value);
  bool RotateLogFileAtStart() const;
  void SetRotateLogFileAtStart(bool value);
  int LogLevel() const;
  void SetLogLevel(int value);
  std::string FolderOldLogFiles() const;
  void SetFolderOldLogFiles(std::string value);
  std::string Dateiname() const;
  // Throws ELogFileError while the file is open; the name then stays.
  void SetDateiname(std::string value);
  // True while the file is open.
  bool Started() const;
  // Source of "now" for dates and rotation; empty means system_clock::now.
  void SetClock(TClock clock);

 private:
  struct TFileCloser {
    void operator()(std::FILE* file) const;
  };
  using TTimePoint = std::chrono::system_clock::time_point;

  TTimePoint Now() const;
  void OpenLocked();
  void CloseLocked();
  void AddLocked(int level, std::string_view text);
  void RotateDailyLocked(TTimePoint now);
  void RotateAtOpeningLocked(TTimePoint now);

  mutable std::mutex mutex_;
  TClock clock_;
  bool rotateDaily_ = false;
  TTimePoint dtOpenLogFile_{};  // opening of the file, then the last line written
  bool rotateAtStart_ = true;
  int logLevel_ = 5;
  std::string folderOldLogFiles_;
  std::string dateiname_;
  bool started_ = false;
  std::unique_ptr<std::FILE, TFileCloser> file_;
};

}  // namespace Sulvane::LogFile
