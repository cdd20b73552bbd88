// Reading the service's log file in tests.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/tempdir.hpp"

namespace testsupport {

// The lines of a log file without their "DD.MM.YY | HH:MM:SS | " prefix, so
// that a test compares level and message: "Hinweis   | Verbunden mit Datenbank."
inline std::vector<std::string> LogEntries(const std::filesystem::path& file) {
  const std::string text = ReadFile(file);
  std::vector<std::string> entries;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    const std::string line = text.substr(start, end - start);
    entries.push_back(line.size() > 22 ? line.substr(22) : line);
  }
  return entries;
}

// Waits (at most `limit`) until some entry satisfies `pred`.
template <class Pred>
bool WaitForLog(const std::filesystem::path& file, Pred pred,
                std::chrono::milliseconds limit = std::chrono::seconds(15)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  do {
    for (const auto& entry : LogEntries(file))
      if (pred(entry)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

// The telegram link's report of a connection that failed: it comes in the
// background, at any time, while no VUX server listens where the link points.
inline bool IsLinkError(const std::string& entry) {
  return entry.starts_with("FEHLER    | TCP Error");
}

inline bool WaitForEntry(const std::filesystem::path& file, const std::string& entry,
                         std::chrono::milliseconds limit = std::chrono::seconds(15)) {
  return WaitForLog(
      file, [&](const std::string& e) { return e == entry; }, limit);
}

}  // namespace testsupport
