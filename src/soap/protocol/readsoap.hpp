// The SOAP request dispatcher: parses one request of the ILS, finds its
// operation and calls the operation's handler.
#pragma once

#include <pugixml.hpp>
#include <string>

// Fills the result text (empty: success) and the name of the response
// element. Never raises: every failure is logged and ends in the result text.
void ReadSoap(const std::string& request, std::string& resulttext, std::string& responsename);

// The house number suffix merged into the house number:
// <EoHausNr>12</EoHausNr><EoHausNrKz>a</EoHausNrKz> becomes <EoHausNr>12a</EoHausNr>.
// Texts without "<EoHausNrKz>" stay as they are.
std::string mergehausnrkz(const std::string& request);

// Parses a request into the element tree the handlers read: entities stay as
// written (values are decoded later, one by one), no DTD is processed and
// nothing is fetched. Fails with the parser's message.
void loadsoapxml(pugi::xml_document& document, const std::string& request);
