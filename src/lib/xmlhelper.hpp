// Access to the elements of an XML document by a path of element names.
//
// A path is a list of element names, read from the given node downwards; every call also
// takes a single name as a path of one. Names are compared exactly (letter case counts) and
// only elements are matched, never processing instructions or other nodes with a name.
// The reading calls never fail: on a null node, a missing element or an unusable value they
// hand back the Default.
#pragma once

#include <pugixml.hpp>
#include <string>
#include <vector>

namespace Sulvane::XMLhelper {

// The element at the path: for each name, the first child element of that name. When there
// is none, with create a new child element of that name is appended and the walk goes on
// from it; without create the result is a null node. The empty path gives the node itself.
// A null node gives a null node, also with create.
pugi::xml_node GetNodeByPath(pugi::xml_node node, const std::vector<std::string>& path,
                             bool create);
pugi::xml_node GetNodeByPath(pugi::xml_node node, const std::string& name, bool create);

// The text of the element at the path: its text and CDATA children joined in order (the
// text of nested elements is not part of it). Default when the element is missing or the
// text is empty.
std::string GetNodeText(pugi::xml_node node, const std::vector<std::string>& path,
                        const std::string& Default);
std::string GetNodeText(pugi::xml_node node, const std::string& name, const std::string& Default);

// The text of the element at the path as a 32-bit integer, read as Delphi's StrToInt reads
// it: leading blanks are skipped, then an optional sign, then decimal digits, or hexadecimal
// digits after "$", "0x" or "0X" (up to FFFFFFFF, taken as two's complement, so "$FFFFFFFF"
// is -1). Default when the element is missing, the text is no such number, has anything
// after the digits or is out of the 32-bit range.
int GetNodeInt(pugi::xml_node node, const std::vector<std::string>& path, int Default);
int GetNodeInt(pugi::xml_node node, const std::string& name, int Default);

// The text of the element at the path as a truth value: a number as GetNodeInt reads it (0
// is false, every other number true) or the words "True" and "False" in any letter case.
// Default when the element is missing or the text is neither ("nein", "yes", "").
bool GetNodeBool(pugi::xml_node node, const std::vector<std::string>& path, bool Default);
bool GetNodeBool(pugi::xml_node node, const std::string& name, bool Default);

}  // namespace Sulvane::XMLhelper
