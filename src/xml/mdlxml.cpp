#include "xml/mdlxml.hpp"

#include "lib/calendar.hpp"
#include "lib/textutil.hpp"
#include "lib/xmlescape.hpp"

#include <cstdint>
#include <ctime>
#include <optional>
#include <string_view>

namespace {

// --- calendar ----------------------------------------------------------------

struct TDateTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;

  // The fields read as UTC, in seconds since the epoch.
  std::int64_t asutc() const {
    return daysfromcivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 +
           hour * 3600 + minute * 60 + second;
  }
};

// The UTC offset in seconds of the local time zone for a local wall-clock
// time; nullopt when the C library cannot place it. For a wall time that the
// zone skips or repeats, the offset is that of the moment mktime picks, so
// wall time and offset always name a real moment.
std::optional<std::int64_t> localoffset(const TDateTime& local) {
  std::tm tm{};
  tm.tm_year = local.year - 1900;
  tm.tm_mon = local.month - 1;
  tm.tm_mday = local.day;
  tm.tm_hour = local.hour;
  tm.tm_min = local.minute;
  tm.tm_sec = local.second;
  tm.tm_isdst = -1;
  const std::time_t t = std::mktime(&tm);
  if (t == static_cast<std::time_t>(-1)) return std::nullopt;
  return local.asutc() - static_cast<std::int64_t>(t);
}

// --- regional reading --------------------------------------------------------

// Reads 1 to `max` decimal digits (at least `min`) at `pos`.
std::optional<int> readdigits(std::string_view s, std::size_t& pos, int min, int max) {
  int n = 0, count = 0;
  while (pos < s.size() && count < max && s[pos] >= '0' && s[pos] <= '9') {
    n = n * 10 + (s[pos] - '0');
    ++pos;
    ++count;
  }
  if (count < min) return std::nullopt;
  return n;
}

bool readchar(std::string_view s, std::size_t& pos, char c) {
  if (pos >= s.size() || s[pos] != c) return false;
  ++pos;
  return true;
}

// A regional date d.m.yyyy (day and month with one or two digits, the year
// with four) at `pos`.
bool readregionaldate(std::string_view s, std::size_t& pos, TDateTime& dt) {
  const auto d = readdigits(s, pos, 1, 2);
  if (!d || !readchar(s, pos, '.')) return false;
  const auto m = readdigits(s, pos, 1, 2);
  if (!m || !readchar(s, pos, '.')) return false;
  const auto y = readdigits(s, pos, 4, 4);
  if (!y || *y < 1 || *m < 1 || *m > 12 || *d < 1 || *d > daysinmonth(*y, *m)) return false;
  dt.year = *y;
  dt.month = *m;
  dt.day = *d;
  return true;
}

// A regional time h:nn or h:nn:ss at `pos`.
bool readregionaltime(std::string_view s, std::size_t& pos, TDateTime& dt) {
  const auto h = readdigits(s, pos, 1, 2);
  if (!h || !readchar(s, pos, ':')) return false;
  const auto n = readdigits(s, pos, 2, 2);
  if (!n) return false;
  std::optional<int> sec = 0;
  if (readchar(s, pos, ':')) sec = readdigits(s, pos, 2, 2);
  if (!sec || *h > 23 || *n > 59 || *sec > 59) return false;
  dt.hour = *h;
  dt.minute = *n;
  dt.second = *sec;
  return true;
}

std::optional<TDateTime> strtodate(std::string_view s) {
  TDateTime dt;
  std::size_t pos = 0;
  if (!readregionaldate(s, pos, dt) || pos != s.size()) return std::nullopt;
  return dt;
}

std::optional<TDateTime> strtodatetime(std::string_view s) {
  TDateTime dt;
  std::size_t pos = 0;
  if (!readregionaldate(s, pos, dt) || !readchar(s, pos, ' ') || !readregionaltime(s, pos, dt) ||
      pos != s.size())
    return std::nullopt;
  return dt;
}

void appendpadded(std::string& out, int n, int width) {
  std::string digits = std::to_string(n);
  if (static_cast<int>(digits.size()) < width) out.append(width - digits.size(), '0');
  out += digits;
}

std::string isodate(const TDateTime& dt) {
  std::string out;
  appendpadded(out, dt.year, 4);
  out += '-';
  appendpadded(out, dt.month, 2);
  out += '-';
  appendpadded(out, dt.day, 2);
  return out;
}

// --- decoding ----------------------------------------------------------------

