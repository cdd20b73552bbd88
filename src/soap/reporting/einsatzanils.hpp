// Handing a centre incident over to the ILS.
#pragma once

#include <string>

// Sends the incident to the ILS; true when the ILS accepted it. Never raises.
bool einsatzanils(const std::string& einsatznummer);
// Records the outcome of a hand-over; raises on a database failure.
void weiterleitungsergebnis(const std::string& einsatznummer, bool erfolgreich);
