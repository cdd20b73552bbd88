// Text helpers between database values and XML element text (unit mdlxml).
//
// Dates and times are read and written in the German regional form
// (dd.mm.yyyy, hh:nn:ss), which the database layer also produces; the form is
// fixed here and never taken from the OS locale. UTC offsets are those of the
// process's local time zone (TZ). Texts are UTF-8.
//
// Pure functions: no state, no log, safe from any thread; none of them fails.
#pragma once

#include <string>

// One database value as element text for the documents sent to the ILS: the
// five XML characters escaped ("&" first); a value that reads as a regional
// date and time ("24.12.2023 18:30:00", also "d.m.yyyy h:nn" without seconds)
// becomes "2023-12-24T18:30:00.000+01:00" with the local offset valid at that
// moment ("Z" for offset zero); a value without a colon that reads as a
// regional date ("24.12.2023") becomes "2023-12-24". A time alone
// ("18:30:00") is no date and time and stays text.
std::string xmlencode(const std::string& value);

// A value taken from an incoming document as written: invalid UTF-8 sequences
// become U+FFFD; the entities &lt; &gt; &quot; &apos; &amp; and the character
// references &#n; / &#xh; of XML characters are decoded once, left to right
// (so "&amp;lt;" gives "&lt;"); the whole text "true" gives "1", "false" "0".
std::string xmldecode(const std::string& value);

// The house number of an incident as the two elements the ILS expects:
//   ""       -> ""
//   "12"     -> "<EoHausNr>12</EoHausNr><EoHausNrKz/>"  (any 32-bit integer, as written)
//   "12a"    -> "<EoHausNr>12</EoHausNr><EoHausNrKz>a</EoHausNrKz>"
// The integer reading takes leading blanks, one sign, and decimal digits or a
// hexadecimal number after "$", "x", "X", "0x" or "0X"; otherwise the leading
// decimal digits are the number and the rest, escaped, is the suffix.
std::string fixhausnr(const std::string& value);
