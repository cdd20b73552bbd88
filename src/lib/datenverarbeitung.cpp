#include "lib/datenverarbeitung.hpp"

#include <algorithm>
#include <utility>

namespace Sulvane::Datenverarbeitung {

std::vector<std::string> splitstring(std::string_view text, char separator) {
  std::vector<std::string> fields;
  if (text.empty()) return fields;
  std::size_t pos = 0;
  while (true) {
    std::string field;
    if (pos < text.size() && text[pos] == '"') {
      ++pos;
      while (pos < text.size()) {
        if (text[pos] != '"') {
          field += text[pos++];
        } else if (pos + 1 < text.size() && text[pos + 1] == '"') {
          field += '"';
          pos += 2;
        } else {
          ++pos;  // closing quote
          break;
        }
      }
    }
    // The unquoted field, or what follows the closing quote up to the separator.
    const std::size_t end = std::min(text.find(separator, pos), text.size());
    field.append(text.substr(pos, end - pos));
    fields.push_back(std::move(field));
    if (end == text.size()) return fields;
    pos = end + 1;
  }
}

}  // namespace Sulvane::Datenverarbeitung
