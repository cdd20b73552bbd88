#include "lib/xmlhelper.hpp"

#include <charconv>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

namespace Sulvane::XMLhelper {

namespace {

pugi::xml_node FirstChildElement(pugi::xml_node node, const std::string& name) {
  for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling())
    if (child.type() == pugi::node_element && name == child.name()) return child;
  return {};
}

std::optional<int> ParseInteger(std::string_view s) {
  while (s.starts_with(' ')) s.remove_prefix(1);
  bool negative = false;
  if (s.starts_with('+') || s.starts_with('-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (s.starts_with('$')) {
    s.remove_prefix(1);
    base = 16;
  } else if (s.starts_with("0x") || s.starts_with("0X")) {
    s.remove_prefix(2);
    base = 16;
  }
  // from_chars would take a second sign or blanks after the prefix as well: digits only.
  if (s.empty() || s.front() == '+' || s.front() == '-') return std::nullopt;
  std::uint64_t magnitude = 0;
  const char* const end = s.data() + s.size();
  const auto [ptr, ec] = std::from_chars(s.data(), end, magnitude, base);
  if (ec != std::errc() || ptr != end) return std::nullopt;
  if (base == 16) {
    if (magnitude > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
    std::uint32_t value = static_cast<std::uint32_t>(magnitude);
    if (negative) value = 0u - value;
    return static_cast<int>(value);  // two's complement
  }
  constexpr std::uint64_t kMaxPositive = std::numeric_limits<int>::max();
  if (magnitude > kMaxPositive + (negative ? 1 : 0)) return std::nullopt;
  const std::int64_t value = static_cast<std::int64_t>(magnitude);
  return static_cast<int>(negative ? -value : value);
}

}  // namespace

pugi::xml_node GetNodeByPath(pugi::xml_node node, const std::vector<std::string>& path,
                             bool create) {
  for (const std::string& name : path) {
    if (!node) return {};
    pugi::xml_node child = FirstChildElement(node, name);
    if (!child && create) child = node.append_child(name.c_str());
    node = child;
  }
  return node;
}

pugi::xml_node GetNodeByPath(pugi::xml_node node, const std::string& name, bool create) {
  return GetNodeByPath(node, std::vector<std::string>{name}, create);
}

std::string GetNodeText(pugi::xml_node node, const std::vector<std::string>& path,
                        const std::string& Default) {
  try {
    const pugi::xml_node element = GetNodeByPath(node, path, false);
    std::string text;
    for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling())
      if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata)
        text += child.value();
    return text.empty() ? Default : text;
  } catch (...) {
    return Default;
  }
}

std::string GetNodeText(pugi::xml_node node, const std::string& name, const std::string& Default) {
  return GetNodeText(node, std::vector<std::string>{name}, Default);
}

int GetNodeInt(pugi::xml_node node, const std::vector<std::string>& path, int Default) {
  return ParseInteger(GetNodeText(node, path, "")).value_or(Default);
}

int GetNodeInt(pugi::xml_node node, const std::string& name, int Default) {
  return GetNodeInt(node, std::vector<std::string>{name}, Default);
}

bool GetNodeBool(pugi::xml_node node, const std::vector<std::string>& path, bool Default) {
  const std::string text = GetNodeText(node, path, "");
  if (const std::optional<int> number = ParseInteger(text)) return *number != 0;
  std::string lower = text;
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (lower == "true") return true;
  if (lower == "false") return false;
  return Default;
}

bool GetNodeBool(pugi::xml_node node, const std::string& name, bool Default) {
  return GetNodeBool(node, std::vector<std::string>{name}, Default);
}

}  // namespace Sulvane::XMLhelper
