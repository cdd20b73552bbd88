// The converter program against PROJ's own command-line tool cs2cs.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <sstream>
#include <thread>

#include "support/tempdir.hpp"

extern char** environ;

using namespace std::chrono_literals;
using testing::HasSubstr;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

struct Result {
  int status = -1;  // exit status; -1: killed after the time limit
  std::string out, err;
};

// Runs a program with `input` on standard input; at most 20 s.
Result RunProgram(const std::vector<std::string>& args, const std::string& input = "") {
  const TempDir dir;
  WriteFile(dir / "in", input);
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 0, (dir / "in").c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&files, 1, (dir / "out").c_str(), O_WRONLY | O_CREAT, 0600);
  posix_spawn_file_actions_addopen(&files, 2, (dir / "err").c_str(), O_WRONLY | O_CREAT, 0600);
  std::vector<std::string> copy = args;
  std::vector<char*> argv;
  for (auto& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int e = posix_spawnp(&pid, argv[0], &files, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&files);
  if (e != 0) throw std::runtime_error("cannot start " + args[0]);
  Result result;
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      status = -1;
      break;
    }
    std::this_thread::sleep_for(5ms);
  }
  if (status != -1) result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
  result.out = ReadFile(dir / "out");
  result.err = ReadFile(dir / "err");
  return result;
}

Result Konverter(std::vector<std::string> args) {
  args.insert(args.begin(), OLTSRV_KONVERTER);
  return RunProgram(args);
}

// The first two numbers of a text.
std::pair<double, double> Pair(const std::string& text) {
  std::istringstream in(text);
  double a = 0, b = 0;
  if (!(in >> a >> b)) throw std::runtime_error("no pair in: " + text);
  return {a, b};
}

const std::regex kLine(R"(-?[0-9]+\.[0-9]{8} -?[0-9]+\.[0-9]{8}\n)");

struct Point {
  const char* where;
  std::string easting, northing;
};
// Across Gauss-Krueger zone 4 (central meridian 12 E, 10.5 to 13.5 E).
const Point kPoints[] = {
    {"Munich", "4468000", "5334000"},
    {"Nuremberg", "4433221.318", "5480074.081"},
    {"Regensburg", "4507539.146", "5430680.303"},
    {"Passau, near the eastern edge", "4605786.601", "5381990.085"},
    {"Burgau, near the western edge", "4390519.078", "5363520.924"},
};

}  // namespace

TEST(Konverter, AgreesWithCs2csAcrossZone4) {
  for (const auto& p : kPoints) {
    SCOPED_TRACE(p.where);
    const Result ours = Konverter({"31468", p.easting, p.northing, "4326"});
    ASSERT_EQ(ours.status, 0) << ours.err;
    EXPECT_TRUE(std::regex_match(ours.out, kLine)) << ours.out;
    EXPECT_EQ(ours.err, "");
    // cs2cs takes northing first and prints latitude first.
    const Result theirs = RunProgram({"cs2cs", "-d", "8", "EPSG:31468", "EPSG:4326"},
                                     p.northing + " " + p.easting + "\n");
    ASSERT_EQ(theirs.status, 0) << theirs.err;
    const auto [lon, lat] = Pair(ours.out);
    const auto [want_lat, want_lon] = Pair(theirs.out);
    EXPECT_NEAR(lon, want_lon, 1e-7) << ours.out << " / " << theirs.out;
    EXPECT_NEAR(lat, want_lat, 1e-7) << ours.out << " / " << theirs.out;

    // The way back, longitude first, against cs2cs again.
    std::istringstream words(ours.out);
    std::string lon_text, lat_text;
    words >> lon_text >> lat_text;
    const Result back = Konverter({"4326", lon_text, lat_text, "31468"});
    ASSERT_EQ(back.status, 0) << back.err;
    const Result theirs_back = RunProgram({"cs2cs", "-d", "8", "EPSG:4326", "EPSG:31468"},
                                          lat_text + " " + lon_text + "\n");
    ASSERT_EQ(theirs_back.status, 0) << theirs_back.err;
    const auto [e, n] = Pair(back.out);
    const auto [want_n, want_e] = Pair(theirs_back.out);
    EXPECT_NEAR(e, want_e, 1e-6) << back.out << " / " << theirs_back.out;
    EXPECT_NEAR(n, want_n, 1e-6) << back.out << " / " << theirs_back.out;
    EXPECT_NEAR(e, std::stod(p.easting), 0.01) << back.out;
    EXPECT_NEAR(n, std::stod(p.northing), 0.01) << back.out;
  }
}

TEST(Konverter, UsesTheBeta2007GridShift) {
  for (const auto& p : kPoints) {
    SCOPED_TRACE(p.where);
    const Result r = Konverter({"--info", "31468", p.easting, p.northing, "4326"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.err, HasSubstr("DHDN to WGS 84 (4)"));
    EXPECT_THAT(r.err, HasSubstr("Genauigkeit: 1 m"));
  }
}

TEST(Konverter, TakesDecimalCommasAndDefaultsToWgs84) {
  const std::string want = Konverter({"31468", "4468000.5", "5334000.25", "4326"}).out;
  ASSERT_TRUE(std::regex_match(want, kLine)) << want;
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"31468", "4468000,5", "5334000,25", "4326"},
           {"31468", "4468000.5", "5334000.25"},
           {"EPSG:31468", "4468000.50", "5334000,250", "epsg:4326"}}) {
    const Result r = Konverter(args);
    EXPECT_EQ(r.status, 0) << args[1] << " " << r.err;
    EXPECT_EQ(r.out, want) << args[1];
  }
}

TEST(Konverter, BadInputGivesAMessageAndNoOutput) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"31468", "4468000"},
      {"31468", "4468000", "5334000", "4326", "extra"},
      {"--info"},
      {"31468", "abc", "5334000"},
      {"31468", "4468000", ""},
      {"31468", "4468000,5,1", "5334000"},
      {"31468", "4468000.5,1", "5334000"},
      {"31468", "4468000 5", "5334000"},
      {"31468", "inf", "5334000"},
      {"31468", "nan", "5334000"},
      {"31468", "+-4468000", "5334000"},
      {"abc", "4468000", "5334000"},
      {"31468", "4468000", "5334000", "-4326"},
      {"999999", "4468000", "5334000"},
      {"31468", "1e30", "1e30"},
  };
  for (const auto& args : cases) {
    std::string line;
    for (const auto& a : args) line += "[" + a + "]";
    const Result r = Konverter(args);
    EXPECT_EQ(r.status, 1) << line;
    EXPECT_EQ(r.out, "") << line;
    EXPECT_THAT(r.err, HasSubstr("koordinaten-konverter: ")) << line;
  }
}
