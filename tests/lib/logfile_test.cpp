#include "lib/logfile.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "support/timezone.hpp"

namespace Sulvane::LogFile {
namespace {

namespace fs = std::filesystem;
using TTimePoint = std::chrono::system_clock::time_point;
// Relative path -> contents; folders appear as "name/" with empty contents.
using TTree = std::map<std::string, std::string>;

const std::string kLog = "olt-schnittstelle.log";

// A local wall-clock moment (Europe/Berlin during the tests).
struct TMoment {
  int year, month, day, hour, minute, second;

  TTimePoint Point() const {
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&local));
  }
  // The line's beginning as written for this moment.
  std::string Stamp() const {
    char text[32];
    std::snprintf(text, sizeof text, "%02d.%02d.%02d | %02d:%02d:%02d | ", day, month, year % 100,
                  hour, minute, second);
    return text;
  }
  // A level-5 line as written for this moment.
  std::string Line(std::string_view message) const {
    return Stamp() + "Hinweis   | " + std::string(message) + "\r\n";
  }
};

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void Write(const fs::path& path, std::string_view content) {
  std::ofstream out(path, std::ios::binary);
  out << content;
}

// Creates the entries of tree below root: keys ending in "/" as folders.
void Create(const fs::path& root, const TTree& tree) {
  for (const auto& [name, content] : tree) {
    if (name.ends_with('/')) {
      fs::create_directories(root / name);
    } else {
      fs::create_directories((root / name).parent_path());
      Write(root / name, content);
    }
  }
}

TTree Tree(const fs::path& root) {
  TTree tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string name = fs::relative(entry.path(), root).generic_string();
    if (entry.is_directory()) {
      tree[name + "/"] = "";
    } else {
      tree[name] = Read(entry.path());
    }
  }
  return tree;
}

// Runs action and expects it to throw ELogFileError with exactly message.
void ExpectLogFileError(const std::function<void()>& action, const std::string& message) {
  try {
    action();
    ADD_FAILURE() << "no ELogFileError, expected \"" << message << "\"";
  } catch (const ELogFileError& error) {
    EXPECT_EQ(error.what(), message);
  }
}

class LogFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    zone_.emplace("Europe/Berlin");
    std::string pattern = (fs::temp_directory_path() / "logfile_test_XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr) << std::strerror(errno);
    dir_ = pattern;
  }

  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
    zone_.reset();
  }

  // A fresh folder for one case of a table.
  fs::path CaseDir(const std::string& name) {
    const fs::path path = dir_ / name;
    fs::create_directories(path);
    return path;
  }

  TClock Clock() {
    return [this] { return now_; };
  }

  // Configures log like the service does and opens it.
  void Start(TLogFile& log, const fs::path& root, bool atStart, bool daily,
             const std::string& archive = "Logs") {
    log.SetClock(Clock());
    log.SetRotateLogFileAtStart(atStart);
    log.SetRotateLogFileDaily(daily);
    log.SetFolderOldLogFiles(archive.empty() ? "" : (root / archive).string());
    log.Open((root / kLog).string(), 5);
  }

  fs::path dir_;
  TTimePoint now_ = TMoment{2024, 2, 1, 8, 0, 0}.Point();

 private:
  std::optional<testsupport::TimeZone> zone_;
};

// --- Lines -------------------------------------------------------------------

TEST(LogFileReplaceNotPrintableCharsTest, ReplacesControlCharactersOnly) {
  std::string allControls;
  for (int code = 0; code < 32; ++code) allControls += static_cast<char>(code);
  const struct {
    const char* name;
    std::string text;
    std::string expected;
  } cases[] = {
      {"empty", "", ""},
      {"plain text", "Verbunden mit Datenbank.", "Verbunden mit Datenbank."},
      {"embedded NUL", std::string("a\0b", 3), "a<NUL>b"},
      {"all codes 0..31 in order", allControls,
       "<NUL><SOH><STX><ETX><EOT><ENQ><ACK><BEL><BS><HT><LF><VT><FF><CR><SO><SI>"
       "<DLE><DC1><DC2><DC3><DC4><NAK><SYN><ETB><CAN><EM><SUB><ESC><FS><GS><RS><US>"},
      {"31 at the end", "Ende\x1f", "Ende<US>"},
      {"CR LF between lines", "Zeile 1\r\nZeile 2", "Zeile 1<CR><LF>Zeile 2"},
      {"blank and DEL kept", " \x7f ", " \x7f "},
      {"UTF-8 and high bytes kept", "Grüße aus Köln \xff", "Grüße aus Köln \xff"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TVUXLogFileBasics::ReplaceNotPrintableChars(c.text), c.expected) << c.name;
  }
}

