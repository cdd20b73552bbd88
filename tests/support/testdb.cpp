#include "support/testdb.hpp"

#include <mysql.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace testsupport {

namespace {

std::string TestDbDir() {
  const char* dir = std::getenv("OLTSRV_TESTDB_DIR");
  if (dir == nullptr || *dir == '\0')
    throw std::runtime_error("OLTSRV_TESTDB_DIR is not set: run the tests with ctest");
  return dir;
}

std::string ReadLine(const std::string& file) {
  std::ifstream in(TestDbDir() + "/" + file);
  std::string line;
  if (!std::getline(in, line)) throw std::runtime_error("test database: no " + file);
  return line;
}

std::string UniqueName() {
  static std::atomic<unsigned> counter{0};
  std::random_device rd;
  return "oltt_" + std::to_string(getpid()) + "_" + std::to_string(counter++) + "_" +
         std::to_string(rd() % 100000);
}

}  // namespace

unsigned TestDatabase::Port() { return static_cast<unsigned>(std::stoul(ReadLine("port"))); }

std::string TestDatabase::Password() { return ReadLine("password"); }

TestDatabase::TestDatabase(bool with_schema) : name_(UniqueName()) {
  admin_ = mysql_init(nullptr);
  mysql_optionsv(admin_, MYSQL_SET_CHARSET_NAME, "utf8mb4");
  if (!mysql_real_connect(admin_, "127.0.0.1", "root", Password().c_str(), nullptr, Port(), nullptr,
                          0)) {
    const std::string message = mysql_error(admin_);
    mysql_close(admin_);
    throw std::runtime_error("test database: " + message);
  }
  Exec("CREATE DATABASE " + name_ + " CHARACTER SET utf8mb4");
  Exec("USE " + name_);
  if (with_schema) LoadSchema();
}

TestDatabase::~TestDatabase() {
  if (admin_ != nullptr) {
    const std::string drop = "DROP DATABASE IF EXISTS " + name_;
    mysql_real_query(admin_, drop.data(), drop.size());
    mysql_close(admin_);
  }
}

std::vector<std::string> TestDatabase::Params() const {
  return {"DriverID=MySQL",
          "Protocol=TCPIP",
          "Database=" + name_,
          "Server=127.0.0.1",
          "User_Name=root",
          "Password=" + Password(),
          "Port=" + std::to_string(Port())};
}

void TestDatabase::LoadSchema() { LoadFile("schema.sql"); }

void TestDatabase::LoadSeed() { LoadFile("seed.sql"); }

// Statements end with ";" at the end of a line; "--" lines are comments.
void TestDatabase::LoadFile(const std::string& name) {
  std::ifstream in(std::string(OLTSRV_SOURCE_DIR) + "/sql/" + name);
  std::stringstream text;
  text << in.rdbuf();
  std::string statement, line;
  while (std::getline(text, line)) {
    if (line.rfind("--", 0) == 0) continue;
    statement += line + "\n";
    if (!line.empty() && line.back() == ';') {
      Exec(statement);
      statement.clear();
    }
  }
}

void TestDatabase::Exec(const std::string& sql) {
  if (mysql_real_query(admin_, sql.data(), sql.size()) != 0)
    throw std::runtime_error("test database: " + std::string(mysql_error(admin_)) + " in " + sql);
  if (MYSQL_RES* r = mysql_store_result(admin_)) mysql_free_result(r);
}

std::vector<std::vector<std::string>> TestDatabase::Rows(const std::string& sql) {
  if (mysql_real_query(admin_, sql.data(), sql.size()) != 0)
    throw std::runtime_error("test database: " + std::string(mysql_error(admin_)) + " in " + sql);
  std::vector<std::vector<std::string>> rows;
  MYSQL_RES* r = mysql_store_result(admin_);
  if (r == nullptr) return rows;
  const unsigned n = mysql_num_fields(r);
  while (MYSQL_ROW row = mysql_fetch_row(r)) {
    const unsigned long* lengths = mysql_fetch_lengths(r);
    auto& out = rows.emplace_back();
    for (unsigned i = 0; i < n; ++i)
      out.push_back(row[i] ? std::string(row[i], lengths[i]) : std::string("NULL"));
  }
  mysql_free_result(r);
  return rows;
}

std::string TestDatabase::Value(const std::string& sql) {
  const auto rows = Rows(sql);
  return rows.empty() || rows[0].empty() ? std::string() : rows[0][0];
}

}  // namespace testsupport
