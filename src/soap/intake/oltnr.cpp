#include "soap/intake/oltnr.hpp"

void setoltnr(const std::string& /*einsatznummer*/) {
  // Centre numbers are not assigned yet.
}