TEST_F(LogFileTest, LineShowsLevelTextPaddedAndTheCleanedMessage) {
  const struct {
    int level;
    std::string message;
    std::string expected;  // after the date and time
  } cases[] = {
      {0, "Dienst beendet.", "EMERGENCY | Dienst beendet."},
      {1, "a", "ALERT     | a"},
      {2, "b", "CRITICAL  | b"},
      {3, "c", "FEHLER    | c"},
      {4, "d", "Warnung   | d"},
      {5, "Verbunden mit Datenbank.", "Hinweis   | Verbunden mit Datenbank."},
      {6, "e", "Info      | e"},
      {7, "f", "Debug     | f"},
      {8, "g", "Debug 1   | g"},
      {9, "h", "Debug 2   | h"},
      {12, "i", "?         | i"},
      {-1, "j", "?         | j"},
      {5, "", "Hinweis   | "},
      {5, "Zeile 1\r\nZeile 2", "Hinweis   | Zeile 1<CR><LF>Zeile 2"},
      {5, "Spalte\tWert", "Hinweis   | Spalte<HT>Wert"},
      {5, "Prüfung der Größe: ÄÖÜ äöü ß", "Hinweis   | Prüfung der Größe: ÄÖÜ äöü ß"},
  };
  now_ = TMoment{2024, 1, 31, 14, 5, 9}.Point();
  for (const auto& c : cases) {
    const std::string context =
        "level " + std::to_string(c.level) + ", message \"" + c.message + "\"";
    const fs::path path = CaseDir("case") / kLog;
    fs::remove(path);
    TLogFile log(path.string(), 99, {}, Clock());
    log.Add(c.level, c.message);
    // Read while still open: the line is on disk when Add returns.
    EXPECT_EQ(Read(path), "31.01.24 | 14:05:09 | " + c.expected + "\r\n") << context;
  }
}

TEST_F(LogFileTest, LineShowsTheLocalDateAndTime) {
  using namespace std::chrono;
  const struct {
    TTimePoint utc;
    std::string stamp;
  } cases[] = {
      {sys_days{2024y / 1 / 31} + 13h + 5min + 9s, "31.01.24 | 14:05:09 | "},
      {sys_days{2024y / 7 / 15} + 22h + 30min, "16.07.24 | 00:30:00 | "},
      {sys_days{2009y / 3 / 4} + 5h + 6min + 7s, "04.03.09 | 06:06:07 | "},
      {sys_days{2023y / 12 / 31} + 23h, "01.01.24 | 00:00:00 | "},
  };
  const fs::path path = dir_ / kLog;
  TLogFile log(path.string(), 5, {}, Clock());
  std::string expected;
  for (const auto& c : cases) {
    now_ = c.utc;
    log.Add(5, "x");
    expected += c.stamp + "Hinweis   | x\r\n";
    EXPECT_EQ(Read(path), expected) << "lines up to " << c.stamp;
  }
}

