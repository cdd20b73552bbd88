// The opening work of an incident that is new in the centre: the standard
// tasks marked for every new incident (STANDARD_AUFGABEN.AUTOADD=2) are copied
// into its task list, it gets coordinates from its address while it has none,
// and the workstations receive the map and the alarm telegram.
#pragma once

#include <string>

#include "lib/firedac.hpp"

// Adds the standard tasks, then the address coordinates (only while KOORDX is
// NULL; "MAP|EINSATZ|" + number when the address lookup found some), then
// sends "ALARM|AUSLOESEN". A failure of the task list or of the telegram is
// logged as " Fehler bei Eröffnungsaufgaben: " + message and ends the work;
// one of the coordinates is ignored. Never raises.
void eroeffnungsaufgaben(const std::string& einsatznummer,
                         Sulvane::Firedac::TFDConnection& connection);

// Copies one catalogue task into the incident's tasks: its text, control
// target, data and id; added by "OLTsrv" now, free, and with ALARM '0' for the
// control target -5, else '1'. An empty number logs "Aufgabe <id> keine
// Einsatznummer übergeben."; a failure logs "Fehler bei Addaufgabe: " +
// message. Never raises.
void Addaufgabe(const std::string& aufgabenid, const std::string& einsatznummer,
                Sulvane::Firedac::TFDConnection& connection);
