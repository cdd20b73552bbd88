#include "soap/protocol/feldmap.hpp"

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "lib/calendar.hpp"
#include "lib/firedac.hpp"
#include "lib/stringlist.hpp"
#include "lib/textutil.hpp"
#include "service/servicecontext.hpp"
#include "xml/mdlxml.hpp"
#include "xml/xmlnodes.hpp"

namespace {

std::vector<std::string> readmapfile(const std::string& mapfile) {
  return LoadStringsFromFile(oltsrv().Folder() / mapfile);
}

// --- xs:dateTime -------------------------------------------------------------

// Exactly `count` decimal digits at `pos`.
std::optional<int> fixeddigits(std::string_view s, std::size_t& pos, int count) {
  int n = 0;
  for (int i = 0; i < count; ++i, ++pos) {
    if (pos >= s.size() || s[pos] < '0' || s[pos] > '9') return std::nullopt;
    n = n * 10 + (s[pos] - '0');
  }
  return n;
}

bool expect(std::string_view s, std::size_t& pos, char c) {
  if (pos >= s.size() || s[pos] != c) return false;
  ++pos;
  return true;
}

struct TXSDateTime {
  std::int64_t seconds;  // the fields read as UTC, seconds since the epoch
  bool zoned;            // carries Z or an offset; `seconds` is then UTC proper
};

// yyyy-mm-ddThh:nn:ss[.f+][Z|(+|-)hh:mm]; 24:00:00 is the end of the day.
std::optional<TXSDateTime> readxsdatetime(std::string_view s) {
  std::size_t pos = 0;
  const auto year = fixeddigits(s, pos, 4);
  if (!year || !expect(s, pos, '-')) return std::nullopt;
  const auto month = fixeddigits(s, pos, 2);
  if (!month || !expect(s, pos, '-')) return std::nullopt;
  const auto day = fixeddigits(s, pos, 2);
  if (!day || !expect(s, pos, 'T')) return std::nullopt;
  const auto hour = fixeddigits(s, pos, 2);
  if (!hour || !expect(s, pos, ':')) return std::nullopt;
  const auto minute = fixeddigits(s, pos, 2);
  if (!minute || !expect(s, pos, ':')) return std::nullopt;
  const auto second = fixeddigits(s, pos, 2);
  if (!second) return std::nullopt;
  bool fraction = false;
  if (expect(s, pos, '.')) {
    const std::size_t first = pos;
    for (; pos < s.size() && s[pos] >= '0' && s[pos] <= '9'; ++pos)
      if (s[pos] != '0') fraction = true;
    if (pos == first) return std::nullopt;
  }
  if (*year < 1 || *month < 1 || *month > 12 || *day < 1 || *day > daysinmonth(*year, *month))
    return std::nullopt;
  const bool endofday = *hour == 24 && *minute == 0 && *second == 0 && !fraction;
  if ((*hour > 23 && !endofday) || *minute > 59 || *second > 59) return std::nullopt;

  TXSDateTime dt{
      daysfromcivil(*year, static_cast<unsigned>(*month), static_cast<unsigned>(*day)) * 86400 +
          *hour * 3600 + *minute * 60 + *second,
      false};
  if (pos == s.size()) return dt;
  if (expect(s, pos, 'Z')) {
    dt.zoned = true;
  } else if (s[pos] == '+' || s[pos] == '-') {
    const int sign = s[pos++] == '-' ? -1 : 1;
    const auto oh = fixeddigits(s, pos, 2);
    if (!oh || !expect(s, pos, ':')) return std::nullopt;
    const auto om = fixeddigits(s, pos, 2);
    if (!om || *oh > 14 || *om > 59 || (*oh == 14 && *om != 0)) return std::nullopt;
    dt.seconds -= sign * (*oh * 3600 + *om * 60);
    dt.zoned = true;
  }
  if (pos != s.size()) return std::nullopt;
  return dt;
}

std::string sqldatetime(const std::tm& tm) {
  char text[80];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return text;
}

// The xs:dateTime as "yyyy-mm-dd hh:nn:ss": a zoned value in local time, an
// unzoned one as written.
std::optional<std::string> xsdatetimetosql(std::string_view value) {
  const auto dt = readxsdatetime(value);
  if (!dt) return std::nullopt;
  const std::time_t t = static_cast<std::time_t>(dt->seconds);
  std::tm tm{};
  if ((dt->zoned ? localtime_r(&t, &tm) : gmtime_r(&t, &tm)) == nullptr) return std::nullopt;
  if (tm.tm_year + 1900 < 1 || tm.tm_year + 1900 > 9999) return std::nullopt;
  return sqldatetime(tm);
}

}  // namespace

std::string codesltext() {
  std::string text;
  for (const std::string& line : *oltsrv().codesl().Get()) {
    text += line;
    text += "\r\n";
  }
  return text;
}

// A substring test: "=eohausnr" also matches the line of EoHausNrKz, and
// the last matching line decides, so the order of the lines matters.
std::string getfieldname(const std::string& elementname, const std::string& mapfile) {
  const std::string search = "=" + LowerCase(elementname);
  std::string result = elementname;
  for (const std::string& line : readmapfile(mapfile))
    if (LowerCase(line).find(search) != std::string::npos) result = line.substr(0, line.find('='));
  return result;
}

// Column names are written in lower case in the map files; a line written
// otherwise is not found.
std::string getxmlname(const std::string& columnname, const std::string& mapfile) {
  const std::string prefix = LowerCase(columnname) + "=";
  std::string result = columnname;
  for (const std::string& line : readmapfile(mapfile))
    if (line.starts_with(prefix)) result = line.substr(prefix.size());
  return result;
}

std::string getid(pugi::xml_node element) {
  const auto ids = childrennamed(element, "id");
  return ids.empty() ? std::string() : nodetext(ids.back());
}

std::string xmltosqlvalue(const std::string& value) {
  if (auto datetime = xsdatetimetosql(value)) return *datetime;
  std::string result = xmldecode(value);
  if (result == "true") return "1";
  if (result == "false") return "0";
  return result;
}

std::string convertdatetime(const std::string& text) {
  using Sulvane::Firedac::QuotedStr;
  // dd.mm.yyyy hh:nn:ss, every field with two digits (the year with four).
  static constexpr std::string_view kShape = "99.99.9999 99:99:99";
  if (text.size() != kShape.size()) return QuotedStr(text);
  for (std::size_t i = 0; i < kShape.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kShape[i] == '9' ? !digit : text[i] != kShape[i]) return QuotedStr(text);
  }
  const auto field = [&](std::size_t pos, std::size_t len) {
    return std::stoi(text.substr(pos, len));
  };
  const int day = field(0, 2), month = field(3, 2), year = field(6, 4);
  const int hour = field(11, 2), minute = field(14, 2), second = field(17, 2);
  if (year < 1900 || year > 2099 || month < 1 || month > 12 || day < 1 ||
      day > daysinmonth(year, month) || hour > 23 || minute > 59 || second > 59)
    return QuotedStr(text);
  return "'" + text.substr(6, 4) + "-" + text.substr(3, 2) + "-" + text.substr(0, 2) + " " +
         text.substr(11, 8) + "'";
}
