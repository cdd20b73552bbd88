#include "lib/xmlhelper.hpp"

#include <gtest/gtest.h>

#include <sstream>

using namespace Sulvane::XMLhelper;
using Path = std::vector<std::string>;

namespace {

pugi::xml_document Load(const char* xml) {
  pugi::xml_document doc;
  const pugi::xml_parse_result result = doc.load_string(xml);
  EXPECT_TRUE(result) << result.description() << ": " << xml;
  return doc;
}

}  // namespace

TEST(XMLhelper, GetNodeByPathFindsTheFirstChildElement) {
  const pugi::xml_document doc = Load(
      "<?A x?><A><!--B--><?B pi?><b>lower</b><B>first<C>c1</C></B><B><C>c2</C><D>d</D></B></A>");
  struct {
    Path path;
    const char* text;  // of the found element; nullptr: a null node
  } cases[] = {
      {{"A", "B"}, "first"},
      {{"A", "B", "C"}, "c1"},  // first B only, no search in its siblings
      {{"A", "b"}, "lower"},    // letter case counts
      {{"A", "B", "D"}, nullptr},
      {{"A", "X"}, nullptr},
      {{"a"}, nullptr},
      {{"A", "B", "C", "C"}, nullptr},  // an element without child elements
      {{"B"}, nullptr},                 // the processing instruction is no element
      {{"A", "B", "", "C"}, nullptr},
  };
  for (const auto& c : cases) {
    const std::string where = ::testing::PrintToString(c.path);
    const pugi::xml_node node = GetNodeByPath(doc, c.path, false);
    if (!c.text) {
      EXPECT_FALSE(node) << where;
      continue;
    }
    ASSERT_TRUE(node) << where;
    EXPECT_EQ(node.type(), pugi::node_element) << where;
    EXPECT_STREQ(node.child_value(), c.text) << where;
  }
  EXPECT_EQ(GetNodeByPath(doc, Path{}, false), doc);
  const pugi::xml_node a = doc.document_element();
  EXPECT_EQ(GetNodeByPath(a, Path{}, true), a);
  EXPECT_STREQ(GetNodeByPath(a, std::string("B"), false).child_value(), "first");
  EXPECT_FALSE(GetNodeByPath(a, std::string("X"), false));
  EXPECT_FALSE(GetNodeByPath(pugi::xml_node(), Path{"A"}, false));
  EXPECT_FALSE(GetNodeByPath(pugi::xml_node(), Path{"A"}, true));
  EXPECT_FALSE(GetNodeByPath(pugi::xml_node(), std::string("A"), true));
}

TEST(XMLhelper, GetNodeByPathCreatesWhatIsMissing) {
  pugi::xml_document doc = Load("<A><B><C>c</C></B></A>");
  const pugi::xml_node d = GetNodeByPath(doc, Path{"A", "B", "D", "E"}, true);
  ASSERT_TRUE(d);
  EXPECT_STREQ(d.name(), "E");
  d.text().set("e");
  // An existing element is taken, not duplicated; a created one is appended at the end.
  GetNodeByPath(doc, Path{"A", "B", "C"}, true);
  GetNodeByPath(doc.document_element(), std::string("F"), true);
  std::ostringstream out;
  doc.save(out, "", pugi::format_raw | pugi::format_no_declaration);
  EXPECT_EQ(out.str(), "<A><B><C>c</C><D><E>e</E></D></B><F/></A>");
  EXPECT_EQ(GetNodeByPath(doc, Path{"A", "B", "D", "E"}, false), d);

  pugi::xml_document empty;
  const pugi::xml_node root = GetNodeByPath(empty, Path{"R", "S"}, true);
  ASSERT_TRUE(root);
  EXPECT_EQ(empty.document_element().first_child(), root);
}

