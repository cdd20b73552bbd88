#include "soap/reporting/statussweep.hpp"

void checkeinsaetze(const std::string& /*einsatznummer*/) {
  // No incident is reported yet: the ILS client comes with the status documents.
}