TEST_F(LogFileTest, FormatReplacesPlaceholdersInOrder) {
  const struct {
    const char* name;
    std::function<void(TLogFile&)> add;
    std::string expected;  // after the date and time
  } cases[] = {
      {"service start failed",
       [](TLogFile& log) {
         log.Add(0, "OLT Schnittstelle konnte nicht gestartet werden! (%s)", {"Fehler"});
       },
       "EMERGENCY | OLT Schnittstelle konnte nicht gestartet werden! (Fehler)"},
      {"%s and %d in order",
       [](TLogFile& log) {
         log.Add(5, "%d von %s: %d", {"3", "5", "ok"});
       },
       "Hinweis   | 3 von 5: ok"},
      {"%% is a percent sign", [](TLogFile& log) { log.Add(5, "100%% %s%%", {"fertig"}); },
       "Hinweis   | 100% fertig%"},
      {"missing argument keeps the placeholder",
       [](TLogFile& log) { log.Add(5, "%s und %s", {"eins"}); }, "Hinweis   | eins und %s"},
      {"surplus arguments ignored",
       [](TLogFile& log) {
         log.Add(5, "nur %s", {"a", "b"});
       },
       "Hinweis   | nur a"},
      {"other sequences kept", [](TLogFile& log) { log.Add(5, "%x %5d %", {"a"}); },
       "Hinweis   | %x %5d %"},
      {"arguments are cleaned too", [](TLogFile& log) { log.Add(5, "[%s]", {"a\r\nb"}); },
       "Hinweis   | [a<CR><LF>b]"},
  };
  now_ = TMoment{2024, 1, 31, 14, 5, 9}.Point();
  for (const auto& c : cases) {
    const fs::path path = CaseDir("case") / kLog;
    fs::remove(path);
    TLogFile log(path.string(), 5, {}, Clock());
    c.add(log);
    EXPECT_EQ(Read(path), "31.01.24 | 14:05:09 | " + c.expected + "\r\n") << c.name;
  }
}

TEST_F(LogFileTest, AddAboveTheLevelNeitherOpensNorRotates) {
  const struct {
    int logLevel;
    int addLevel;
    const char* levelText;  // nullptr: nothing written
  } cases[] = {
      {7, 8, nullptr},     {7, 7, "Debug    "}, {0, 1, nullptr},
      {0, 0, "EMERGENCY"}, {5, 6, nullptr},     {5, -1, "?        "},
  };
  const TMoment moment{2024, 2, 1, 8, 0, 0};
  now_ = moment.Point();
  for (const auto& c : cases) {
    const std::string context =
        "log level " + std::to_string(c.logLevel) + ", line level " + std::to_string(c.addLevel);
    const fs::path root = CaseDir(context);
    Write(root / kLog, "alt\r\n");
    TLogFile log;  // closed, rotation at start on
    log.SetClock(Clock());
    log.SetDateiname((root / kLog).string());
    log.SetLogLevel(c.logLevel);
    log.Add(c.addLevel, "neu");
    log.Add(c.addLevel, "%s", {"neu"});
    if (c.levelText != nullptr) {
      const std::string line = moment.Stamp() + c.levelText + " | neu\r\n";
      EXPECT_TRUE(log.Started()) << context;
      EXPECT_EQ(Tree(root),
                (TTree{{kLog, line + line}, {"olt-schnittstelle_2024_02_01.lastlog", "alt\r\n"}}))
          << context;
    } else {
      EXPECT_FALSE(log.Started()) << context;
      EXPECT_EQ(Tree(root), (TTree{{kLog, "alt\r\n"}})) << context;
    }
  }
}

// --- Opening -----------------------------------------------------------------

TEST_F(LogFileTest, OpeningAppendsOrRotatesTheExistingFile) {
  const TMoment moment{2024, 2, 1, 8, 0, 0};
  const std::string line = moment.Line("neu");
  const struct {
    const char* name;
    bool atStart;
    std::string archive;
    TTree before;
    TTree after;
  } cases[] = {
      {"at start off appends", false, "", {{kLog, "alt\r\n"}}, {{kLog, "alt\r\n" + line}}},
      {"at start, no file yet", true, "", {}, {{kLog, line}}},
      {"at start beside the log",
       true,
       "",
       {{kLog, "alt\r\n"}},
       {{kLog, line}, {"olt-schnittstelle_2024_02_01.lastlog", "alt\r\n"}}},
      {"at start into the archive folder",
       true,
       "Logs",
       {{kLog, "alt\r\n"}},
       {{kLog, line}, {"Logs/", ""}, {"Logs/olt-schnittstelle_2024_02_01.lastlog", "alt\r\n"}}},
      {"archive folder created with its parents",
       false,
       "a/b/Logs",
       {},
       {{kLog, line}, {"a/", ""}, {"a/b/", ""}, {"a/b/Logs/", ""}}},
  };
  now_ = moment.Point();
  for (const auto& c : cases) {
    const fs::path root = CaseDir(c.name);
    Create(root, c.before);
    TLogFile log;
    Start(log, root, c.atStart, false, c.archive);
    EXPECT_TRUE(log.Started()) << c.name;
    log.Add(5, "neu");
    EXPECT_EQ(Tree(root), c.after) << c.name;
  }
}

