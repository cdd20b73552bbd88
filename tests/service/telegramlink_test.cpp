// The telegram link against the simulated VUX server over loopback.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>
#include <tuple>

#include "lib/vuxcrypto.hpp"
#include "service/telegramframe.hpp"
#include "support/runningservice.hpp"
#include "support/tcprelay.hpp"

using namespace std::chrono_literals;
using testing::Contains;
using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::Not;
using testsupport::LogEntries;
using testsupport::TestDatabase;

namespace {

std::string Frame(const std::string& telegram) {
  return MakeFrame(
      Sulvane::VUXCrypto::AES::EncryptText(telegram, Sulvane::VUXCrypto::AES::kTelegramPassphrase));
}

const std::string kAck(1, ACK);

// A started service whose link points at `port` on `host`.
struct LinkedService : testsupport::RunningService {
  LinkedService(unsigned short port, std::chrono::milliseconds rectimer = 20000ms,
                std::chrono::milliseconds tcptimer = 122000ms,
                const std::string& host = "127.0.0.1")
      : RunningService({.rectimer = rectimer,
                        .tcptimer = tcptimer,
                        .simulator = false,
                        .link_host = host,
                        .link_port = port}) {}
  bool WaitForLog(const std::string& entry) {
    return testsupport::WaitForEntry(home.Log(), entry, 10s);
  }
};

// Sends a last telegram whose answer proves that everything before it was
// handled, and gives what the simulator received up to that answer.
std::vector<std::string> Settle(TVuxSimulator& sim) {
  sim.Send("EINSATZ|NEW|999999");
  EXPECT_TRUE(sim.WaitForTelegram("EINSATZ|UPDATE|999999"));
  auto received = sim.Received();
  received.pop_back();
  return received;
}

// The link is up once the service has announced itself on it.
void WaitConnected(TVuxSimulator& sim) {
  ASSERT_TRUE(sim.WaitForClients(1));
  ASSERT_TRUE(sim.WaitForTelegram("UPDATE|OLTAKTIV"));
  sim.ClearReceived();
}

unsigned short FreePort() {
  TVuxSimulator probe({});
  return probe.Port();
}

}  // namespace

TEST(TelegramLink, PollIsAnsweredOncePerChunkBeforeItsFrames) {
  TVuxSimulator sim({});
  LinkedService linked(sim.Port());
  WaitConnected(sim);
  sim.SendRaw(std::string(1, ENQ) + Frame("EINSATZ|NEW|1") + std::string(2, ENQ));
  ASSERT_TRUE(sim.WaitForTelegram("EINSATZ|UPDATE|1"));
  sim.SendRaw(std::string(3, ENQ));
  EXPECT_THAT(Settle(sim), ElementsAre(kAck, "EINSATZ|UPDATE|1", kAck));
}

TEST(TelegramLink, FramesAreCutFromChunksInOrder) {
  TVuxSimulator sim({});
  LinkedService linked(sim.Port());
  WaitConnected(sim);
  const std::string one = Frame("EINSATZ|NEW|1"), two = Frame("EINSATZ|NEW|2");
  // Two frames with noise around them in one chunk.
  sim.SendRaw("noise" + one + "\x03junk" + two + "tail");
  ASSERT_TRUE(sim.WaitForTelegram("EINSATZ|UPDATE|2"));
  // A frame split over two chunks is handled once, when it is whole.
  const std::string three = Frame("EINSATZ|NEW|3");
  sim.SendRaw(three.substr(0, 10));
  std::this_thread::sleep_for(150ms);
  sim.SendRaw(three.substr(10));
  ASSERT_TRUE(sim.WaitForTelegram("EINSATZ|UPDATE|3"));
  EXPECT_THAT(Settle(sim), ElementsAre("EINSATZ|UPDATE|1", "EINSATZ|UPDATE|2", "EINSATZ|UPDATE|3"));
}

TEST(TelegramLink, UndecryptableFrameEndsItsChunkOnly) {
  TVuxSimulator sim({});
  LinkedService linked(sim.Port());
  WaitConnected(sim);
  sim.SendRaw(Frame("EINSATZ|NEW|1") + MakeFrame("kein-base64") + Frame("EINSATZ|NEW|2"));
  ASSERT_TRUE(sim.WaitForTelegram("EINSATZ|UPDATE|1"));
  EXPECT_THAT(Settle(sim), ElementsAre("EINSATZ|UPDATE|1"));
}

TEST(TelegramLink, RefusedConnectionIsLoggedAndRetriedByTheTimer) {
  const unsigned short port = FreePort();
  LinkedService linked(port, 200ms);
  EXPECT_TRUE(
      linked.WaitForLog("FEHLER    | TCP Error (Code" + std::to_string(ECONNREFUSED) + ")"));
  // Sent while down: lost without notice.
  linked.service->sendtelegramm("UPDATE|VERLOREN");

  TVuxSimulator sim({.Port = port});
  WaitConnected(sim);  // the next tick connects
  EXPECT_THAT(Settle(sim), Not(Contains("UPDATE|VERLOREN")));
}

TEST(TelegramLink, ClosedByTheServerThenReconnected) {
  TVuxSimulator sim({});
  LinkedService linked(sim.Port(), 200ms);
  WaitConnected(sim);
  sim.DisconnectClients();
  EXPECT_TRUE(linked.WaitForLog("Hinweis   | Getrennt von VUX-Server"));
  ASSERT_TRUE(sim.WaitForClients(1));
  EXPECT_THAT(Settle(sim), ElementsAre());
}

