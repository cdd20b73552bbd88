// The converter adapter against stand-in converters: small shell scripts
// beside the executable that record their arguments and answer as told.
#include "lib/koordinatenkonverter.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include "support/tempdir.hpp"

using namespace std::chrono_literals;
using namespace Sulvane::VUX::KoordinatenKonverter;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

using Clock = std::chrono::steady_clock;

// The budget of the converter: 21 checks of 40 ms.
constexpr auto kBudget = kWaitChecks * kWaitCheck;

struct Adapter : testing::Test {
  TempDir home;

  std::filesystem::path Program() const { return home / kKonverterName; }

  // A converter that writes its arguments, one a line, to "args" and then
  // runs `body`.
  void StandIn(const std::string& body) const {
    WriteFile(Program(),
              "#!/bin/sh\nd=$(dirname \"$0\")\nprintf '%s\\n' \"$@\" >\"$d/args\"\n" + body + "\n");
    std::filesystem::permissions(Program(), std::filesystem::perms::owner_all);
  }
  std::string Args() const { return ReadFile(home / "args"); }
};

// True once the process is gone or only a zombie that another parent has
// still to reap; waits at most `limit`.
bool ProcessGone(const std::string& pid, std::chrono::milliseconds limit = 3s) {
  const auto deadline = Clock::now() + limit;
  do {
    const std::string stat = ReadFile("/proc/" + pid + "/stat");
    const auto paren = stat.rfind(')');
    if (stat.empty() || (paren != std::string::npos && paren + 2 < stat.size() &&
                         (stat[paren + 2] == 'Z' || stat[paren + 2] == 'X')))
      return true;
    std::this_thread::sleep_for(20ms);
  } while (Clock::now() < deadline);
  return false;
}

std::string Trimmed(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

}  // namespace

TEST_F(Adapter, RunsTheConverterAndReadsItsPair) {
  struct {
    const char* what;
    std::string x, y, epsgout, body;
    std::string want_args, want_text;
    // none: no pair, the caller's values stay
    std::optional<std::pair<double, double>> want_pair;
    std::string want_error;
  } cases[] = {
      {"decimal comma in", "4468000,5", "5334000,25", "4326", "echo '11.5 48.25'",
       "31468\n4468000.5\n5334000.25\n4326\n", "11.5 48.25\r\n", std::pair{11.5, 48.25}, ""},
      {"two commas keep the second", "4468000,5,1", "5334000,2,5", "4326", "echo '1.5 2.5'",
       "31468\n4468000.5,1\n5334000.2,5\n4326\n", "1.5 2.5\r\n", std::pair{1.5, 2.5}, ""},
      {"empty epsgout ends the command line after ky", "1", "2", "", "echo '1.5 2.5'",
       "31468\n1\n2\n", "1.5 2.5\r\n", std::pair{1.5, 2.5}, ""},
      {"a value with blanks stays one argument", "4468000 5", "2", "4326", "echo '1.5 2.5'",
       "31468\n4468000 5\n2\n4326\n", "1.5 2.5\r\n", std::pair{1.5, 2.5}, ""},
      {"decimal commas, blanks around, CR LF", "1", "2", "4326", "printf ' 11,5 48,25 \\r\\n'",
       "31468\n1\n2\n4326\n", " 11,5 48,25 \r\n", std::pair{11.5, 48.25}, ""},
      {"a last line without line break", "1", "2", "4326", "printf '11.5 48.25'",
       "31468\n1\n2\n4326\n", "11.5 48.25\r\n", std::pair{11.5, 48.25}, ""},
      {"every line replaces the one before", "1", "2", "4326", "printf '1 2\\n3 4\\n'",
       "31468\n1\n2\n4326\n", "3 4\r\n", std::pair{3.0, 4.0}, ""},
      {"three numbers", "1", "2", "4326", "echo '1.5 2.5 3.5'", "31468\n1\n2\n4326\n",
       "1.5 2.5 3.5\r\n", std::nullopt, "'2,5 3,5' ist kein gültiger Gleitkommawert"},
      {"one number", "1", "2", "4326", "echo 42", "31468\n1\n2\n4326\n", "42\r\n", std::nullopt,
       ""},
      {"a banner before the result", "1", "2", "4326",
       "echo KOORDINATENKONVERTER; sleep 0.5; echo '1.5 2.5'", "31468\n1\n2\n4326\n",
       "KOORDINATENKONVERTER\r\n", std::nullopt, ""},
      {"a banner with a blank", "1", "2", "4326", "echo 'Konverter 1.0'; sleep 0.5; echo '1.5 2.5'",
       "31468\n1\n2\n4326\n", "Konverter 1.0\r\n", std::nullopt,
       "'Konverter' ist kein gültiger Gleitkommawert"},
      {"an ending without output", "1", "2", "4326", "exit 1", "31468\n1\n2\n4326\n", "",
       std::nullopt, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    StandIn(c.body);
    TVUXKoordinatenKonverter konverter(home.path());
    const auto start = Clock::now();
    EXPECT_EQ(konverter.GetConvertedStr(c.x, c.y, "31468", c.epsgout), c.want_text);
    // The wait ends with the first line or the end of the output.
    EXPECT_LT(Clock::now() - start, kBudget);
    EXPECT_EQ(Args(), c.want_args);

    double first = 7, second = 8;
    if (!c.want_error.empty()) {
      try {
        convertkoordinaten(home.path(), c.x, c.y, "31468", c.epsgout, first, second);
        ADD_FAILURE() << "no conversion error";
      } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), c.want_error.c_str());
      }
      EXPECT_EQ(first, 7);
      EXPECT_EQ(second, 8);
      continue;
    }
    const bool pair = convertkoordinaten(home.path(), c.x, c.y, "31468", c.epsgout, first, second);
    EXPECT_EQ(pair, c.want_pair.has_value());
    EXPECT_EQ(first, c.want_pair ? c.want_pair->first : 7);
    EXPECT_EQ(second, c.want_pair ? c.want_pair->second : 8);
  }
}

