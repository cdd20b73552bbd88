#include "soap/handlers.hpp"

void Einsatzinfoweiterleiten(std::string& /*resulttext*/, pugi::xml_node /*element*/,
                             int /*weiterleitung*/,
                             Sulvane::Firedac::TFDConnection& /*connection*/) {
  // Not taken over yet: the result text stays as the dispatcher set it.
}