TEST_F(LogFileTest, EveryStartRotatesToTheNextFreeName) {
  const TMoment first{2024, 2, 1, 8, 0, 0};
  const TMoment second{2024, 2, 1, 9, 30, 0};
  Write(dir_ / kLog, "alt\r\n");

  now_ = first.Point();
  {
    TLogFile log;
    Start(log, dir_, true, true);
    log.Add(5, "erster Start");
  }
  EXPECT_EQ(Tree(dir_), (TTree{{kLog, first.Line("erster Start")},
                               {"Logs/", ""},
                               {"Logs/olt-schnittstelle_2024_02_01.lastlog", "alt\r\n"}}));

  now_ = second.Point();
  {
    TLogFile log;
    Start(log, dir_, true, true);
    log.Add(5, "zweiter Start");
  }
  EXPECT_EQ(
      Tree(dir_),
      (TTree{{kLog, second.Line("zweiter Start")},
             {"Logs/", ""},
             {"Logs/olt-schnittstelle_2024_02_01.lastlog", "alt\r\n"},
             {"Logs/olt-schnittstelle_2024_02_01_#001.lastlog", first.Line("erster Start")}}));
}

TEST_F(LogFileTest, RotationAtOpeningNumbersFurtherChoices) {
  const std::string stem = "Logs/olt-schnittstelle_2024_02_01";
  const struct {
    int taken;                        // first choice and the further choices up to taken - 1
    std::vector<std::string> others;  // taken as well
    std::string expected;
  } cases[] = {
      {0, {}, stem + ".lastlog"},
      {1, {}, stem + "_#001.lastlog"},
      {10, {}, stem + "_#010.lastlog"},
      {1000, {}, stem + "_#1000.lastlog"},
      {1, {stem + "_#002.lastlog"}, stem + "_#001.lastlog"},
      {0,
       {"Logs/olt-schnittstelle_2024_01_31.lastlog", "Logs/olt-schnittstelle.lastlog"},
       stem + ".lastlog"},
  };
  now_ = TMoment{2024, 2, 1, 8, 0, 0}.Point();
  for (const auto& c : cases) {
    const std::string context = std::to_string(c.taken) + " taken, expecting " + c.expected;
    const fs::path root =
        CaseDir("taken" + std::to_string(c.taken) + "_" + std::to_string(c.others.size()));
    fs::create_directories(root / "Logs");
    std::vector<std::string> taken = c.others;
    if (c.taken > 0) taken.push_back(stem + ".lastlog");
    for (int n = 1; n < c.taken; ++n) {
      char number[16];
      std::snprintf(number, sizeof number, "_#%03d", n);
      taken.push_back(stem + number + ".lastlog");
    }
    for (const auto& name : taken) Write(root / name, "");
    Write(root / kLog, "alt\r\n");

    TLogFile log;
    Start(log, root, true, false);

    EXPECT_EQ(Read(root / c.expected), "alt\r\n") << context;
    EXPECT_EQ(Read(root / kLog), "") << context;
    std::size_t files = 0;
    std::size_t filled = 0;
    for (const auto& entry : fs::directory_iterator(root / "Logs")) {
      ++files;
      filled += entry.file_size() > 0;
    }
    EXPECT_EQ(files, taken.size() + 1) << context;
    EXPECT_EQ(filled, 1u) << context;
  }
}

