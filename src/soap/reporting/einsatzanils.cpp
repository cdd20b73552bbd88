#include "soap/reporting/einsatzanils.hpp"

bool einsatzanils(const std::string& /*einsatznummer*/) {
  // There is no ILS client yet: nothing is handed over.
  return false;
}

void weiterleitungsergebnis(const std::string& /*einsatznummer*/, bool /*erfolgreich*/) {}
