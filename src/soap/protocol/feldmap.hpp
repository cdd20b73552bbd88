// Field map files and value conversion (unit mdlsoap).
//
// A field map file lies in the service executable's folder and ties ILS element
// names to database columns, one "column=Element" line each:
//   "oltfelder.dat"        EINSAETZE       children of an einsatz element
//   "protokollfelder.dat"  RUECKMELDUNGEN  children of a protokoll element
//   "patfelder.dat"        PATIENTEN       children of a patient element
//   "emfelder.dat"         EM_EINSAETZE    children of an einsatzmittel element
// The lookups read their file anew on every call (no cache: an edited file
// takes effect with the next request) and fail with EFOpenError when it cannot
// be read; they do not catch that, their callers do.
#pragma once

#include <pugixml.hpp>
#include <string>

// The whole text of the service module's `codesl`: its lines, each ended by
// CR LF. The filter of the incident writer and of the export document.
std::string codesltext();

// The column that the map file ties to an element name: the part before the
// first "=" of the last line that contains "=" + the name (letter case
// ignored); without such a line the element name as passed. A substring
// test: "=EoHausNr" also matches the line of EoHausNrKz, so line order counts.
std::string getfieldname(const std::string& elementname, const std::string& mapfile);

// The element name that the map file ties to a column: the part after the
// first "=" of the last line that begins with the column name in lower case
// + "=" (compared as written: a column written in capitals is not found);
// without such a line the column name as passed.
std::string getxmlname(const std::string& columnname, const std::string& mapfile);

// The text of the element's last child element whose local name is "id" in
// any letter case, unchanged; empty without such a child.
std::string getid(pugi::xml_node element);

// An incoming element's text value as an SQL value (not quoted): decoded by
// xmldecode ("true" -> "1", "false" -> "0"); a full xs:dateTime
// ("2023-12-24T17:30:00Z", fractions of a second dropped) becomes
// "yyyy-mm-dd hh:nn:ss" in the machine's local time when it carries a zone
// (Z or an offset), and as written without one. Never fails.
std::string xmltosqlvalue(const std::string& value);

// The text as a quoted SQL literal; a German date and time
// "dd.mm.yyyy hh:nn:ss" (years 1900 to 2099, a real calendar day) becomes
// 'yyyy-mm-dd hh:nn:ss'. Never fails.
std::string convertdatetime(const std::string& text);