TEST(TelegramLink, SilentServerIsResetByTheHeartbeatTimer) {
  const std::string reset =
      "Hinweis   | Verbindung zu VUX-Server wegen ausbleibender Lebenszeichentelegramm resetet.";
  {
    TVuxSimulator sim({.PollInterval = 50ms});
    LinkedService linked(sim.Port(), 20000ms, 600ms);
    ASSERT_TRUE(sim.WaitForClients(1));
    std::this_thread::sleep_for(1500ms);
    EXPECT_THAT(LogEntries(linked.home.Log()), Not(Contains(reset))) << "polls keep it alive";
  }
  TVuxSimulator sim({});
  LinkedService linked(sim.Port(), 20000ms, 300ms);
  EXPECT_TRUE(linked.WaitForLog(reset));
  ASSERT_TRUE(sim.WaitForClients(1)) << "a new connection replaces the silent one";
}

// --- dispatch ----------------------------------------------------------------

TEST(TelegramDispatch, TelegramsAndTheirAnswers) {
  TVuxSimulator sim({});
  LinkedService linked(sim.Port());
  WaitConnected(sim);
  Sulvane::VUXDatenbank::TVUXDatabaseConnectionInfo elsewhere;
  elsewhere.ServerName = "10.9.9.9";
  const auto params = linked.service->DatabaseParams();
  struct {
    std::string telegram;
    std::vector<std::string> answers;
  } cases[] = {
      {"EINSATZ|NEW|4711", {"EINSATZ|UPDATE|4711"}},
      {"EINSATZ|NEW|4711|mehr", {"EINSATZ|UPDATE|4711"}},  // extra fields are ignored
      {"EINSATZ|UPDATE|4711", {}},
      {"EINSATZ|UPDATE", {}},  // no number: swallowed
      {"EINSATZ|NEW", {}},
      {"EINSATZ|OLT_WL|4711", {}},  // the hand-over answers for itself
      {"einsatz|NEW|4711", {}},
      {"EINSATZ|new|4711", {}},
      {"UPDATE|EMITTEL|RK 1", {}},
      {"EINSATZ", {}},  // no field 1: ends the chunk with an error
      {"", {}},
      // While the database is connected KONFIG is only answered.
      {TVuxSimulator::KonfigTelegram(elsewhere),
       {"KONFIG|PROGRAMM|VUXCLIENTSTD", "KONFIG|USER|VUXCLIENTSTD"}},
  };
  for (const auto& c : cases) {
    sim.ClearReceived();
    sim.Send(c.telegram);
    EXPECT_THAT(Settle(sim), ElementsAreArray(c.answers)) << "telegram: " << c.telegram;
  }
  EXPECT_EQ(linked.service->DatabaseParams(), params);
  EXPECT_THAT(LogEntries(linked.home.Log()), Not(Contains(testing::StartsWith("FEHLER"))))
      << "the incident actions swallow their errors without a log line";
}

TEST(TelegramDispatch, KonfigConnectsADownDatabaseToTheLinksHostWithTls) {
  // The announced database is "localhost" on the default port: the service
  // goes to the VUX server's host instead, 127.0.0.2 here, where a relay on
  // port 3306 leads to the test database.
  std::unique_ptr<testsupport::TcpRelay> relay;
  try {
    relay = std::make_unique<testsupport::TcpRelay>("127.0.0.2", 3306, "127.0.0.1",
                                                    TestDatabase::Port());
  } catch (const std::exception& e) {
    GTEST_SKIP() << "127.0.0.2:3306 not available: " << e.what();
  }
  TVuxSimulator sim({.Host = "127.0.0.2"});
  LinkedService linked(sim.Port(), 20000ms, 122000ms, "127.0.0.2");
  WaitConnected(sim);
  Toltsrv& service = *linked.service;
  linked.db.Exec("KILL " + service.RunOnServiceLoop([&] {
    Sulvane::Firedac::TFDQuery q(service.database());
    q.SQL = {"SELECT CONNECTION_ID()"};
    q.Open();
    return q.Fields(0).AsString();
  }));

  Sulvane::VUXDatenbank::TVUXDatabaseConnectionInfo info;
  info.ServerName = "localhost";
  info.ServerPort = 4711;      // not used
  info.SSLConnection = false;  // TLS all the same
  info.DatabaseName = linked.db.Name();
  info.Username = "root";
  info.Password = TestDatabase::Password();
  sim.SendKonfig(info);
  EXPECT_THAT(Settle(sim), ElementsAre("KONFIG|PROGRAMM|VUXCLIENTSTD", "KONFIG|USER|VUXCLIENTSTD"));

  EXPECT_EQ(
      service.DatabaseParams(),
      (std::vector<std::string>{"DriverID=MySQL", "Protocol=TCPIP", "CharacterSet=utf8", "UseTLS=1",
                                "Database=" + linked.db.Name(), "Server=127.0.0.2",
                                "User_Name=root", "Password=" + TestDatabase::Password()}));
  const auto [connected, cipher, database] = service.RunOnServiceLoop([&] {
    const bool up = service.database().Connected();
    Sulvane::Firedac::TFDQuery q(service.database());
    q.SQL = {"SHOW SESSION STATUS LIKE 'Ssl_cipher'"};
    q.Open();
    const std::string ssl = q.Fields(1).AsString();
    q.SQL = {"SELECT DATABASE()"};
    q.Open();
    return std::make_tuple(up, ssl, q.Fields(0).AsString());
  });
  ASSERT_TRUE(connected);
  EXPECT_FALSE(cipher.empty()) << "the connection is encrypted";
  EXPECT_EQ(database, linked.db.Name());
  const auto log = LogEntries(linked.home.Log());
  EXPECT_EQ(std::count(log.begin(), log.end(), "Hinweis   | Verbunden mit Datenbank."), 2)
      << "the after-connect handler ran for the new connection";
}