void appendutf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// The text with every ill-formed UTF-8 sequence replaced by U+FFFD, one per
// maximal ill-formed subpart (overlong forms, surrogates and values beyond
// U+10FFFF included).
std::string repairutf8(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    const unsigned char b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
      out += static_cast<char>(b);
      ++i;
      continue;
    }
    std::size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
      len = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
      len = 3;
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      len = 4;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;
    }
    if (len == 0) {
      out += kReplacement;
      ++i;
      continue;
    }
    std::size_t k = 1;
    for (; k < len && i + k < s.size(); ++k) {
      const unsigned char c = static_cast<unsigned char>(s[i + k]);
      if (c < (k == 1 ? lo : 0x80) || c > (k == 1 ? hi : 0xBF)) break;
    }
    if (k == len) {
      out.append(s.substr(i, len));
    } else {
      out += kReplacement;
    }
    i += k;
  }
  return out;
}

bool isxmlchar(std::uint32_t cp) {
  return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) ||
         (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
}

// A character reference "&#n;" or "&#xh;" at the start of `s`: its length and
// code point, or nullopt when it is none or names no XML character.
std::optional<std::pair<std::size_t, std::uint32_t>> readcharref(std::string_view s) {
  if (s.size() < 4 || s[0] != '&' || s[1] != '#') return std::nullopt;
  const bool hex = s[2] == 'x';
  std::size_t pos = hex ? 3 : 2;
  const std::size_t first = pos;
  std::uint32_t cp = 0;
  for (; pos < s.size() && s[pos] != ';'; ++pos) {
    const char c = s[pos];
    unsigned digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (hex && c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else if (hex && c >= 'A' && c <= 'F') {
      digit = static_cast<unsigned>(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
    cp = cp * (hex ? 16 : 10) + digit;
    if (cp > 0x10FFFF) return std::nullopt;
  }
  if (pos == first || pos == s.size() || !isxmlchar(cp)) return std::nullopt;
  return std::pair{pos + 1, cp};
}

}  // namespace

std::string xmlencode(const std::string& value) {
  if (value.find(':') != std::string::npos) {
    if (const auto dt = strtodatetime(value)) {
      if (const auto offset = localoffset(*dt)) {
        std::string out = isodate(*dt);
        out += 'T';
        appendpadded(out, dt->hour, 2);
        out += ':';
        appendpadded(out, dt->minute, 2);
        out += ':';
        appendpadded(out, dt->second, 2);
        out += ".000";
        if (*offset == 0) {
          out += 'Z';
        } else {
          const std::int64_t minutes = (*offset < 0 ? -*offset : *offset) / 60;
          out += *offset < 0 ? '-' : '+';
          appendpadded(out, static_cast<int>(minutes / 60), 2);
          out += ':';
          appendpadded(out, static_cast<int>(minutes % 60), 2);
        }
        return out;
      }
    }
  } else if (const auto dt = strtodate(value)) {
    return isodate(*dt);
  }
  return xmlescape(value);
}

std::string xmldecode(const std::string& value) {
  static constexpr std::pair<std::string_view, char> kEntities[] = {
      {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}, {"&amp;", '&'}};
  const std::string text = repairutf8(value);
  std::string out;
  out.reserve(text.size());
  const std::string_view s = text;
  std::size_t i = 0;
  while (i < s.size()) {
    const std::size_t amp = s.find('&', i);
    out.append(s.substr(i, amp == std::string_view::npos ? std::string_view::npos : amp - i));
    if (amp == std::string_view::npos) break;
    i = amp;
    const std::string_view rest = s.substr(i);
    bool decoded = false;
    for (const auto& [entity, c] : kEntities) {
      if (rest.starts_with(entity)) {
        out += c;
        i += entity.size();
        decoded = true;
        break;
      }
    }
    if (decoded) continue;
    if (const auto ref = readcharref(rest)) {
      appendutf8(out, ref->second);
      i += ref->first;
      continue;
    }
    out += '&';
    ++i;
  }
  if (out == "true") return "1";
  if (out == "false") return "0";
  return out;
}

std::string fixhausnr(const std::string& value) {
  if (value.empty()) return "";
  if (StrToInt(value)) return "<EoHausNr>" + value + "</EoHausNr><EoHausNrKz/>";
  const std::size_t split = value.find_first_not_of("0123456789");
  const std::string number = value.substr(0, split);
  const std::string suffix = split == std::string::npos ? "" : value.substr(split);
  return "<EoHausNr>" + number + "</EoHausNr><EoHausNrKz>" + xmlescape(suffix) + "</EoHausNrKz>";
}