TEST_F(Adapter, ASilentConverterIsEndedAfterTheBudgetWithItsChildren) {
  // The script and a child of it both sleep; neither may outlive the call.
  StandIn("sleep 5 &\necho $! >\"$d/child\"\necho $$ >\"$d/pid\"\nwait\necho '1 2'");
  double first = 0, second = 0;
  const auto start = Clock::now();
  EXPECT_FALSE(
      convertkoordinaten(home.path(), "4468000", "5334000", "31468", "4326", first, second));
  const auto elapsed = Clock::now() - start;
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 0);
  EXPECT_GE(elapsed, kBudget);
  EXPECT_LT(elapsed, kBudget + 1s);
  const std::string pid = Trimmed(ReadFile(home / "pid"));
  const std::string child = Trimmed(ReadFile(home / "child"));
  ASSERT_FALSE(pid.empty());
  ASSERT_FALSE(child.empty());
  // Our own child is reaped, not left as a zombie.
  EXPECT_FALSE(std::filesystem::exists("/proc/" + pid)) << "converter " << pid;
  EXPECT_TRUE(ProcessGone(child)) << "converter's child " << child;
}

TEST_F(Adapter, AMissingOrUnstartableConverterRaises) {
  struct {
    const char* what;
    std::function<void()> prepare;
    std::string want;
  } cases[] = {
      {"no file", [] {}, "Anwendung koordinaten-konverter.exe nicht vorhanden."},
      {"a folder of that name", [this] { std::filesystem::create_directory(Program()); },
       "Anwendung koordinaten-konverter.exe nicht vorhanden."},
      {"not executable",
       [this] {
         std::filesystem::remove(Program());
         WriteFile(Program(), "#!/bin/sh\necho '1 2'\n");
         std::filesystem::permissions(Program(), std::filesystem::perms::owner_read);
       },
       "Systemfehler. Code: 13. Permission denied"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    c.prepare();
    double first = 7, second = 8;
    try {
      convertkoordinaten(home.path(), "1", "2", "31468", "4326", first, second);
      ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()), c.want);
    }
    EXPECT_EQ(first, 7);
    EXPECT_EQ(second, 8);
  }
}

TEST(RegionalNumbers, ReadsTheRegionalForm) {
  struct {
    std::string text;
    double want;
  } good[] = {
      {"48,1", 48.1}, {"-0,5", -0.5},  {" 7 ", 7},
      {"+3", 3},      {"1,5E3", 1500}, {"2e-2", 0.02},
      {",5", 0.5},    {"5,", 5},       {"11,56855948", 11.56855948},
  };
  for (const auto& c : good) EXPECT_EQ(RegionalStrToFloat(c.text), c.want) << c.text;
  for (const std::string bad :
       {"", " ", "1.5", "1,2,3", "abc", "1 2", "INF", "nan", "1e", "--1", "+", ",", "1e999"}) {
    try {
      RegionalStrToFloat(bad);
      ADD_FAILURE() << "read: '" << bad << "'";
    } catch (const EConvertError& e) {
      EXPECT_EQ(std::string(e.what()), "'" + bad + "' ist kein gültiger Gleitkommawert");
    }
  }
}

TEST(RegionalNumbers, WritesTheGeneralForm) {
  struct {
    double value;
    std::string want;
  } cases[] = {
      {0, "0"},
      {11.56855948, "11,56855948"},
      {48.14322439, "48,14322439"},
      {-2.5, "-2,5"},
      {100, "100"},
      {0.1 + 0.2, "0,3"},
      {1.0 / 3, "0,333333333333333"},
      {123456789012345, "123456789012345"},
      {1e15, "1E15"},
      {1e20, "1E20"},
      {0.00001, "0,00001"},
      {0.000001, "1E-6"},
      {1.5e-7, "1,5E-7"},
      {4468000.00021046, "4468000,00021046"},
  };
  for (const auto& c : cases) EXPECT_EQ(RegionalFloatToStr(c.value), c.want) << c.value;
}
