// The readable centre incident number (EINSATZNR) of incidents created in the centre.
#pragma once

#include <string>

// Gives the incident its centre number; errors go to the caller.
void setoltnr(const std::string& einsatznummer);