TEST_F(LogFileTest, OpeningErrorsAreReported) {
  const struct {
    const char* name;
    std::string logName;  // below the case folder; empty: no name
    std::string archive;  // below the case folder
    TTree before;
    std::string message;
  } cases[] = {
      {"no file name", "", "", {}, "Keine Log-Datei vorhanden."},
      {"log folder below a file",
       "blocker/sub/olt.log",
       "",
       {{"blocker", ""}},
       "Verzeichnis für die Log-Datei kann nicht erstellt werden."},
      {"log folder is a file",
       "blocker/olt.log",
       "",
       {{"blocker", ""}},
       "Verzeichnis für die Log-Datei kann nicht erstellt werden."},
      {"archive folder below a file",
       "olt.log",
       "blocker/Logs",
       {{"blocker", ""}},
       "Verzeichnis für rotierte Log-Dateien kann nicht erstellt werden."},
      {"archive folder is a file",
       "olt.log",
       "blocker",
       {{"blocker", ""}},
       "Verzeichnis für rotierte Log-Dateien kann nicht erstellt werden."},
  };
  for (const auto& c : cases) {
    const fs::path root = CaseDir(c.name);
    Create(root, c.before);
    const std::string logName = c.logName.empty() ? "" : (root / c.logName).string();
    const std::string archive = c.archive.empty() ? "" : (root / c.archive).string();
    const auto configure = [&](TLogFile& log) {
      log.SetClock(Clock());
      log.SetFolderOldLogFiles(archive);
      log.SetDateiname(logName);
    };
    const std::function<void()> entryPoints[] = {
        [&] {
          TLogFile log;
          configure(log);
          log.Open();
        },
        [&] {
          TLogFile log;
          configure(log);
          log.Open(logName, 5);
        },
        [&] {
          TLogFile log;
          configure(log);
          log.Add(5, "neu");
        },
    };
    for (std::size_t i = 0; i < std::size(entryPoints); ++i) {
      SCOPED_TRACE(std::string(c.name) + ", entry point " + std::to_string(i));
      ExpectLogFileError(entryPoints[i], c.message);
      EXPECT_EQ(Tree(root), c.before);
    }
    if (c.archive.empty()) {
      ExpectLogFileError([&] { TLogFile log(logName, 5, {true, true}, Clock()); }, c.message);
    }
    TLogFile log;
    configure(log);
    EXPECT_THROW(log.Open(), ELogFileError) << c.name;
    EXPECT_FALSE(log.Started()) << c.name;
  }
}

TEST_F(LogFileTest, OpeningReportsTheSystemsReason) {
  const fs::path path = dir_ / kLog;
  fs::create_directory(path);
  ExpectLogFileError(
      [&] {
        TLogFile log(path.string(), 5, {false, true}, Clock());
      },
      "Log-Datei \"" + path.string() +
          "\" kann nicht geöffnet werden: " + std::system_category().message(EISDIR));
  EXPECT_EQ(Tree(dir_), (TTree{{kLog + "/", ""}})) << "a folder is not rotated away";
}

TEST_F(LogFileTest, PropertiesAndTheFileName) {
  TLogFile log;
  EXPECT_FALSE(log.RotateLogFileDaily());
  EXPECT_TRUE(log.RotateLogFileAtStart());
  EXPECT_FALSE(log.Started());
  EXPECT_EQ(log.FolderOldLogFiles(), "");
  EXPECT_EQ(log.Dateiname(), "");
  EXPECT_EQ(log.LogLevel(), 5);

  const std::string first = (dir_ / "erste.log").string();
  const std::string second = (dir_ / "zweite.log").string();
  const TMoment moment{2024, 2, 1, 8, 0, 0};
  now_ = moment.Point();
  log.SetClock(Clock());
  EXPECT_TRUE(log.Open(first, 7));
  EXPECT_TRUE(log.Started());
  EXPECT_EQ(log.LogLevel(), 7);
  EXPECT_TRUE(log.Open()) << "opening an open log";

  ExpectLogFileError([&] { log.SetDateiname(second); },
                     "Eigenschaft kann nur bei geschlossener Log-Datei geändert werden");
  EXPECT_EQ(log.Dateiname(), first);

  // Open(name, level) takes the name while open; the open file is kept until closed.
  EXPECT_TRUE(log.Open(second, 6));
  EXPECT_EQ(log.Dateiname(), second);
  EXPECT_EQ(log.LogLevel(), 6);
  log.Add(6, "eins");
  EXPECT_TRUE(log.Close());
  EXPECT_FALSE(log.Started());
  EXPECT_TRUE(log.Close()) << "closing a closed log";
  log.Add(6, "zwei");
  EXPECT_EQ(Tree(dir_), (TTree{{"erste.log", moment.Stamp() + "Info      | eins\r\n"},
                               {"zweite.log", moment.Stamp() + "Info      | zwei\r\n"}}));

  log.Close();
  log.SetDateiname(first);
  EXPECT_EQ(log.Dateiname(), first);
}

// --- Daily rotation ----------------------------------------------------------

