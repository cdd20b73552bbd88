// The SOAP endpoint as the ILS sees it: HTTPS on the service's port.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "soap/protocol/envelope.hpp"
#include "support/runningservice.hpp"

using namespace std::chrono_literals;
using testing::Contains;
using testing::HasSubstr;
using testsupport::HttpCall;
using testsupport::HttpOptions;
using testsupport::LogEntries;
using testsupport::ServiceHome;
using testsupport::TestDatabase;

namespace {

const std::string kStatusOk = "<h1>OLT-Schnittstelle VUX4</h1>\r<p>Verbindung ok.</p>";
const std::string kStatusDown =
    "<h1>OLT-Schnittstelle VUX4</h1>\r<p>Datenbankverbindung gestört.</p>";

// A started service with its endpoint on a free port; the test itself sees
// the link come up.
struct Endpoint : testsupport::RunningService {
  explicit Endpoint(bool tls = true, THttpsServer::TLimits limits = {})
      : RunningService({.tls = tls, .http_limits = limits, .wait_for_link = false}) {}
  std::string Url(bool tls = true) const { return RunningService::Url(tls, "/OltServiceOlt"); }
};

HttpOptions Get() {
  HttpOptions o;
  o.method = "GET";
  return o;
}

std::string Soap(const std::string& operation) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<soap:Envelope "
         "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">\n<soap:Body>\n<" +
         operation + " xmlns=\"http://tempuri.org/OltServiceOlt\"><Sender>ILS</Sender></" +
         operation + ">\n</soap:Body>\n</soap:Envelope>";
}

}  // namespace

TEST(Endpoint, ListensAnnouncesItselfAndSpeaksOnlyTls12) {
  Endpoint e;
  EXPECT_THAT(LogEntries(e.home.Log()),
              Contains("Hinweis   | Listen on Port " + std::to_string(e.service->BoundPort())));
  EXPECT_TRUE(e.sim->WaitForTelegram("UPDATE|OLTAKTIV"))
      << "announced as soon as the link is connected";

  struct {
    long version;
    bool accepted;
  } cases[] = {
      {CURL_SSLVERSION_TLSv1_2, true},
      {CURL_SSLVERSION_TLSv1_3, false},
      {CURL_SSLVERSION_TLSv1_1, false},
      {CURL_SSLVERSION_TLSv1_0, false},
  };
  for (const auto& c : cases) {
    HttpOptions o;
    o.method = "GET";
    o.tls_version = c.version;
    const auto r = HttpCall(e.Url(), o);
    EXPECT_EQ(r.code == CURLE_OK, c.accepted) << "version " << c.version << ": " << r.error;
    if (c.accepted) {
      EXPECT_EQ(r.body, kStatusOk);
    }
  }
}

TEST(Endpoint, StatusPageWithoutBodyShowsTheMainConnection) {
  Endpoint e;
  for (const char* method : {"GET", "POST"}) {
    HttpOptions o;
    o.method = method;
    const auto r = HttpCall(e.Url(), o);
    EXPECT_EQ(r.status, 200) << method;
    EXPECT_EQ(r.body, kStatusOk) << method;
  }
  // Lost, and not yet reopened by the timer.
  e.service->RunOnServiceLoop([&] { e.service->database().Close(); });
  HttpOptions o;
  o.body = "";
  EXPECT_EQ(HttpCall(e.Url(), o).body, kStatusDown) << "an empty body is no body";
}

TEST(Endpoint, SoapRepliesAre200WithSuccessFalseOnFailure) {
  Endpoint e;
  HttpOptions o;
  o.body = Soap("EinsatzmittelVerlegen");
  // The content type does not decide: the body does.
  o.content_type = "application/octet-stream";
  const auto r = HttpCall(e.Url(), o);
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.content_type, "text/xml; charset=utf-8");
  EXPECT_EQ(r.body, makesoapresponse("Keine ID gefunden.", "olt:EinsatzmittelVerlegenResponse"));

  o.body = "<a>keine SOAP-Anfrage</a>";
  EXPECT_EQ(HttpCall(e.Url(), o).body,
            makesoapresponse("Soap konnte nicht gelesen werden.", "olt:UnbekannteAnfrageResponse"));
}

TEST(Endpoint, LineBreaksReachTheDispatcherAsCrLf) {
  Endpoint e;
  HttpOptions o;
  o.body = "<a>\nb\r\nc\rd</a>";
  HttpCall(e.Url(), o);
  EXPECT_TRUE(testsupport::WaitForEntry(
      e.home.Log(), "Info      |  Verarbeite: <a><CR><LF>b<CR><LF>c<CR><LF>d</a><CR><LF>"));
}

TEST(Endpoint, PlainHttpWhenSslIsOff) {
  Endpoint e(false);
  EXPECT_EQ(HttpCall(e.Url(false), Get()).body, kStatusOk);
  EXPECT_NE(HttpCall(e.Url(true), Get()).code, CURLE_OK);
}

TEST(Endpoint, OversizedBodyIsRefusedWith413) {
  Endpoint e;
  HttpOptions o;
  o.body = std::string(16 * 1024 * 1024 + 1, 'x');
  const auto r = HttpCall(e.Url(), o);
  EXPECT_EQ(r.status, 413);
  EXPECT_THAT(r.body, HasSubstr("Fehlerhafter Aufruf: "));
  EXPECT_THAT(LogEntries(e.home.Log()), testing::Not(Contains(HasSubstr("Verarbeite"))));
}

TEST(Endpoint, SilentClientIsDroppedAndDoesNotBlockOthers) {
  THttpsServer::TLimits limits;
  limits.Idle = 500ms;
  Endpoint e(true, limits);
  // A client that connects and sends nothing.
  const int silent = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(e.service->BoundPort());
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(connect(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

  EXPECT_EQ(HttpCall(e.Url(), Get()).body, kStatusOk) << "served meanwhile";
  timeval limit{5, 0};
  setsockopt(silent, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  char byte;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(recv(silent, &byte, 1, 0), 0) << "closed by the server";
  EXPECT_LT(std::chrono::steady_clock::now() - start, 4s);
  close(silent);
}

TEST(Endpoint, PortInUseOrMissingCertificateStopsTheStart) {
  Endpoint running;
  struct {
    std::string name;
    bool busy_port, certificate;
    std::string want;
  } cases[] = {
      {"port in use", true, true, "kann nicht belegt werden"},
      {"no certificate", false, false, "Zertifikat "},
  };
  for (const auto& c : cases) {
    TestDatabase db;
    ServiceHome home(&db);
    if (!c.certificate) std::filesystem::remove(home / "olt.cer");
    home.Set("Server", "WS-Port", c.busy_port ? std::to_string(running.service->BoundPort()) : "0");
    TServiceOptions options;
    options.Folder = home.Folder();
    Toltsrv service(options);
    service.Start();
    EXPECT_FALSE(service.WaitStarted()) << c.name;
    auto log = LogEntries(home.Log());
    // The link reports its refused connection in the background, maybe later.
    std::erase_if(log, testsupport::IsLinkError);
    EXPECT_THAT(log.back(),
                testing::AllOf(testing::StartsWith("EMERGENCY | OLT Schnittstelle konnte nicht "
                                                   "gestartet werden! ("),
                               HasSubstr(c.want)))
        << c.name;
  }
}
