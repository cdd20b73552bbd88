// What the units outside the service module use of the running service:
// its log, its telegram link, its folder and settings, the incident field map,
// the forwarding table and new database connections.
//
// `Toltsrv` implements it; tests use a recording stand-in
// (tests/support/fakeservice.hpp). Every member may be called from any thread.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "lib/firedac.hpp"
#include "lib/inifile.hpp"
#include "lib/stringlist.hpp"

class TServiceContext {
 public:
  virtual ~TServiceContext() = default;

  // Writes a line to the log at once: level 6 when the text begins with a
  // blank, else level 3. Waits for no other thread.
  virtual void addlogsync(const std::string& logtext) = 0;
  // Sends one telegram to the VUX server; returns at once.
  virtual void sendtelegramm(const std::string& Text) = 0;
  // The folder of olt.ini, the log and every other file of the service.
  virtual const std::filesystem::path& Folder() const = 0;
  // olt.ini, read anew at every call.
  virtual TIniFile& ini() = 0;
  // The incident field map of oltfelder.dat.
  virtual TSharedStrings& codesl() = 0;
  // Forwarding mode: the table of weiterleitung.ini, or none.
  virtual const TIniFile* slweiterleitung() const = 0;
  // This centre's name, the Sender of outgoing SOAP messages.
  virtual std::string oltname() const = 0;
  // A new open connection with the main connection's current parameters.
  virtual std::unique_ptr<Sulvane::Firedac::TFDConnection> createconnection() = 0;
};

// The running service. Fails with "Kein Servicemodul" while none is
// registered: that is a programming error, not a state to handle.
TServiceContext& oltsrv();

// Registers a service as the process-wide one for the lifetime of this object.
class TServiceRegistration {
 public:
  explicit TServiceRegistration(TServiceContext& service);
  ~TServiceRegistration();
  TServiceRegistration(const TServiceRegistration&) = delete;
  TServiceRegistration& operator=(const TServiceRegistration&) = delete;

 private:
  TServiceContext* previous_;
};
