#include "lib/stringlist.hpp"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

std::vector<std::string> SplitLines(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    lines.emplace_back(text.substr(start, end - start));
    if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ++end;
    start = end + 1;
  }
  return lines;
}

std::vector<std::string> LoadStringsFromFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in)
    throw EFOpenError("Datei " + file.string() + " kann nicht geöffnet werden. " +
                      std::strerror(errno));
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad())
    throw EFOpenError("Datei " + file.string() + " kann nicht gelesen werden. " +
                      std::strerror(errno));
  return SplitLines(text);
}

bool linescontain(const std::vector<std::string>& lines, std::string_view text) {
  for (const std::string& line : lines)
    if (line.find(text) != std::string::npos) return true;
  return false;
}
