// The writers of an incident's feedback entries (RUECKMELDUNGEN) and patients
// (PATIENTEN), and the mapping of an entry's children to columns that they
// share with the resource assignment writer.
#pragma once

#include <pugixml.hpp>
#include <string>
#include <vector>

#include "lib/firedac.hpp"

// Stores one protokoll element of the incident as a feedback entry, found by
// its ILS id (ELDIS_ID) among all incidents. Gives the incident number after
// an update, else empty. Never raises: a failure is logged.
std::string saveprotokoll(const std::string& einsatznummer, pugi::xml_node element,
                          Sulvane::Firedac::TFDConnection& connection);

// Stores one patient element of the incident, found by its ILS id (ELDIS_ID)
// within the incident. Gives the incident number after an update, else empty.
// Never raises: a failure is logged.
std::string savepatienten(const std::string& einsatznummer, pugi::xml_node element,
                          Sulvane::Firedac::TFDConnection& connection);

// One child of an entry element that its map file lets through.
struct TMappedField {
  std::string column;   // from getfieldname of the child's name in lower case
  std::string literal;  // the value as a quoted SQL literal, German dates converted
};

// The children of the element, in document order, whose local name occurs in
// some line of the map file (letter case counts, a bare substring test) and
// is not "id". The map file is read for every child into a list of its own;
// `codesl` is not touched for that. When the children have been gone through,
// `codesl` is reloaded from "oltfelder.dat" as a whole, so an edit of that
// file reaches the incident writer. Fails with the file error when a map
// file cannot be read.
std::vector<TMappedField> mapchildren(pugi::xml_node element, const std::string& mapfile);
