#include "service/mdlserver.hpp"

#include <unistd.h>

#include <boost/asio/post.hpp>
#include <iostream>

#include "soap/statussweep.hpp"

using Sulvane::Firedac::execsql;
using Sulvane::Firedac::QuotedStr;
using Sulvane::Firedac::TFDConnection;

Toltsrv* oltsrv = nullptr;

namespace {

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "localhost";
  return name;
}

// The interface columns the service needs on top of the dispatch product's
// tables, then the option row that marks them as present.
constexpr const char* kUpgradeStatements[] = {
    "ALTER TABLE EINSAETZE  ADD EINSATZSTICHWORT1 VARCHAR(100), ADD EINSATZSTICHWORT2 "
    "VARCHAR(100), ADD EINSATZSTICHWORT3 VARCHAR(100), ADD EINSATZSTICHWORT4 VARCHAR(100), ADD "
    "FREITEXT VARCHAR(4000), ADD ABSCHLUSSWORT VARCHAR(100), ADD EINSATZNR VARCHAR(25),  ADD "
    "OLT_CREATED INTEGER DEFAULT 1,  ADD BACKTOILS INTEGER, ADD  OLT_STATUS VARCHAR(1);",
    "ALTER TABLE RUECKMELDUNGEN  ADD ELDIS_ID BIGINT;",
    "ALTER TABLE PATIENTEN  ADD ELDIS_ID BIGINT;",
    "INSERT INTO OPTIONEN (NAME,WERT,VISIBLE) VALUES ('OLT_VERSION','0.9',0)",
};

}  // namespace

Toltsrv::Toltsrv(TServiceOptions options)
    : ini(options.Folder / "olt.ini"),
      tcpclient(
          serviceloop_,
          {[this] { tcpclientConnect(); }, [this](std::string_view chunk) { tcpclientRead(chunk); },
           [this] { tcpclientDisconnect(); }, [this](int code) { tcpclientError(code); }}),
      folder_(std::move(options.Folder)),
      rectimer_interval_(options.RectimerInterval),
      tcptimer_interval_(options.TcptimerInterval),
      mainwork_(mainloop_.get_executor()),
      servicework_(serviceloop_.get_executor()),
      rectimer_(mainloop_),
      tcptimer_(serviceloop_),
      started_future_(started_.get_future().share()) {
  if (options.Clock) LogFileSys.SetClock(std::move(options.Clock));
  https.SetLimits(options.HttpLimits);
  https.SetHandler([this](const THttpRequest& request) { return httpsCommandGet(request); });
  https.SetAfterBind([this] { httpsAfterBind(); });
  https.SetQuerySSLPort([this](unsigned short port) { return httpsQuerySSLPort(port); });
  database.SetAfterConnect([this](TFDConnection& sender) { databaseAfterConnect(sender); });
  oltsrv = this;
}

Toltsrv::~Toltsrv() {
  Stop();
  if (oltsrv == this) oltsrv = nullptr;
}

void Toltsrv::Start() {
  mainthread_ = std::thread([this] { mainloop_.run(); });
  mainloop_running_ = true;
  boost::asio::post(mainloop_, [this] { ArmRectimer(); });
  servicethread_ = std::thread([this] {
    boost::asio::post(serviceloop_, [this] { started_.set_value(ServiceStart()); });
    serviceloop_.run();
  });
}

bool Toltsrv::WaitStarted() { return started_future_.get(); }

void Toltsrv::Stop() {
  // The HTTP and service threads first: while they finish, the main loop
  // still takes their log lines.
  https.Stop();
  servicework_.reset();
  serviceloop_.stop();
  if (servicethread_.joinable()) servicethread_.join();
  mainloop_running_ = false;
  mainwork_.reset();
  mainloop_.stop();
  if (mainthread_.joinable()) mainthread_.join();
}

void Toltsrv::ApplicationError(const std::exception& e) {
  std::cerr << "oltsrv: " << e.what() << std::endl;
}

// --- start-up ---------------------------------------------------------------

bool Toltsrv::ServiceStart() {
  // The log first: every later failure is reported there. A "Logs" folder that
  // cannot be made is reported by the log's own opening.
  std::error_code ignored;
  std::filesystem::create_directories(folder_ / "Logs", ignored);
  LogFileSys.SetFolderOldLogFiles((folder_ / "Logs").string());
  LogFileSys.SetRotateLogFileDaily(true);
  LogFileSys.SetRotateLogFileAtStart(true);
  try {
    StartUp();
    return true;
  } catch (const std::exception& e) {
    try {
      LogFileSys.Add(0, "OLT Schnittstelle konnte nicht gestartet werden! (%s)", {e.what()});
    } catch (const std::exception&) {
      // The log itself cannot be opened: only the host can report it.
    }
    ApplicationError(e);
    return false;
  }
}

