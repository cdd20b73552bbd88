// mdlgeoservice: the WGS 84 coordinates of an incident (EINSAETZE.KOORDX,
// KOORDY), converted from the Gauss-Krueger pair the ILS sends, or looked up
// from the incident's address in the centre's own geodata.
#pragma once

#include <string>

#include "lib/firedac.hpp"

// Converts the ILS's pair (EPSG 31468, texts as received) of a new incident to
// WGS 84 (EPSG 4326) with the converter program and stores it. Logs and
// returns when a coordinate is missing; every failure, also a converter that
// gives no pair, is logged and stores nothing. Never raises.
void koordinatenermittlung(const std::string& einsatznummer, const std::string& x,
                           const std::string& y, Sulvane::Firedac::TFDConnection& connection);

// The coordinates of the incident's object (OBJEKTE), else of its street
// (STRASSEN), as the SET list " KOORDY='y', KOORDX='x'" (decimal points) to
// follow "UPDATE EINSAETZE SET "; empty when neither has a KOORDY or on any
// error. Never raises, logs nothing.
std::string getkoordinaten(const std::string& einsatznummer,
                           Sulvane::Firedac::TFDConnection& connection);
