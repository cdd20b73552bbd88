// The incident record writer: one einsatz element of an ILS request as a row
// of EINSAETZE.
#pragma once

#include <pugixml.hpp>
#include <string>

#include "lib/firedac.hpp"

// Inserts the incident when `einsatznummer` is empty, else updates that row.
// The children that "oltfelder.dat" names become columns. Returns the
// incident number, empty when the statement failed (logged, never raised).
// `backtoils` ("1" or "0") marks whether its status goes back to the ILS.
std::string saveeinsatz(const std::string& einsatznummer, const std::string& ilsid,
                        const std::string& backtoils, pugi::xml_node element,
                        Sulvane::Firedac::TFDConnection& connection);
