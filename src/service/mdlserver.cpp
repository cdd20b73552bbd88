#include "service/mdlserver.hpp"

#include <unistd.h>

#include <boost/asio/post.hpp>
#include <iostream>

#include "soap/reporting/statussweep.hpp"

using Sulvane::Firedac::execsql;
using Sulvane::Firedac::QuotedStr;
using Sulvane::Firedac::TFDConnection;

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
    : folder_(std::move(options.Folder)),
      ini_(folder_ / "olt.ini"),
      rectimer_interval_(options.RectimerInterval),
      tcptimer_interval_(options.TcptimerInterval),
      servicework_(serviceloop_.get_executor()),
      reportwork_(reportloop_.get_executor()),
      rectimer_(serviceloop_),
      tcptimer_(serviceloop_),
      tcpclient_(
          serviceloop_,
          {[this] { tcpclientConnect(); }, [this](std::string_view chunk) { tcpclientRead(chunk); },
           [this] { tcpclientDisconnect(); }, [this](int code) { tcpclientError(code); }}),
      started_future_(started_.get_future().share()) {
  if (options.Clock) LogFileSys.SetClock(std::move(options.Clock));
  https_.SetLimits(options.HttpLimits);
  https_.SetHandler([this](const THttpRequest& request) { return httpsCommandGet(request); });
  https_.SetAfterBind([this] { httpsAfterBind(); });
  https_.SetQuerySSLPort([this](unsigned short port) { return httpsQuerySSLPort(port); });
  database_.SetAfterConnect([this](TFDConnection& sender) { databaseAfterConnect(sender); });
  registration_.emplace(*this);
}

Toltsrv::~Toltsrv() { Stop(); }

void Toltsrv::Start() {
  reportthread_ = std::thread([this] { reportloop_.run(); });
  servicethread_ = std::thread([this] {
    // The timer runs from the start on; its first tick comes after ServiceStart.
    boost::asio::post(serviceloop_, [this] {
      ArmRectimer();
      started_.set_value(ServiceStart());
    });
    serviceloop_.run();
  });
}

bool Toltsrv::WaitStarted() { return started_future_.get(); }

void Toltsrv::Stop() {
  // The producers first: requests, then telegrams and timers, then the
  // reports they queued.
  https_.Stop();
  servicework_.reset();
  serviceloop_.stop();
  if (servicethread_.joinable()) servicethread_.join();
  reportwork_.reset();
  reportloop_.stop();
  if (reportthread_.joinable()) reportthread_.join();
}

void Toltsrv::ApplicationError(const std::exception& e) {
  std::cerr << "oltsrv: " << e.what() << std::endl;
}

void Toltsrv::RequireServiceThread() {
  if (!serviceloop_.get_executor().running_in_this_thread())
    throw std::logic_error("Die Hauptverbindung gehört dem Dienst-Thread.");
}

TFDConnection& Toltsrv::database() {
  RequireServiceThread();
  return database_;
}

void Toltsrv::PostReport(std::function<void()> job) {
  boost::asio::post(reportloop_, [job = std::move(job)] {
    try {
      job();
    } catch (const std::exception& e) {
      ApplicationError(e);
    }
  });
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

  oltname_ = ini_.ReadString("OLT", "Name", HostName());

  std::vector<std::string> params = {
      "DriverID=MySQL",
      "Protocol=TCPIP",
      "Database=" + ini_.ReadString("Database", "Database", "VUXdb"),
      "Server=" + ini_.ReadString("Database", "Hostname", "127.0.0.1"),
      "User_Name=" + ini_.ReadString("Database", "User", "root"),
      "Password=" + ini_.ReadString("Database", "Passwort", "MOR"),
  };
  // Only with the key: without it the driver's default port applies.
  if (ini_.ValueExists("Database", "Port"))
    params.push_back("Port=" + std::to_string(ini_.ReadInteger("Database", "Port", 3306)));
  database_.SetParams(std::move(params));
  database_.Open();

  // The link connects in the background; its outcome arrives as events.
  tcpclient_.SetHost(ini_.ReadString("VUX-Server", "Host", "127.0.0.1"));
  tcpclient_.SetPort(static_cast<unsigned short>(ini_.ReadInteger("VUX-Server", "Port", 2200)));
  tcpclient_.Activate();

  // What the requests read is in place before the endpoint takes the first.
  codesl_.Set(LoadStringsFromFile(folder_ / "oltfelder.dat"));
  if (std::filesystem::exists(folder_ / "weiterleitung.ini"))
    slweiterleitung_ = std::make_unique<const TIniFile>(folder_ / "weiterleitung.ini");

  https_.SetCertificateFiles(folder_ / "olt.cer", folder_ / "olt.key");
  https_.SetTLS(ini_.ReadBool("Server", "SSL", true));
  https_.SetDefaultPort(static_cast<unsigned short>(ini_.ReadInteger("Server", "WS-Port", 443)));
  https_.Activate();

  if (weiterleitung()) LogFileSys.Add(5, "Weiterleitungsmodus aktiv");

  LogFileSys.Add(
      5, "OLT Schnittstelle gestartet auf Port: " + ini_.ReadString("Server", "WS-Port", "443"));
}

// --- database ---------------------------------------------------------------

void Toltsrv::databaseAfterConnect(TFDConnection& sender) {
  LogFileSys.Add(5, "Verbunden mit Datenbank.");
  Sulvane::Firedac::TFDQuery query(sender);
  query.SQL = {"SELECT WERT FROM OPTIONEN WHERE NAME = " + QuotedStr("OLT_VERSION")};
  query.Open();
  if (query.Eof()) {
    try {
      for (const char* statement : kUpgradeStatements) execsql(sender, statement);
    } catch (const std::exception& e) {
      LogFileSys.Add(
          3, std::string("Fehler beim Erweitern der Datenbank auf OLT-Felder: ") + e.what());
    }
  }
  query.Close();
  // The sweep waits for the ILS: on the reporting thread, not here.
  PostReport([] { checkeinsaetze(""); });
}

std::unique_ptr<TFDConnection> Toltsrv::createconnection() {
  auto connection = std::make_unique<TFDConnection>();
  connection->SetParams(database_.Params());
  connection->Open();
  return connection;
}

// --- reconnect timer (service thread) ---------------------------------------

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
  if (!tcpclient_.Active()) tcpclient_.Activate();
  // Nothing to reopen before the start-up has set the parameters.
  if (database_.Params().empty()) return;
  if (!database_.Connected()) database_.Open();
}

// --- log --------------------------------------------------------------------

// The log file is safe from any thread: the line is written by the caller.
void Toltsrv::addlogsync(const std::string& logtext) {
  const int level = !logtext.empty() && logtext.front() == ' ' ? 6 : 3;
  try {
    LogFileSys.Add(level, logtext);
  } catch (const std::exception& e) {
    ApplicationError(e);
  }
}
