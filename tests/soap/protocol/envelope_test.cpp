#include "soap/protocol/envelope.hpp"

#include <gtest/gtest.h>

#include "support/fakeservice.hpp"
#include "support/tempdir.hpp"

namespace {

const std::string kHead =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope "
    "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" xmlns:olt=\"";
const std::string kTail = "</soap:Body></soap:Envelope>";

}  // namespace

TEST(Envelope, RepliesByteForByte) {
  testsupport::TempDir dir;
  testsupport::FakeService service(dir.path());
  const std::string head = kHead + "http://tempuri.org/OltServiceOlt\"><soap:Body>";
  struct {
    std::string result, name, body;
  } cases[] = {
      {"", "olt:EinsatzmittelVerlegenResponse",
       "<olt:EinsatzmittelVerlegenResponse><Success xmlns=\"\">true</Success><ErrorMessage "
       "xmlns=\"\"></ErrorMessage></olt:EinsatzmittelVerlegenResponse>"},
      {"Keine ID gefunden.", "olt:EinsatzWeiterleitenResponse",
       "<olt:EinsatzWeiterleitenResponse><Success xmlns=\"\">false</Success><ErrorMessage "
       "xmlns=\"\">Keine ID gefunden.</ErrorMessage></olt:EinsatzWeiterleitenResponse>"},
      {"a<b & \"c\" 'd'>", "olt:X",
       "<olt:X><Success xmlns=\"\">false</Success><ErrorMessage xmlns=\"\">a&lt;b &amp; "
       "&quot;c&quot; &apos;d&apos;&gt;</ErrorMessage></olt:X>"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(makesoapresponse(c.result, c.name), head + c.body + kTail) << c.result;
  EXPECT_EQ(makesoapenvelope("<a>&</a>"), head + "<a>&</a>" + kTail) << "the body is not touched";

  testsupport::WriteFile(dir / "olt.ini",
                         "[Server]\r\nNamespace=http://ils.example/OltServiceOlt\r\n"
                         "[ILS]\r\nNamespace=http://ils.example/OltServiceE3\r\n");
  EXPECT_EQ(makesoapenvelope(""), kHead + "http://ils.example/OltServiceOlt\"><soap:Body>" + kTail);
  EXPECT_EQ(ilsnamespace(), "http://ils.example/OltServiceE3");
}