TEST_F(LogFileTest, DailyRotationNamesTheFileAfterTheDayBefore) {
  const struct {
    const char* name;
    bool daily;
    TMoment last;
    TMoment next;
    std::string archived;  // empty: no rotation
  } cases[] = {
      {"next day",
       true,
       {2024, 1, 31, 23, 59, 59},
       {2024, 2, 1, 0, 0, 1},
       "olt-schnittstelle_2024_01_31.log"},
      {"idle for days",
       true,
       {2024, 1, 31, 10, 0, 0},
       {2024, 2, 5, 8, 0, 0},
       "olt-schnittstelle_2024_02_04.log"},
      {"new year",
       true,
       {2023, 12, 31, 18, 0, 0},
       {2024, 1, 1, 9, 0, 0},
       "olt-schnittstelle_2023_12_31.log"},
      // 24 hours before 00:30 after the one-hour-shorter day lie on the day before it.
      {"short day",
       true,
       {2024, 3, 31, 10, 0, 0},
       {2024, 4, 1, 0, 30, 0},
       "olt-schnittstelle_2024_03_30.log"},
      {"same day", true, {2024, 2, 1, 0, 0, 1}, {2024, 2, 1, 23, 59, 59}, ""},
      {"daily off", false, {2024, 1, 31, 10, 0, 0}, {2024, 2, 1, 8, 0, 0}, ""},
  };
  for (const auto& c : cases) {
    const fs::path root = CaseDir(c.name);
    now_ = c.last.Point();
    TLogFile log;
    Start(log, root, true, c.daily);
    log.Add(5, "alt 1");
    log.Add(5, "alt 2");
    now_ = c.next.Point();
    log.Add(5, "neu");

    const std::string old = c.last.Line("alt 1") + c.last.Line("alt 2");
    const TTree expected =
        c.archived.empty()
            ? TTree{{kLog, old + c.next.Line("neu")}, {"Logs/", ""}}
            : TTree{{kLog, c.next.Line("neu")}, {"Logs/", ""}, {"Logs/" + c.archived, old}};
    EXPECT_EQ(Tree(root), expected) << c.name;
  }
}

TEST_F(LogFileTest, DailyRotationNeverLosesALine) {
  const TMoment last{2024, 1, 31, 10, 0, 0};
  const TMoment next{2024, 2, 1, 8, 0, 0};
  const std::string old = last.Line("alt");
  const std::string line = next.Line("neu");
  const std::string longName = std::string(245, 'x') + ".log";  // rotated names too long
  const struct {
    const char* name;
    bool atStart;
    std::string logName;
    std::string archiveLater;  // set after the first line; empty: stays "Logs"
    TTree before;
    TTree after;
  } cases[] = {
      {"target exists, moved away at reopening",
       true,
       kLog,
       "",
       {{"Logs/olt-schnittstelle_2024_01_31.log", "fremd\r\n"}},
       {{kLog, line},
        {"Logs/", ""},
        {"Logs/olt-schnittstelle_2024_01_31.log", "fremd\r\n"},
        {"Logs/olt-schnittstelle_2024_02_01.lastlog", old}}},
      {"target exists, appended at reopening",
       false,
       kLog,
       "",
       {{"Logs/olt-schnittstelle_2024_01_31.log", "fremd\r\n"}},
       {{kLog, old + line}, {"Logs/", ""}, {"Logs/olt-schnittstelle_2024_01_31.log", "fremd\r\n"}}},
      {"names too long", true, longName, "", {}, {{longName, old + line}, {"Logs/", ""}}},
      {"archive folder created",
       true,
       kLog,
       "neu/Logs",
       {},
       {{kLog, line},
        {"Logs/", ""},
        {"neu/", ""},
        {"neu/Logs/", ""},
        {"neu/Logs/olt-schnittstelle_2024_01_31.log", old}}},
      {"archive folder cannot be created",
       true,
       kLog,
       "blocker/Logs",
       {{"blocker", ""}},
       {{kLog, old + line}, {"Logs/", ""}, {"blocker", ""}}},
  };
  for (const auto& c : cases) {
    const fs::path root = CaseDir(c.name);
    Create(root, c.before);
    now_ = last.Point();
    TLogFile log;
    log.SetClock(Clock());
    log.SetRotateLogFileDaily(true);
    log.SetRotateLogFileAtStart(c.atStart);
    log.SetFolderOldLogFiles((root / "Logs").string());
    log.Open((root / c.logName).string(), 5);
    log.Add(5, "alt");
    if (!c.archiveLater.empty()) log.SetFolderOldLogFiles((root / c.archiveLater).string());
    now_ = next.Point();
    EXPECT_NO_THROW(log.Add(5, "neu")) << c.name;
    EXPECT_TRUE(log.Started()) << c.name;
    EXPECT_EQ(Tree(root), c.after) << c.name;
  }
}

