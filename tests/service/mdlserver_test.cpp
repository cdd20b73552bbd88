#include "service/mdlserver.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "support/logfile.hpp"
#include "support/runningservice.hpp"
#include "support/servicehome.hpp"
#include "support/testdb.hpp"

using namespace std::chrono_literals;
using testing::Contains;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::Not;
using testsupport::LogEntries;
using testsupport::ServiceHome;
using testsupport::TestDatabase;

namespace {

const std::string kStartLine =
    "Hinweis   | OLT-Schnittstelle (V 2.3.1) wird gestartet, bitte warten...";
const std::string kConnected = "Hinweis   | Verbunden mit Datenbank.";

TServiceOptions OptionsFor(const ServiceHome& home,
                           std::chrono::milliseconds rectimer = std::chrono::milliseconds(20000)) {
  TServiceOptions options;
  options.Folder = home.Folder();
  options.RectimerInterval = rectimer;
  return options;
}

// The log without the lines of the telegram link, which connects in the background.
std::vector<std::string> ServiceLog(const ServiceHome& home) {
  auto log = LogEntries(home.Log());
  std::erase_if(log, testsupport::IsLinkError);
  return log;
}

std::string ListenLine(const std::vector<std::string>& log) {
  for (const auto& e : log)
    if (e.starts_with("Hinweis   | Listen on Port ")) return e;
  return "no listen line";
}

std::vector<std::string> Columns(TestDatabase& db, const std::string& table) {
  std::vector<std::string> names;
  for (const auto& row : db.Rows("SELECT COLUMN_NAME FROM information_schema.COLUMNS WHERE "
                                 "TABLE_SCHEMA = DATABASE() AND TABLE_NAME = '" +
                                 table + "' ORDER BY ORDINAL_POSITION"))
    names.push_back(row[0]);
  return names;
}

bool Started(const ServiceHome& home, std::chrono::milliseconds rectimer = 20000ms) {
  Toltsrv service(OptionsFor(home, rectimer));
  service.Start();
  return service.WaitStarted();
}

}  // namespace

TEST(ServiceStart, FirstConnectUpgradesTheSchemaOnceAndStarts) {
  TestDatabase db;
  ServiceHome home(&db);
  home.Set("Server", "WS-Port", "0x20FB");
  ASSERT_TRUE(Started(home));

  const auto einsaetze = Columns(db, "EINSAETZE");
  for (const char* column :
       {"EINSATZSTICHWORT1", "EINSATZSTICHWORT2", "EINSATZSTICHWORT3", "EINSATZSTICHWORT4",
        "FREITEXT", "ABSCHLUSSWORT", "EINSATZNR", "OLT_CREATED", "BACKTOILS", "OLT_STATUS"})
    EXPECT_THAT(einsaetze, Contains(column));
  EXPECT_THAT(Columns(db, "RUECKMELDUNGEN"), Contains("ELDIS_ID"));
  EXPECT_THAT(Columns(db, "PATIENTEN"), Contains("ELDIS_ID"));
  EXPECT_EQ(db.Rows("SELECT NAME, WERT, VISIBLE FROM OPTIONEN"),
            (std::vector<std::vector<std::string>>{{"OLT_VERSION", "0.9", "0"}}));
  EXPECT_EQ(db.Value("SELECT COLUMN_DEFAULT FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = "
                     "DATABASE() AND TABLE_NAME = 'EINSAETZE' AND COLUMN_NAME = 'OLT_CREATED'"),
            "1");
  // The upgrade itself is silent; the port is shown as written in olt.ini.
  auto log = ServiceLog(home);
  EXPECT_THAT(log, ElementsAre(kStartLine, kConnected, "Hinweis   | Listen on Port 8443",
                               "Hinweis   | OLT Schnittstelle gestartet auf Port: 0x20FB"));

  // The second start finds the option row and leaves the schema alone.
  const auto before = Columns(db, "EINSAETZE");
  ASSERT_TRUE(Started(home));
  EXPECT_EQ(Columns(db, "EINSAETZE"), before);
  EXPECT_EQ(db.Value("SELECT COUNT(*) FROM OPTIONEN"), "1");
  EXPECT_THAT(ServiceLog(home),
              ElementsAre(kStartLine, kConnected, "Hinweis   | Listen on Port 8443",
                          "Hinweis   | OLT Schnittstelle gestartet auf Port: 0x20FB"))
      << "the first run's log was rotated away at the second start";
}

