#include "lib/xmlhelper.hpp"

#include "lib/textutil.hpp"

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
  return StrToInt(GetNodeText(node, path, "")).value_or(Default);
}

int GetNodeInt(pugi::xml_node node, const std::string& name, int Default) {
  return GetNodeInt(node, std::vector<std::string>{name}, Default);
}

bool GetNodeBool(pugi::xml_node node, const std::vector<std::string>& path, bool Default) {
  const std::string text = GetNodeText(node, path, "");
  if (const std::optional<int> number = StrToInt(text)) return *number != 0;
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
