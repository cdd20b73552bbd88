// Text lists: loading a file as lines, and a list that one thread replaces
// while others read it.
#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// A file that cannot be read; the message names the file.
class EFOpenError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The lines of a text file, one entry per line (CR LF, LF or CR), without a
// UTF-8 byte order mark; a last line break adds no empty entry. Fails with
// EFOpenError when the file cannot be opened or read.
std::vector<std::string> LoadStringsFromFile(const std::filesystem::path& file);

// Splits a text into lines as LoadStringsFromFile does.
std::vector<std::string> SplitLines(std::string_view text);

// Whether some line contains the text (letter case counts).
bool linescontain(const std::vector<std::string>& lines, std::string_view text);

// A list of lines that is replaced as a whole: readers get an immutable
// snapshot and never see a half-filled list.
class TSharedStrings {
 public:
  using TSnapshot = std::shared_ptr<const std::vector<std::string>>;

  TSnapshot Get() const {
    std::lock_guard lock(lock_);
    return lines_;
  }
  void Set(std::vector<std::string> lines) {
    auto snapshot = std::make_shared<const std::vector<std::string>>(std::move(lines));
    std::lock_guard lock(lock_);
    lines_ = std::move(snapshot);
  }

 private:
  mutable std::mutex lock_;
  TSnapshot lines_ = std::make_shared<const std::vector<std::string>>();
};
