// Text helpers for ASCII letter case, as the service compares names and
// words: element names, parameter names, SQL keywords.
#pragma once

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

// ASCII only, whatever the locale: bytes of UTF-8 sequences stay as they are.
inline char LowerChar(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string LowerCase(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), LowerChar);
  return out;
}

inline bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return LowerChar(x) == LowerChar(y);
         });
}

// Position of `what` in `text` without regard to case, or npos.
inline std::size_t FindText(std::string_view text, std::string_view what, std::size_t from = 0) {
  if (what.empty()) return from <= text.size() ? from : std::string_view::npos;
  for (std::size_t i = from; i + what.size() <= text.size(); ++i)
    if (SameText(text.substr(i, what.size()), what)) return i;
  return std::string_view::npos;
}

// Every occurrence of `what`, found without regard to case, replaced.
inline std::string ReplaceText(std::string_view text, std::string_view what,
                               std::string_view with) {
  std::string out;
  std::size_t start = 0;
  for (std::size_t at;
       !what.empty() && (at = FindText(text, what, start)) != std::string_view::npos;
       start = at + what.size()) {
    out.append(text.substr(start, at - start));
    out.append(with);
  }
  out.append(text.substr(start));
  return out;
}

// A plain decimal number: ASCII digits and nothing else. Texts that go into
// a statement unquoted are checked with it.
inline bool IsPlainNumber(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A whole text read as a 32-bit integer as the Windows tools read one:
// leading blanks, one optional sign, then decimal digits, or hexadecimal
// digits after "$", "x", "X", "0x" or "0X" (up to FFFFFFFF, taken as two's
// complement: $FFFFFFFF is -1). None for anything else or out of range.
inline std::optional<int> StrToInt(std::string_view s) {
  while (s.starts_with(' ')) s.remove_prefix(1);
  bool negative = false;
  if (s.starts_with('+') || s.starts_with('-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (s.starts_with("0x") || s.starts_with("0X")) {
    s.remove_prefix(2);
    base = 16;
  } else if (s.starts_with('$') || s.starts_with('x') || s.starts_with('X')) {
    s.remove_prefix(1);
    base = 16;
  }
  // from_chars would take a second sign: digits only.
  if (s.empty() || s.front() == '+' || s.front() == '-') return std::nullopt;
  std::uint64_t magnitude = 0;
  const char* const end = s.data() + s.size();
  const auto [ptr, ec] = std::from_chars(s.data(), end, magnitude, base);
  if (ec != std::errc() || ptr != end) return std::nullopt;
  if (base == 16) {
    if (magnitude > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
    std::uint32_t value = static_cast<std::uint32_t>(magnitude);
    if (negative) value = 0u - value;
    return static_cast<int>(value);
  }
  constexpr std::uint64_t kMaxPositive = std::numeric_limits<int>::max();
  if (magnitude > kMaxPositive + (negative ? 1 : 0)) return std::nullopt;
  const std::int64_t value = static_cast<std::int64_t>(magnitude);
  return static_cast<int>(negative ? -value : value);
}