TEST(XMLhelper, GetNodeTextJoinsTextAndCdata) {
  const pugi::xml_document doc = Load(
      "<A><T>plain</T><E></E><N><X>nested</X></N><M>a<![CDATA[<b>]]>c<X>x</X>d</M>"
      "<R>x &amp; &lt;y&gt; &#252;</R><W>  w  </W><S/><C><![CDATA[]]></C></A>");
  struct {
    Path path;
    std::string text;
  } cases[] = {
      {{"A", "T"}, "plain"},
      {{"A", "M"}, "a<b>cd"},  // only the element's own text
      {{"A", "R"}, "x & <y> \xc3\xbc"},
      {{"A", "W"}, "  w  "},
      {{"A", "E"}, "DEF"},  // empty text: Default
      {{"A", "S"}, "DEF"},
      {{"A", "C"}, "DEF"},
      {{"A", "N"}, "DEF"},
      {{"A", "Z"}, "DEF"},  // missing
      {{"A", "T", "U"}, "DEF"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(GetNodeText(doc, c.path, "DEF"), c.text) << ::testing::PrintToString(c.path);
  const pugi::xml_node a = doc.document_element();
  EXPECT_EQ(GetNodeText(a, std::string("T"), "DEF"), "plain");
  EXPECT_EQ(GetNodeText(a, std::string("Z"), "DEF"), "DEF");
  EXPECT_EQ(GetNodeText(a, Path{}, "DEF"), "DEF");
  EXPECT_EQ(GetNodeText(a.child("T"), Path{}, "DEF"), "plain");
  EXPECT_EQ(GetNodeText(pugi::xml_node(), Path{"A"}, "DEF"), "DEF");
  EXPECT_EQ(GetNodeText(pugi::xml_node(), std::string("A"), ""), "");
}

TEST(XMLhelper, GetNodeIntReadsAs32BitInteger) {
  struct {
    const char* text;
    int value;  // -7: Default
  } cases[] = {
      {"3306", 3306},
      {"0", 0},
      {"-12", -12},
      {"+12", 12},
      {"007", 7},
      {"  42", 42},  // leading blanks are skipped
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"$1F", 31},
      {"0x1f", 31},
      {"0X1F", 31},
      {"-$10", -16},
      {"$FFFFFFFF", -1},
      {"$7FFFFFFF", 2147483647},
      {"2147483648", -7},  // out of range
      {"-2147483649", -7},
      {"99999999999999999999999", -7},
      {"$100000000", -7},
      {"42 ", -7},  // anything after the digits
      {"42x", -7},
      {"4 2", -7},
      {"1.5", -7},
      {"abc", -7},
      {"$", -7},
      {"0x", -7},
      {"-", -7},
      {"+-1", -7},
      {"--1", -7},
      {"$-1", -7},
      {"$+1", -7},
      {"0x 1", -7},
      {"$G", -7},
      {"\n42", -7},
      {"", -7},
  };
  for (const auto& c : cases) {
    pugi::xml_document doc;
    doc.append_child("A").append_child("I").text().set(c.text);
    EXPECT_EQ(GetNodeInt(doc, Path{"A", "I"}, -7), c.value) << "'" << c.text << "'";
    EXPECT_EQ(GetNodeInt(doc.document_element(), std::string("I"), -7), c.value)
        << "'" << c.text << "'";
  }
  const pugi::xml_document doc = Load("<A><I>5</I></A>");
  EXPECT_EQ(GetNodeInt(doc, Path{"A", "J"}, -7), -7);
  EXPECT_EQ(GetNodeInt(pugi::xml_node(), Path{"A", "I"}, -7), -7);
  EXPECT_EQ(GetNodeInt(pugi::xml_node(), std::string("I"), 3), 3);
}

TEST(XMLhelper, GetNodeBoolReadsNumbersAndWords) {
  struct {
    const char* text;
    int value;  // 0 false, 1 true, -1 Default
  } cases[] = {
      {"1", 1},      {"0", 0},     {"-1", 1},   {"42", 1},   {"$0", 0},    {"0x10", 1},
      {"true", 1},   {"TRUE", 1},  {"True", 1}, {"tRuE", 1}, {"false", 0}, {"FALSE", 0},
      {"False", 0},  {"nein", -1}, {"ja", -1},  {"yes", -1}, {"T", -1},    {"true ", -1},
      {" true", -1}, {"1x", -1},   {"", -1},
  };
  for (const auto& c : cases) {
    pugi::xml_document doc;
    doc.append_child("A").append_child("B").text().set(c.text);
    for (const bool Default : {false, true}) {
      const bool expected = c.value < 0 ? Default : c.value == 1;
      EXPECT_EQ(GetNodeBool(doc, Path{"A", "B"}, Default), expected)
          << "'" << c.text << "', Default " << Default;
      EXPECT_EQ(GetNodeBool(doc.document_element(), std::string("B"), Default), expected)
          << "'" << c.text << "', Default " << Default;
    }
  }
  for (const bool Default : {false, true}) {
    const pugi::xml_document doc = Load("<A><B>1</B></A>");
    EXPECT_EQ(GetNodeBool(doc, Path{"A", "C"}, Default), Default);
    EXPECT_EQ(GetNodeBool(pugi::xml_node(), Path{"A", "B"}, Default), Default);
    EXPECT_EQ(GetNodeBool(pugi::xml_node(), std::string("B"), Default), Default);
  }
}
