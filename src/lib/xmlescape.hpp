// The five XML characters as entities, for element text built by concatenation.
#pragma once

#include <string>
#include <string_view>

// "&" first, so that the entities inserted for the others stay as they are.
inline std::string xmlescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += c;
    }
  }
  return out;
}
