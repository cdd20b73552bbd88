#include "lib/inifile.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <type_traits>
#include <variant>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// A fresh folder per test, removed with everything in it afterwards.
template <class Base>
class TempDirFixture : public Base {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "inifile-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr) << "mkdtemp failed";
    dir_ = pattern;
    file_ = dir_ / "olt.ini";
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  void Put(const std::string& content) const {
    std::ofstream out(file_, std::ios::binary | std::ios::trunc);
    out << content;
    ASSERT_TRUE(out.good()) << "cannot write " << file_;
  }
  std::string Get() const {
    std::ifstream in(file_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::vector<std::string> FolderEntries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename());
    return names;
  }

  fs::path dir_;
  fs::path file_;
};

using IniFileTest = TempDirFixture<::testing::Test>;

// ---------------------------------------------------------------------------------------------
// Reading

// The type of the default selects the read: std::string ReadString, int ReadInteger,
// bool ReadBool.
using Value = std::variant<std::string, int, bool>;

struct ReadCase {
  const char* name;
  std::optional<std::string> content;  // nullopt: there is no file
  const char* section;
  const char* ident;
  Value fallback;
  Value expected;
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

const std::string kLong(3000, 'x');
// 2046 ASCII bytes, then a two-byte character across the cut at 2047.
const std::string kLongUtf8 = std::string(2046, 'a') + "\xC3\xA4" + "tail";

const ReadCase kReadCases[] = {
    // integer
    {"Decimal", "[S]\nK=8443\n", "S", "K", 0, 8443},
    {"Negative", "[S]\nK=-42\n", "S", "K", 0, -42},
    {"PlusSign", "[S]\nK=+7\n", "S", "K", 0, 7},
    {"IntMax", "[S]\nK=2147483647\n", "S", "K", 0, 2147483647},
    {"IntMin", "[S]\nK=-2147483648\n", "S", "K", 0, -2147483647 - 1},
    {"HexZeroX", "[S]\nK=0x20FB\n", "S", "K", 0, 8443},
    {"HexZeroUpperXLowerDigits", "[S]\nK=0X20fb\n", "S", "K", 0, 8443},
    {"HexDollar", "[S]\nK=$20FB\n", "S", "K", 0, 8443},
    {"HexAllBitsIsMinusOne", "[S]\nK=$FFFFFFFF\n", "S", "K", 0, -1},
    {"HexTooLargeYieldsDefault", "[S]\nK=0x100000000\n", "S", "K", 5, 5},
    {"HexWithoutDigitsYieldsDefault", "[S]\nK=$\n", "S", "K", 5, 5},
    {"HexWithSignYieldsDefault", "[S]\nK=$-1\n", "S", "K", 5, 5},
    {"TextAsIntegerYieldsDefault", "[S]\nK=nein\n", "S", "K", 5, 5},
    {"TrailingTextYieldsDefault", "[S]\nK=12abc\n", "S", "K", 5, 5},
    {"DoubleSignYieldsDefault", "[S]\nK=+-1\n", "S", "K", 5, 5},
    {"EmptyAsIntegerYieldsDefault", "[S]\nK=\n", "S", "K", 5, 5},
    {"AboveIntMaxYieldsDefault", "[S]\nK=2147483648\n", "S", "K", 5, 5},
    {"BelowIntMinYieldsDefault", "[S]\nK=-2147483649\n", "S", "K", 5, 5},
    {"QuotedNumber", "[S]\nK=\"12\"\n", "S", "K", 0, 12},
    // boolean
    {"BoolZeroIsFalse", "[S]\nK=0\n", "S", "K", true, false},
    {"BoolOneIsTrue", "[S]\nK=1\n", "S", "K", false, true},
    {"BoolTwoIsTrue", "[S]\nK=2\n", "S", "K", false, true},
    {"BoolHexZeroIsFalse", "[S]\nK=0x0\n", "S", "K", true, false},
    {"BoolTextYieldsDefaultTrue", "[S]\nK=nein\n", "S", "K", true, true},
    {"BoolTextYieldsDefaultFalse", "[S]\nK=nein\n", "S", "K", false, false},
    {"BoolEmptyYieldsDefault", "[S]\nK=\n", "S", "K", true, true},
    {"BoolMissingKeyYieldsDefault", "[S]\n", "S", "K", true, true},
    // text
    {"EmptyValueIsEmptyText", "[S]\nK=\n", "S", "K", "default"s, ""s},
    {"ValueKeepsFurtherEquals", "[S]\nK=a=b\n", "S", "K", ""s, "a=b"s},
    {"KeyInOtherCase", "[S]\nport=1\n", "S", "PORT", ""s, "1"s},
    {"SectionInOtherCase", "[server]\nK=1\n", "SERVER", "K", ""s, "1"s},
    {"MissingKey", "[S]\nK=1\n", "S", "L", "default"s, "default"s},
    {"MissingSection", "[S]\nK=1\n", "T", "K", "default"s, "default"s},
    {"KeyOfNextSectionNotFound", "[S]\n[T]\nK=1\n", "S", "K", "default"s, "default"s},
    {"KeyBeforeFirstSectionBelongsToNone", "K=1\n[S]\n", "S", "K", "default"s, "default"s},
    {"MissingFile", std::nullopt, "S", "K", "default"s, "default"s},
    {"MissingFileInteger", std::nullopt, "S", "K", 5, 5},
    {"DoubleQuotesRemoved", "[S]\nK=\" a b \"\n", "S", "K", ""s, " a b "s},
    {"SingleQuotesRemoved", "[S]\nK='a'\n", "S", "K", ""s, "a"s},
    {"UnmatchedQuotesKept", "[S]\nK=\"a'\n", "S", "K", ""s, "\"a'"s},
    {"LoneQuoteKept", "[S]\nK=\"\n", "S", "K", ""s, "\""s},
    {"BlanksAroundNamesAndValue", " \t[ \tS\t ] \n \tK \t=\t v w \t\n", "S", "K", ""s, "v w"s},
    {"BlanksAroundRequestedNames", "[S]\nK=v\n", " S ", "\tK\t", ""s, "v"s},
    {"CommentLineIsNoKey", "[S]\n;K=1\n", "S", "K", "default"s, "default"s},
    {"IndentedCommentLineIsNoKey", "[S]\n \t; K=1\nK=2\n", "S", "K", ""s, "2"s},
    {"SemicolonInValueKept", "[S]\nK=a;b\n", "S", "K", ""s, "a;b"s},
    {"LineWithoutEqualsIsNoKey", "[S]\nK\n", "S", "K", "default"s, "default"s},
    {"BomSkipped", "\xEF\xBB\xBF[S]\r\nK=v\r\n", "S", "K", ""s, "v"s},
    {"CrLfLineEnds", "[S]\r\nK=v\r\nL=w\r\n", "S", "K", ""s, "v"s},
    {"LastLineWithoutLineEnd", "[S]\r\nK=v", "S", "K", ""s, "v"s},
    {"LongValueCutTo2047", "[S]\nK=" + kLong + "\n", "S", "K", ""s, std::string(2047, 'x')},
    {"LongValueNotCutInsideUtf8", "[S]\nK=" + kLongUtf8 + "\n", "S", "K", ""s,
     std::string(2046, 'a')},
    {"FirstDuplicateKeyWins", "[S]\nK=1\nK=2\n", "S", "K", ""s, "1"s},
    {"FirstDuplicateSectionWins", "[S]\nK=1\n[T]\n[S]\nK=2\n", "S", "K", ""s, "1"s},
    {"LaterDuplicateSectionIgnored", "[S]\nK=1\n[S]\nL=2\n", "S", "L", "default"s, "default"s},
};

class IniReadTest : public TempDirFixture<::testing::TestWithParam<ReadCase>> {};

Value Read(const TIniFile& ini, const ReadCase& c) {
  return std::visit(
      [&](const auto& fallback) -> Value {
        using T = std::decay_t<decltype(fallback)>;
        if constexpr (std::is_same_v<T, std::string>) {
          return ini.ReadString(c.section, c.ident, fallback);
        } else if constexpr (std::is_same_v<T, int>) {
          return ini.ReadInteger(c.section, c.ident, fallback);
        } else {
          return ini.ReadBool(c.section, c.ident, fallback);
        }
      },
      c.fallback);
}

TEST_P(IniReadTest, ReadsValue) {
  const ReadCase& c = GetParam();
  if (c.content) Put(*c.content);
  const TIniFile ini(file_);
  EXPECT_EQ(Read(ini, c), c.expected) << c.name << ": [" << c.section << "] " << c.ident;
}

INSTANTIATE_TEST_SUITE_P(Cases, IniReadTest, ::testing::ValuesIn(kReadCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(IniFileTest, SectionAndValueExist) {
  Put("; comment\r\nOrphan=1\r\n[Server]\r\nPort=\r\n[Leer]\r\n[server]\r\nHost=x\r\n");
  const TIniFile ini(file_);
  struct Case {
    const char* section;
    const char* ident;  // nullptr: ask SectionExists
    bool expected;
  };
  const Case cases[] = {
      {"Server", nullptr, true}, {"SERVER", nullptr, true}, {" Leer ", nullptr, true},
      {"Fehlt", nullptr, false}, {"Server", "Port", true},  {"server", "PORT", true},
      {"Server", "Host", false}, {"Leer", "Port", false},   {"Server", "Orphan", false},
      {"Fehlt", "Port", false},
  };
  for (const Case& c : cases) {
    const bool actual =
        c.ident ? ini.ValueExists(c.section, c.ident) : ini.SectionExists(c.section);
    EXPECT_EQ(actual, c.expected) << "[" << c.section << "] " << (c.ident ? c.ident : "(section)");
  }

  const TIniFile missing(dir_ / "fehlt.ini");
  EXPECT_FALSE(missing.SectionExists("Server")) << "missing file";
  EXPECT_FALSE(missing.ValueExists("Server", "Port")) << "missing file";
}

TEST_F(IniFileTest, FileNameIsKept) {
  const TIniFile ini(file_);
  EXPECT_EQ(ini.FileName(), file_);
}

// No cache: each read sees the file as it is at that moment.
TEST_F(IniFileTest, ReadSeesExternalChange) {
  Put("[Server]\r\nPort=1\r\n");
  const TIniFile ini(file_);
  ASSERT_EQ(ini.ReadInteger("Server", "Port", 0), 1);

  Put("[Server]\r\nPort=2\r\n");
  EXPECT_EQ(ini.ReadInteger("Server", "Port", 0), 2) << "after edit";
  EXPECT_FALSE(ini.ValueExists("Server", "Host")) << "after edit";

  Put("[Server]\r\nPort=2\r\nHost=h\r\n");
  EXPECT_EQ(ini.ReadString("Server", "Host", ""), "h") << "after adding a key";

  fs::remove(file_);
  EXPECT_EQ(ini.ReadInteger("Server", "Port", 7), 7) << "after removing the file";
  EXPECT_FALSE(ini.SectionExists("Server")) << "after removing the file";
}

// ---------------------------------------------------------------------------------------------
// Writing

struct WriteCase {
  const char* name;
  std::optional<std::string> before;  // nullopt: there is no file
  const char* section;
  const char* ident;
  const char* value;
  std::string after;
};

void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.name; }

const WriteCase kWriteCases[] = {
    {"ReplaceKeepsAllOtherLines",
     "; Einstellungen\r\n\r\nOrphan=0\r\n[Server]\r\n  Host = h  \r\n; Port folgt\r\n"
     "Port=1\r\nLfLine=x\n\t\r\n[Db]\r\nPort=3\r\n",
     "Server", "Port", "8443",
     "; Einstellungen\r\n\r\nOrphan=0\r\n[Server]\r\n  Host = h  \r\n; Port folgt\r\n"
     "Port=8443\r\nLfLine=x\n\t\r\n[Db]\r\nPort=3\r\n"},
    {"ReplaceKeepsKeySpellingAndLineEnd", "[server]\n  port = 1  \r\nZ=1\n", "Server", "PORT", "2",
     "[server]\nport=2\r\nZ=1\n"},
    {"ReplaceLastLineWithoutLineEnd", "[S]\r\nK=1", "S", "K", "2", "[S]\r\nK=2"},
    {"ReplaceFirstDuplicateOnly", "[S]\nK=1\nK=2\n[S]\nK=3\n", "S", "K", "9",
     "[S]\nK=9\nK=2\n[S]\nK=3\n"},
    {"ReplaceKeepsBom", "\xEF\xBB\xBF[S]\r\nK=1\r\n", "S", "K", "2", "\xEF\xBB\xBF[S]\r\nK=2\r\n"},
    {"NewKeyAfterLastKeyOfSection",
     "[A]\r\nX=1\r\n; Kommentar\r\nY=2\r\n; zu B\r\n\r\n\r\n[B]\r\nZ=3\r\n", "A", "K", "v",
     "[A]\r\nX=1\r\n; Kommentar\r\nY=2\r\nK=v\r\n; zu B\r\n\r\n\r\n[B]\r\nZ=3\r\n"},
    {"NewKeyIntoSectionWithoutKeys", "[A]\n\n[B]\nK=1\n", "A", "K", "v", "[A]\nK=v\n\n[B]\nK=1\n"},
    {"NewKeyIntoFirstDuplicateSection", "[A]\nX=1\n[A]\nY=2\n", "a", "K", "v",
     "[A]\nX=1\nK=v\n[A]\nY=2\n"},
    {"NewKeyAfterLastLineWithoutLineEnd", "[A]\nX=1", "A", "K", "v", "[A]\nX=1\nK=v\n"},
    {"NewSectionAppendedCrLf", "[A]\r\nX=1\r\n", "B", "K", "v", "[A]\r\nX=1\r\n[B]\r\nK=v\r\n"},
    {"NewSectionAppendedLf", "[A]\nX=1\n\n", "B", "K", "v", "[A]\nX=1\n\n[B]\nK=v\n"},
    {"NewSectionIgnoresKeysBeforeFirstSection", "K=1\n", "B", "K", "v", "K=1\n[B]\nK=v\n"},
    {"NewSectionAfterLastLineWithoutLineEnd", "; nur Kommentar", "B", "K", "v",
     "; nur Kommentar\r\n[B]\r\nK=v\r\n"},
    {"NewSectionIntoEmptyFile", "", "B", "K", "v", "[B]\r\nK=v\r\n"},
    {"MissingFileCreated", std::nullopt, "B", "K", "v", "[B]\r\nK=v\r\n"},
    {"NamesTrimmed", std::nullopt, " B\t", "\tK ", " v ", "[B]\r\nK= v \r\n"},
};

class IniWriteTest : public TempDirFixture<::testing::TestWithParam<WriteCase>> {};

TEST_P(IniWriteTest, WritesFile) {
  const WriteCase& c = GetParam();
  if (c.before) Put(*c.before);
  TIniFile ini(file_);
  ini.WriteString(c.section, c.ident, c.value);
  EXPECT_EQ(Get(), c.after) << c.name;
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"olt.ini"}) << c.name << ": temp file left";
}

