// Reading the element tree of an incoming document: names without their
// prefix, text values as received, children by name.
#pragma once

#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

// The name of an element without its namespace prefix: "soap:Body" -> "Body".
std::string localname(pugi::xml_node node);

// An element's text value as received: its text and CDATA children joined,
// entities as written.
std::string nodetext(pugi::xml_node element);

// The child elements whose local name in lower case is `name`, in document order.
std::vector<pugi::xml_node> childrennamed(pugi::xml_node element, std::string_view name);