TEST(ServiceStart, FailedUpgradeIsLoggedAndRetriedAtEveryConnect) {
  TestDatabase db;
  db.Exec("ALTER TABLE EINSAETZE ADD EINSATZNR VARCHAR(25)");
  ServiceHome home(&db);
  for (int start = 0; start < 2; ++start) {
    ASSERT_TRUE(Started(home)) << "start " << start;
    const auto log = ServiceLog(home);
    EXPECT_THAT(log,
                ElementsAre(kStartLine, kConnected,
                            "FEHLER    | Fehler beim Erweitern der Datenbank auf OLT-Felder: "
                            "Duplicate column name 'EINSATZNR'",
                            ListenLine(log), "Hinweis   | OLT Schnittstelle gestartet auf Port: 0"))
        << "start " << start;
    EXPECT_EQ(db.Value("SELECT COUNT(*) FROM OPTIONEN"), "0");
  }
}

TEST(ServiceStart, FailuresStopTheStartAtLevelEmergency) {
  TestDatabase db;
  struct {
    std::string name;
    bool database_up, field_maps;
    std::string want;
  } cases[] = {
      {"database unreachable", false, true,
       "EMERGENCY | OLT Schnittstelle konnte nicht gestartet werden! (Can't connect to server on "
       "'127.0.0.1' ("},
      {"no oltfelder.dat", true, false,
       "EMERGENCY | OLT Schnittstelle konnte nicht gestartet werden! (Datei "},
  };
  for (const auto& c : cases) {
    ServiceHome home(&db, c.field_maps);
    if (!c.database_up) home.Set("Database", "Port", "1");
    EXPECT_FALSE(Started(home)) << c.name;
    const auto log = ServiceLog(home);
    ASSERT_FALSE(log.empty()) << c.name;
    EXPECT_EQ(log.front(), kStartLine) << c.name;
    EXPECT_THAT(log.back(), testing::StartsWith(c.want)) << c.name;
    EXPECT_THAT(log, Not(Contains(HasSubstr("gestartet auf Port")))) << c.name;
  }
}

TEST(ServiceStart, DefaultsWithoutOltIni) {
  ServiceHome home;
  Toltsrv service(OptionsFor(home));
  service.Start();
  service.WaitStarted();  // VUXdb on 127.0.0.1:3306 as root/MOR is not there
  EXPECT_EQ(service.DatabaseParams(),
            (std::vector<std::string>{"DriverID=MySQL", "Protocol=TCPIP", "Database=VUXdb",
                                      "Server=127.0.0.1", "User_Name=root", "Password=MOR"}));
  EXPECT_FALSE(service.weiterleitung());
  EXPECT_TRUE(std::filesystem::is_directory(home / "Logs"));
}

TEST(ServiceStart, ForwardingModeAndCentreName) {
  TestDatabase db;
  ServiceHome home(&db);
  home.Set("OLT", "Name", "OLT Musterkreis");
  testsupport::WriteFile(home / "weiterleitung.ini", "[PLZ]\r\n");
  Toltsrv service(OptionsFor(home));
  service.Start();
  ASSERT_TRUE(service.WaitStarted());
  EXPECT_TRUE(service.weiterleitung());
  ASSERT_NE(service.slweiterleitung(), nullptr);
  EXPECT_EQ(service.slweiterleitung()->FileName(), home / "weiterleitung.ini");
  EXPECT_EQ(service.oltname(), "OLT Musterkreis");
  EXPECT_THAT(ServiceLog(home), Contains("Hinweis   | Weiterleitungsmodus aktiv"));
  EXPECT_EQ(*service.codesl().Get(), LoadStringsFromFile(home / "oltfelder.dat"));
}

