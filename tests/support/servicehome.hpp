// The folder a service instance of a test runs from: olt.ini pointing at a
// test database, the installation's field maps, the log.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "lib/inifile.hpp"
#include "support/tempdir.hpp"
#include "support/testdb.hpp"

namespace testsupport {

class ServiceHome {
 public:
  // With a database, olt.ini names it; the installation's files (field
  // maps) are copied in; the endpoint gets a certificate and a free port.
  explicit ServiceHome(const TestDatabase* db = nullptr, bool field_maps = true) {
    MakeCertificate();
    Set("Server", "WS-Port", "0");
    if (db != nullptr) {
      Set("Database", "Database", db->Name());
      Set("Database", "Hostname", "127.0.0.1");
      Set("Database", "User", "root");
      Set("Database", "Passwort", TestDatabase::Password());
      Set("Database", "Port", std::to_string(TestDatabase::Port()));
    }
    if (field_maps)
      for (const auto& file :
           std::filesystem::directory_iterator(std::string(OLTSRV_SOURCE_DIR) + "/install"))
        std::filesystem::copy_file(file.path(), dir_ / file.path().filename());
  }

  const std::filesystem::path& Folder() const { return dir_.path(); }
  std::filesystem::path Log() const { return dir_ / "olt-schnittstelle.log"; }
  std::filesystem::path operator/(const std::string& name) const { return dir_ / name; }

  void Set(const std::string& section, const std::string& key, const std::string& value) {
    TIniFile(dir_ / "olt.ini").WriteString(section, key, value);
  }

  // A self-signed olt.cer/olt.key pair for the endpoint, made once per test program.
  void MakeCertificate() const {
    static const TempDir made;
    static const bool ok = [] {
      const std::string command =
          "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=olt -keyout '" +
          (made / "olt.key").string() + "' -out '" + (made / "olt.cer").string() +
          "' >/dev/null 2>&1";
      return std::system(command.c_str()) == 0;
    }();
    if (!ok) throw std::runtime_error("openssl req failed");
    for (const char* file : {"olt.cer", "olt.key"})
      std::filesystem::copy_file(made / file, dir_ / file,
                                 std::filesystem::copy_options::overwrite_existing);
  }

 private:
  TempDir dir_;
};

}  // namespace testsupport