INSTANTIATE_TEST_SUITE_P(Cases, IniWriteTest, ::testing::ValuesIn(kWriteCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(IniFileTest, WrittenValuesReadBack) {
  TIniFile ini(file_);
  ini.WriteInteger("Server", "Port", -8443);
  ini.WriteString("Server", "Host", "olt.example");
  ini.WriteInteger("Server", "Max", 2147483647);
  ini.WriteString("Weiterleitung", "Aktiv", "1");
  EXPECT_EQ(Get(),
            "[Server]\r\nPort=-8443\r\nHost=olt.example\r\nMax=2147483647\r\n"
            "[Weiterleitung]\r\nAktiv=1\r\n");
  EXPECT_EQ(ini.ReadInteger("Server", "Port", 0), -8443);
  EXPECT_EQ(ini.ReadString("Server", "Host", ""), "olt.example");
  EXPECT_TRUE(ini.ReadBool("Weiterleitung", "Aktiv", false));
}

// Writes do not cache either: a change made by someone else between two writes stays.
TEST_F(IniFileTest, WriteKeepsExternalChange) {
  TIniFile ini(file_);
  ini.WriteString("S", "A", "1");
  Put(Get() + "; von Hand\r\nB=2\r\n");
  ini.WriteString("S", "C", "3");
  EXPECT_EQ(Get(), "[S]\r\nA=1\r\n; von Hand\r\nB=2\r\nC=3\r\n");
}

TEST_F(IniFileTest, WriteKeepsPermissions) {
  Put("[S]\nK=1\n");
  fs::permissions(file_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  TIniFile ini(file_);
  ini.WriteString("S", "K", "2");
  EXPECT_EQ(fs::status(file_).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(IniFileTest, WriteThroughSymlinkKeepsLink) {
  const fs::path real = dir_ / "real.ini";
  { std::ofstream(real, std::ios::binary) << "[S]\nK=1\n"; }
  fs::create_symlink(real, file_);
  TIniFile ini(file_);
  ini.WriteString("S", "K", "2");
  EXPECT_TRUE(fs::is_symlink(file_));
  EXPECT_EQ(Get(), "[S]\nK=2\n");
}

TEST_F(IniFileTest, InvalidWritesRejected) {
  const std::string before = "[S]\r\nK=1\r\n";
  Put(before);
  TIniFile ini(file_);
  struct Case {
    const char* section;
    const char* ident;
    const char* value;
  };
  const Case cases[] = {
      {"S", "K", "a\nb"}, {"S", "K", "a\rb"}, {"S\n", "K", "v"}, {"S", "K\r\nL", "v"},
      {"S]", "K", "v"},   {"S", "K=L", "v"},  {"S", ";K", "v"},  {"S", "[K]", "v"},
  };
  for (const Case& c : cases) {
    EXPECT_THROW(ini.WriteString(c.section, c.ident, c.value), std::invalid_argument)
        << "[" << c.section << "] " << c.ident << "=" << c.value;
  }
  EXPECT_EQ(Get(), before);
}

TEST_F(IniFileTest, WriteIntoMissingFolderThrows) {
  TIniFile ini(dir_ / "fehlt" / "olt.ini");
  EXPECT_THROW(ini.WriteString("S", "K", "v"), std::system_error);
}

// Writers on several threads lose no update, and a reader never sees a partly written file:
// the last line of the file must always be there.
TEST_F(IniFileTest, ConcurrentWritesAndReads) {
  Put("[Z]\r\nEnde=ja\r\n");
  TIniFile ini(file_);
  constexpr int kWriters = 4;
  constexpr int kRounds = 50;
  std::atomic<bool> writing{true};
  std::atomic<int> torn_reads{0};

  std::vector<std::thread> readers;
  for (int r = 0; r < 2; ++r) {
    readers.emplace_back([&] {
      const TIniFile reader(file_);
      while (writing) {
        if (reader.ReadString("Z", "Ende", "") != "ja") ++torn_reads;
      }
    });
  }
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&ini, w] {
      for (int i = 1; i <= kRounds; ++i) ini.WriteInteger("S", "K" + std::to_string(w), i);
    });
  }
  for (auto& t : writers) t.join();
  writing = false;
  for (auto& t : readers) t.join();

  EXPECT_EQ(torn_reads, 0);
  for (int w = 0; w < kWriters; ++w) {
    EXPECT_EQ(ini.ReadInteger("S", "K" + std::to_string(w), 0), kRounds) << "writer " << w;
  }
  EXPECT_EQ(ini.ReadString("Z", "Ende", ""), "ja");
}

}  // namespace
