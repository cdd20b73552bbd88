// The writer of a resource's assignment to an incident (EM_EINSAETZE) and of
// the resource row (EINSATZMITTEL) that the assignment's progress calls for.
#pragma once

#include <pugixml.hpp>
#include <string>

#include "lib/firedac.hpp"

// Stores one einsatzmittel element of the incident: finds the resource by its
// ILS id (EINSATZMITTEL.EXTERNAL_ID), inserts or updates its assignment to
// the incident and then, by the assignment's status level (the highest of
// STATUS1..STATUS6 that is filled, 0 for none), moves the resource:
//   0     assigned to the incident                      "UPDATE|EMITTEL|" + call sign
//   1, 2  assigned, STATUS '3' or '4' with a new time    "UPDATE|EMITTEL|" + call sign
//   3, 4  untouched
//   5     only EINSATZNUMMER set
//   6     every assignment of the call sign inactive (AKTIV=0)
// Gives the incident number after an update of an existing assignment, else
// empty. Never raises: a failure is logged.
std::string saveeinsatzmittel(const std::string& einsatznummer, pugi::xml_node element,
                              Sulvane::Firedac::TFDConnection& connection);
