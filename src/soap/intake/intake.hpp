// The steps that the two incident handlers share: the ILS id of the request,
// the lookup of a known incident, the writers, the forwarding outcome.
#pragma once

#include <pugixml.hpp>
#include <string>

#include "lib/firedac.hpp"

// The id of the last einsatz child that has an id child; empty without one.
std::string incidentid(pugi::xml_node operation);

// EINSATZNUMMER of the incident with this EXTERNAL_ID; empty when there is none.
std::string lookupincident(const std::string& ilsid, Sulvane::Firedac::TFDConnection& connection);

// Every einsatz child through the incident writer (each continuing with the
// number the previous one returned), then the last one's protokoll, patient
// and einsatzmittel children, in that order of groups. Returns the number.
std::string writeincident(const std::string& einsatznummer, const std::string& ilsid,
                          const std::string& backtoils, pugi::xml_node operation,
                          Sulvane::Firedac::TFDConnection& connection);

// The measures entry of a forwarding to a neighbouring centre: -1 none,
// 0 failed, 1 forwarded (the local copy is then closed; `stopreports` also
// ends the status reports to the ILS).
void recordforwarding(int weiterleitung, const std::string& einsatznummer, const std::string& ilsid,
                      bool stopreports, Sulvane::Firedac::TFDConnection& connection);
