// Splitting of the separated text records that arrive in telegrams ("EINSATZ|UPDATE|4711").
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Sulvane::Datenverarbeitung {

// The fields of the text between the separators.
//   - Fields are not trimmed; empty fields count, also the one after a final separator
//     ("a|" gives "a" and ""). The empty text gives no field at all.
//   - A field that begins with '"' is a quoted text: it runs to the matching closing quote,
//     separators inside do not split, a doubled quote ("") stands for one quote, and the
//     enclosing quotes are removed. Characters after the closing quote up to the next
//     separator are appended to the field as they are ("\"a\"b|c" gives "ab" and "c").
//     A quote that is never closed makes the rest of the text the field ("\"a|b" gives
//     "a|b").
//   - A quote anywhere else in a field is an ordinary character.
std::vector<std::string> splitstring(std::string_view text, char separator);

}  // namespace Sulvane::Datenverarbeitung
