#include "xml/xmlnodes.hpp"

#include "lib/textutil.hpp"

std::string localname(pugi::xml_node node) {
  const std::string_view name = node.name();
  const std::size_t colon = name.rfind(':');
  return std::string(colon == std::string_view::npos ? name : name.substr(colon + 1));
}

std::string nodetext(pugi::xml_node element) {
  std::string text;
  for (const pugi::xml_node child : element.children())
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata)
      text += child.value();
  return text;
}

std::vector<pugi::xml_node> childrennamed(pugi::xml_node element, std::string_view name) {
  std::vector<pugi::xml_node> children;
  for (const pugi::xml_node child : element.children())
    if (child.type() == pugi::node_element && LowerCase(localname(child)) == name)
      children.push_back(child);
  return children;
}
