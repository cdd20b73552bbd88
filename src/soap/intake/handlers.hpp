// The handlers of the three ILS operations. Each reads its data from the
// operation element, works on the request's own connection and sets the
// result text: empty on success, else the ErrorMessage of the reply.
#pragma once

#include <pugixml.hpp>
#include <string>

#include "lib/firedac.hpp"

// weiterleitung: -1 not forwarded, 0 forwarding failed, 1 forwarded and accepted.
void Einsatzweiterleiten(std::string& resulttext, pugi::xml_node element, int weiterleitung,
                         Sulvane::Firedac::TFDConnection& connection);
void Einsatzinfoweiterleiten(std::string& resulttext, pugi::xml_node element, int weiterleitung,
                             Sulvane::Firedac::TFDConnection& connection);
void Einsatzmittelverlegen(std::string& resulttext, pugi::xml_node element,
                           Sulvane::Firedac::TFDConnection& connection);