TEST_F(LogFileTest, DailyRotationMovesAcrossVolumes) {
  const fs::path other = "/dev/shm";
  struct stat here {};
  struct stat there {};
  if (::stat(dir_.c_str(), &here) != 0 || ::stat(other.c_str(), &there) != 0 ||
      here.st_dev == there.st_dev || ::access(other.c_str(), W_OK) != 0) {
    GTEST_SKIP() << "no second writable volume at " << other;
  }
  std::string pattern = (other / "logfile_test_XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  const fs::path archive = pattern;

  const TMoment last{2024, 1, 31, 10, 0, 0};
  const TMoment next{2024, 2, 1, 8, 0, 0};
  now_ = last.Point();
  {
    TLogFile log;
    log.SetClock(Clock());
    log.SetRotateLogFileDaily(true);
    log.SetFolderOldLogFiles(archive.string());
    log.Open((dir_ / kLog).string(), 5);
    log.Add(5, "alt");
    now_ = next.Point();
    log.Add(5, "neu");
  }
  const TTree archived = Tree(archive);
  fs::remove_all(archive);
  EXPECT_EQ(Tree(dir_), (TTree{{kLog, next.Line("neu")}}));
  EXPECT_EQ(archived, (TTree{{"olt-schnittstelle_2024_01_31.log", last.Line("alt")}}));
}

// --- Threads -----------------------------------------------------------------

TEST_F(LogFileTest, LinesOfSeveralThreadsNeverInterleave) {
  constexpr int kThreads = 4;
  constexpr int kLines = 500;
  const TMoment moment{2024, 2, 1, 8, 0, 0};
  now_ = moment.Point();
  const auto message = [](int thread, int line) {
    return "Thread " + std::to_string(thread) + " Zeile " + std::to_string(line) + " " +
           std::string(100, static_cast<char>('a' + thread));
  };

  const fs::path path = dir_ / kLog;
  TLogFile log(path.string(), 5, {true, true}, Clock());
  std::atomic<bool> done = false;
  std::thread observer([&] {
    while (!done) {
      log.SetLogLevel(log.LogLevel());
      log.SetFolderOldLogFiles(log.FolderOldLogFiles());
      (void)log.Dateiname();
      (void)log.Started();
    }
  });
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([&, t] {
      for (int i = 0; i < kLines; ++i) log.Add(5, message(t, i));
    });
  }
  for (auto& writer : writers) writer.join();
  done = true;
  observer.join();

  const std::string content = Read(path);
  std::vector<std::string> lines;
  for (std::size_t begin = 0; begin < content.size();) {
    const std::size_t end = content.find("\r\n", begin);
    ASSERT_NE(end, std::string::npos) << "last line without CR LF";
    lines.push_back(content.substr(begin, end + 2 - begin));
    begin = end + 2;
  }
  ASSERT_EQ(lines.size(), std::size_t{kThreads * kLines});
  // Each thread's lines appear whole and in the order written.
  std::vector<int> nextLine(kThreads, 0);
  for (std::size_t n = 0; n < lines.size(); ++n) {
    int thread = 0;
    int line = 0;
    const std::string prefix = moment.Stamp() + "Hinweis   | Thread ";
    ASSERT_EQ(lines[n].compare(0, prefix.size(), prefix), 0) << "line " << n << ": " << lines[n];
    ASSERT_EQ(std::sscanf(lines[n].c_str() + prefix.size(), "%d Zeile %d", &thread, &line), 2)
        << "line " << n << ": " << lines[n];
    ASSERT_TRUE(thread >= 0 && thread < kThreads) << "line " << n << ": " << lines[n];
    EXPECT_EQ(line, nextLine[thread]) << "line " << n;
    EXPECT_EQ(lines[n], moment.Line(message(thread, nextLine[thread]))) << "line " << n;
    nextLine[thread] = line + 1;
  }
}

}  // namespace
}  // namespace Sulvane::LogFile