void Toltsrv::StartUp() {
  LogFileSys.Open((folder_ / "olt-schnittstelle.log").string(), 7);
  LogFileSys.Add(
      5, std::string("OLT-Schnittstelle (V ") + kVersion + ") wird gestartet, bitte warten...");

  oltname = ini.ReadString("OLT", "Name", HostName());

  std::vector<std::string> params = {
      "DriverID=MySQL",
      "Protocol=TCPIP",
      "Database=" + ini.ReadString("Database", "Database", "VUXdb"),
      "Server=" + ini.ReadString("Database", "Hostname", "127.0.0.1"),
      "User_Name=" + ini.ReadString("Database", "User", "root"),
      "Password=" + ini.ReadString("Database", "Passwort", "MOR"),
  };
  // Only with the key: without it the driver's default port applies.
  if (ini.ValueExists("Database", "Port"))
    params.push_back("Port=" + std::to_string(ini.ReadInteger("Database", "Port", 3306)));
  database.SetParams(std::move(params));
  {
    auto lock = LockDatabase();
    database.Open();
  }

  // The link connects in the background; its outcome arrives as events.
  tcpclient.SetHost(ini.ReadString("VUX-Server", "Host", "127.0.0.1"));
  tcpclient.SetPort(static_cast<unsigned short>(ini.ReadInteger("VUX-Server", "Port", 2200)));
  tcpclient.Activate();

  https.SetCertificateFiles(folder_ / "olt.cer", folder_ / "olt.key");
  https.SetTLS(ini.ReadBool("Server", "SSL", true));
  https.SetDefaultPort(static_cast<unsigned short>(ini.ReadInteger("Server", "WS-Port", 443)));
  https.Activate();

  codesl.Set(LoadStringsFromFile(folder_ / "oltfelder.dat"));

  if (std::filesystem::exists(folder_ / "weiterleitung.ini")) {
    weiterleitung = true;
    slweiterleitung = std::make_unique<TIniFile>(folder_ / "weiterleitung.ini");
    LogFileSys.Add(5, "Weiterleitungsmodus aktiv");
  }

  LogFileSys.Add(
      5, "OLT Schnittstelle gestartet auf Port: " + ini.ReadString("Server", "WS-Port", "443"));
}

// --- database ---------------------------------------------------------------

void Toltsrv::databaseAfterConnect(TFDConnection&) {
  LogFileSys.Add(5, "Verbunden mit Datenbank.");
  query.SQL = {"SELECT WERT FROM OPTIONEN WHERE NAME = " + QuotedStr("OLT_VERSION")};
  query.Open();
  if (query.Eof()) {
    try {
      for (const char* statement : kUpgradeStatements) execsql(database, statement);
    } catch (const std::exception& e) {
      LogFileSys.Add(
          3, std::string("Fehler beim Erweitern der Datenbank auf OLT-Felder: ") + e.what());
    }
  }
  query.Close();
  checkeinsaetze("");
}

std::unique_ptr<TFDConnection> Toltsrv::createconnection() {
  auto connection = std::make_unique<TFDConnection>();
  connection->SetParams(database.Params());
  connection->Open();
  return connection;
}

// --- reconnect timer --------------------------------------------------------

void Toltsrv::ArmRectimer() {
  rectimer_.expires_after(rectimer_interval_);
  rectimer_.async_wait([this](const boost::system::error_code& ec) {
    if (ec) return;
    try {
      rectimerTimer();
    } catch (const std::exception& e) {
      ApplicationError(e);
    }
    ArmRectimer();
  });
}

void Toltsrv::rectimerTimer() {
  if (!tcpclient.Active()) tcpclient.Activate();
  // A thread that holds the connection is using it, which is as good as
  // connected; waiting for it here could deadlock with that thread's log
  // lines, which this thread writes.
  std::unique_lock lock(databaselock_, std::try_to_lock);
  if (!lock) return;
  // Nothing to reopen before the start-up has set the parameters.
  if (database.Params().empty()) return;
  if (!database.Connected()) database.Open();
}

// --- log hand-off -----------------------------------------------------------

void Toltsrv::addlogsync(const std::string& logtext) {
  const int level = !logtext.empty() && logtext.front() == ' ' ? 6 : 3;
  const auto write = [this, level, logtext] {
    try {
      LogFileSys.Add(level, logtext);
    } catch (const std::exception& e) {
      ApplicationError(e);
    }
  };
  if (mainloop_.get_executor().running_in_this_thread() || !mainloop_running_ ||
      mainloop_.stopped()) {
    write();
    return;
  }
  // Whoever takes the line writes it: the main loop, or this thread when the
  // main loop has stopped before it got there.
  struct THandOff {
    std::atomic<bool> taken{false};
    std::promise<void> done;
  };
  auto handoff = std::make_shared<THandOff>();
  std::future<void> done = handoff->done.get_future();
  boost::asio::post(mainloop_, [handoff, write] {
    if (!handoff->taken.exchange(true)) write();
    handoff->done.set_value();
  });
  while (done.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
    if (mainloop_.stopped() && !handoff->taken.exchange(true)) {
      write();
      return;
    }
  }
}
