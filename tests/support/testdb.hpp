// A fresh database on the private test MariaDB server for one test, created
// from sql/schema.sql and dropped at the end. The server itself is started by
// scripts/testdb.sh (a CTest fixture); its folder is in OLTSRV_TESTDB_DIR.
#pragma once

#include <string>
#include <vector>

struct st_mysql;

namespace testsupport {

class TestDatabase {
 public:
  // with_schema=false gives an empty database.
  explicit TestDatabase(bool with_schema = true);
  ~TestDatabase();
  TestDatabase(const TestDatabase&) = delete;
  TestDatabase& operator=(const TestDatabase&) = delete;

  const std::string& Name() const { return name_; }
  static unsigned Port();
  static std::string Password();
  // The service's "Name=Value" parameter list for this database.
  std::vector<std::string> Params() const;

  // Statements on an administrator connection of the test, independent of
  // the service's own database layer.
  void Exec(const std::string& sql);
  std::vector<std::vector<std::string>> Rows(const std::string& sql);  // NULL reads as "NULL"
  std::string Value(const std::string& sql);                           // first column, first row
  void LoadSchema();
  // The demo catalogue of sql/seed.sql: resources, standard tasks, addresses.
  void LoadSeed();

 private:
  void LoadFile(const std::string& name);
  st_mysql* admin_ = nullptr;
  std::string name_;
};

}  // namespace testsupport