TEST(Rectimer, ReopensALostMainConnection) {
  testsupport::RunningService running({.rectimer = 100ms, .simulator = false});
  Toltsrv& service = *running.service;
  const ServiceHome& home = running.home;

  const std::string id = service.RunOnServiceLoop([&] {
    Sulvane::Firedac::TFDQuery q(service.database());
    q.SQL = {"SELECT CONNECTION_ID()"};
    q.Open();
    return q.Fields(0).AsString();
  });
  running.db.Exec("KILL " + id);
  EXPECT_TRUE(testsupport::WaitForLog(home.Log(), [&](const std::string&) {
    const auto log = LogEntries(home.Log());
    return std::count(log.begin(), log.end(), kConnected) == 2;
  })) << "the timer reconnects and the after-connect handler runs again";
  EXPECT_TRUE(service.RunOnServiceLoop([&] { return service.database().Connected(); }));
}

TEST(Addlogsync, LevelFollowsTheLeadingBlank) {
  testsupport::RunningService running({.simulator = false});
  Toltsrv& service = *running.service;
  // From threads other than the main thread, as the request handlers do.
  std::thread([&] {
    service.addlogsync(" Einsatz angelegt: 17");
    service.addlogsync("/opt/olt/Fehler bei Einsatzweiterleiten: x");
    service.addlogsync("");
  }).join();
  const auto log = ServiceLog(running.home);
  ASSERT_GE(log.size(), 3u);
  EXPECT_THAT(
      std::vector<std::string>(log.end() - 3, log.end()),
      ElementsAre("Info      |  Einsatz angelegt: 17",
                  "FEHLER    | /opt/olt/Fehler bei Einsatzweiterleiten: x", "FEHLER    | "));
}

TEST(Createconnection, CopiesTheMainConnectionsParameters) {
  testsupport::RunningService running({.simulator = false});
  auto connection = running.service->createconnection();
  Sulvane::Firedac::TFDQuery q(*connection);
  q.SQL = {"SELECT DATABASE()"};
  q.Open();
  EXPECT_EQ(q.Fields(0).AsString(), running.db.Name());
  EXPECT_EQ(ServiceLog(running.home).size(), 4u) << "no after-connect handler on own connections";
}

// --- threads -----------------------------------------------------------------

const std::string kUnknownRequest =
    "<?xml version=\"1.0\"?><soap:Envelope "
    "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body><Ping/></soap:Body>"
    "</soap:Envelope>";

TEST(Threads, ARequestIsAnsweredWhileTheServiceThreadIsBusy) {
  testsupport::RunningService running({.simulator = false});
  Toltsrv& service = *running.service;
  std::promise<void> entered;
  std::atomic<bool> released{false};
  // A slow job on the service thread, as a reconnect that waits for the
  // database server would be.
  std::thread busy([&] {
    service.RunOnServiceLoop([&] {
      entered.set_value();
      std::this_thread::sleep_for(3s);
      released = true;
    });
  });
  entered.get_future().wait();
  const std::size_t mark = running.LogMark();
  const std::string reply = running.Post(kUnknownRequest);
  const bool answered_while_busy = !released;
  busy.join();
  EXPECT_TRUE(answered_while_busy) << "the request waited for the service thread";
  EXPECT_THAT(reply, HasSubstr("<Success xmlns=\"\">false</Success>"));
  EXPECT_THAT(running.LogSince(mark),
              Contains("Info      |  Verarbeite: " + kUnknownRequest + "<CR><LF>"));
}

// Requests, telegrams and the reconnect timer at once: what the TSan build
// checks for races between the threads.
TEST(Threads, RequestsTelegramsAndTimerTogether) {
  testsupport::RunningService running({.rectimer = 20ms});
  TVuxSimulator& sim = *running.sim;
  std::atomic<bool> stop{false};
  std::thread telegrams([&] {
    for (int i = 0; !stop; ++i) {
      sim.Send("EINSATZ|NEW|" + std::to_string(i));
      sim.SendRaw(std::string(1, ENQ));
      std::this_thread::sleep_for(2ms);
    }
  });
  for (int i = 0; i < 20; ++i)
    EXPECT_THAT(running.Post(kUnknownRequest), HasSubstr("<Success xmlns=\"\">false</Success>"));
  stop = true;
  telegrams.join();
  EXPECT_TRUE(sim.WaitForTelegram("EINSATZ|UPDATE|0"));
  EXPECT_THAT(running.Errors(), testing::IsEmpty());
}
