// A stand-in for the running service that records what the units hand it:
// log lines and telegrams. Unit tests of field maps, envelope, converter and
// writers run with it instead of starting a service. It is the process-wide
// service while it lives.
#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "lib/firedac.hpp"
#include "lib/inifile.hpp"
#include "lib/stringlist.hpp"
#include "service/servicecontext.hpp"

namespace testsupport {

class FakeService final : public TServiceContext {
 public:
  // `params`: the connection parameters that createconnection uses (a test
  // database's Params()); without them it fails.
  explicit FakeService(std::filesystem::path folder, std::vector<std::string> params = {})
      : folder_(std::move(folder)), ini_(folder_ / "olt.ini"), params_(std::move(params)) {}

  void addlogsync(const std::string& logtext) override {
    std::lock_guard lock(lock_);
    log_.push_back(logtext);
  }
  void sendtelegramm(const std::string& Text) override {
    std::lock_guard lock(lock_);
    telegrams_.push_back(Text);
  }
  const std::filesystem::path& Folder() const override { return folder_; }
  TIniFile& ini() override { return ini_; }
  TSharedStrings& codesl() override { return codesl_; }
  const TIniFile* slweiterleitung() const override { return weiterleitung_.get(); }
  std::string oltname() const override { return "OLT Test"; }
  std::unique_ptr<Sulvane::Firedac::TFDConnection> createconnection() override {
    if (params_.empty()) throw std::runtime_error("FakeService: keine Datenbank");
    auto connection = std::make_unique<Sulvane::Firedac::TFDConnection>();
    connection->SetParams(params_);
    connection->Open();
    return connection;
  }

  // Forwarding mode with the folder's weiterleitung.ini.
  void SetWeiterleitung() {
    weiterleitung_ = std::make_unique<TIniFile>(folder_ / "weiterleitung.ini");
  }
  std::vector<std::string> Log() const {
    std::lock_guard lock(lock_);
    return log_;
  }
  std::vector<std::string> Telegrams() const {
    std::lock_guard lock(lock_);
    return telegrams_;
  }

 private:
  std::filesystem::path folder_;
  TIniFile ini_;
  std::vector<std::string> params_;
  TSharedStrings codesl_;
  std::unique_ptr<TIniFile> weiterleitung_;
  mutable std::mutex lock_;
  std::vector<std::string> log_;
  std::vector<std::string> telegrams_;
  TServiceRegistration registration_{*this};
};

}  // namespace testsupport
