#include "soap/handlers.hpp"

void Einsatzmittelverlegen(std::string& /*resulttext*/, pugi::xml_node /*element*/,
                           Sulvane::Firedac::TFDConnection& /*connection*/) {
  // Not taken over yet: the result text stays as the dispatcher set it.
}
