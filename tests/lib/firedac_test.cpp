#include "lib/firedac.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <mysql.h>

#include "support/testdb.hpp"

using namespace Sulvane::Firedac;
using testing::HasSubstr;

TEST(QuotedStr, DoublesSingleQuotesOnly) {
  struct {
    std::string in, want;
  } cases[] = {
      {"", "''"},
      {"abc", "'abc'"},
      {"O'Brien", "'O''Brien'"},
      {"''", "''''''"},
      {"a\\", "'a\\'"},  // a backslash is an ordinary character
      {"Straße \"7\"", "'Straße \"7\"'"},
  };
  for (const auto& c : cases) EXPECT_EQ(QuotedStr(c.in), c.want) << "input: " << c.in;
}

TEST(ConnectionSettings, ReadsTheParameterList) {
  const auto s = TConnectionSettings::FromParams(
      {"DriverID=MySQL", "protocol=TCPIP", "Database=VUXdb", "SERVER=db.example", "User_Name=root",
       "Password=a=b", "CharacterSet=utf8", "UseTLS=1", "Unknown=x"});
  EXPECT_EQ(s.DriverID, "MySQL");
  EXPECT_EQ(s.Protocol, "TCPIP");
  EXPECT_EQ(s.Database, "VUXdb");
  EXPECT_EQ(s.Server, "db.example");
  EXPECT_EQ(s.UserName, "root");
  EXPECT_EQ(s.Password, "a=b") << "only the first '=' separates";
  EXPECT_EQ(s.CharacterSet, "utf8");
  EXPECT_TRUE(s.UseTLS);
  EXPECT_EQ(s.Port, 3306u) << "without Port the MySQL default applies";
  EXPECT_EQ(TConnectionSettings::FromParams({"Port=3307"}).Port, 3307u);
  EXPECT_EQ(TConnectionSettings::FromParams({"Port=x"}).Port, 3306u);
}

TEST(RegionalText, DatesAndNumbersInGermanForm) {
  struct {
    int type;
    std::string in, want;
  } cases[] = {
      {MYSQL_TYPE_DATE, "2024-02-29", "29.02.2024"},
      {MYSQL_TYPE_DATETIME, "2024-02-29 13:14:15", "29.02.2024 13:14:15"},
      {MYSQL_TYPE_DATETIME, "2024-02-29 13:14:15.500", "29.02.2024 13:14:15"},
      {MYSQL_TYPE_TIMESTAMP, "2024-01-31 00:00:00", "31.01.2024 00:00:00"},
      {MYSQL_TYPE_DOUBLE, "11.5685594", "11,5685594"},
      {MYSQL_TYPE_FLOAT, "0.1", "0,1"},
      {MYSQL_TYPE_NEWDECIMAL, "-12.50", "-12,50"},
      {MYSQL_TYPE_LONG, "42", "42"},
      {MYSQL_TYPE_VAR_STRING, "4468000.5", "4468000.5"},  // texts stay as stored
  };
  for (const auto& c : cases)
    EXPECT_EQ(RegionalText(c.type, c.in), c.want) << "type " << c.type << " value " << c.in;
}

class DatabaseLayer : public testing::Test {
 protected:
  testsupport::TestDatabase db;
  TFDConnection connection;

  void SetUp() override {
    connection.SetParams(db.Params());
    connection.Open();
  }
};

TEST_F(DatabaseLayer, ValuesReadAsRegionalTextByPositionAndName) {
  db.Exec(
      "CREATE TABLE WERTE (T VARCHAR(20), D DATE, DT DATETIME(3), TS TIMESTAMP NULL, F DOUBLE, "
      "N DECIMAL(8,2), I INT, LEER VARCHAR(5))");
  db.Exec(
      "INSERT INTO WERTE VALUES ('Prüfung', '2024-02-29', '2024-02-29 13:14:15.500', "
      "'2024-01-31 08:00:00', 0.1, 12.5, 7, NULL)");
  const std::vector<std::string> want = {
      "Prüfung", "29.02.2024", "29.02.2024 13:14:15", "31.01.2024 08:00:00", "0,1", "12,50", "7",
      ""};
  // Once as plain text, once as a prepared statement with a parameter.
  for (const bool prepared : {false, true}) {
    TFDQuery q(connection);
    q.SQL = {"SELECT T, D, DT, TS, F, N, I, LEER FROM WERTE"};
    if (prepared) {
      q.SQL.push_back("WHERE I = :nummer");
      q.ParamByName("NUMMER").SetAsInteger(7);
    }
    q.Open();
    ASSERT_EQ(q.RecordCount(), 1u) << "prepared " << prepared;
    for (std::size_t i = 0; i < want.size(); ++i)
      EXPECT_EQ(q.Fields(i).AsString(), want[i]) << "column " << i << " prepared " << prepared;
    EXPECT_EQ(q.FieldByName("dt").AsString(), "29.02.2024 13:14:15") << "names ignore case";
    EXPECT_TRUE(q.FieldByName("Leer").IsNull());
    EXPECT_EQ(q.FieldByName("i").AsInteger(), 7);
    EXPECT_THROW(q.FieldByName("FEHLT"), EDatabaseError);
    q.Next();
    EXPECT_TRUE(q.Eof());
    EXPECT_EQ(q.Fields(0).AsString(), "") << "past the last row fields read as empty";
  }
}

TEST_F(DatabaseLayer, LinesAreJoinedWithCrLf) {
  TFDQuery q(connection);
  q.SQL = {"SELECT 'erste", "zweite' AS V"};
  EXPECT_EQ(q.Text(), "SELECT 'erste\r\nzweite' AS V\r\n");
  q.Open();
  EXPECT_EQ(q.Fields(0).AsString(), "erste\r\nzweite");

  q.SetText("SELECT 1\nAS A,\r\n2 AS B");
  EXPECT_EQ(q.SQL, (std::vector<std::string>{"SELECT 1", "AS A,", "2 AS B"}));
}

TEST_F(DatabaseLayer, InsertReturningGivesTheGeneratedNumber) {
  TFDQuery q(connection);
  q.SQL = {"INSERT INTO EINSAETZE (EXTERNAL_ID)", "VALUES (" + QuotedStr("ILS-1") + ")",
           "RETURNING EINSATZNUMMER"};
  q.Open();
  const std::string first = q.FieldByName("EINSATZNUMMER").AsString();
  q.Open();
  const std::string second = q.Fields(0).AsString();
  EXPECT_FALSE(first.empty());
  EXPECT_EQ(std::stoi(second), std::stoi(first) + 1);
  EXPECT_EQ(db.Value("SELECT COUNT(*) FROM EINSAETZE WHERE EXTERNAL_ID = 'ILS-1'"), "2");
}

TEST_F(DatabaseLayer, NamedParametersAreBoundNotSpliced) {
  db.Exec("INSERT INTO EINSAETZE (EINSATZNUMMER, STRASSE) VALUES (5, 'Am Markt')");
  TFDQuery q(connection);
  q.SQL = {"UPDATE EINSAETZE SET KOORDX=:koordx, KOORDY=:koordy,",
           "STRASSE=CONCAT(STRASSE, ' :keinparameter')", "WHERE EINSATZNUMMER=:einsatznummer"};
  q.ParamByName("koordx").SetAsString("11.5685594");
  q.ParamByName("koordy").SetAsString("x', KOORDX='gekapert");
  q.ParamByName("einsatznummer").SetAsInteger(5);
  q.ExecSQL();
  EXPECT_EQ(q.RowsAffected(), 1u);
  EXPECT_EQ(db.Rows("SELECT KOORDX, KOORDY, STRASSE FROM EINSAETZE WHERE EINSATZNUMMER = 5"),
            (std::vector<std::vector<std::string>>{
                {"11.5685594", "x', KOORDX='gekapert", "Am Markt :keinparameter"}}));
  EXPECT_THROW(q.ParamByName("keinparameter"), EDatabaseError);
}

TEST_F(DatabaseLayer, QuotedValuesSurviveBackslashesAndFourByteCharacters) {
  // Without NO_BACKSLASH_ESCAPES the backslash would escape the closing quote
  // and the rest of the value would run as SQL.
  const std::string hostile = "C:\\Temp\\' OR 1=1 -- ";
  const std::string text = "Größe 🚑 \"Zitat\" O'Brien";
  for (const std::string& value : {hostile, text}) {
    execsql(connection,
            "INSERT INTO MASSNAHMEN (EINSATZNUMMER, EINTRAG) VALUES (1, " + QuotedStr(value) + ")");
    TFDQuery q(connection);
    q.SQL = {"SELECT EINTRAG FROM MASSNAHMEN WHERE EINTRAG = " + QuotedStr(value)};
    q.Open();
    ASSERT_EQ(q.RecordCount(), 1u) << value;
    EXPECT_EQ(q.Fields(0).AsString(), value);
  }
  EXPECT_EQ(db.Value("SELECT COUNT(*) FROM MASSNAHMEN"), "2");
}

TEST_F(DatabaseLayer, ErrorsCarryTheServerMessage) {
  try {
    execsql(connection, "SELECT * FROM GIBTESNICHT");
    FAIL() << "no error";
  } catch (const EDatabaseError& e) {
    EXPECT_THAT(e.what(), HasSubstr("GIBTESNICHT' doesn't exist"));
    EXPECT_EQ(e.ErrorCode(), 1146u);
  }
  EXPECT_TRUE(connection.Connected()) << "an SQL error keeps the connection";
}

TEST(DatabaseConnection, OpenFailuresCarryTheDriverMessage) {
  testsupport::TestDatabase db(false);
  struct {
    std::string param, want;
  } cases[] = {
      {"Password=falsch", "Access denied for user 'root'"},
      {"Port=1", "Can't connect to server on '127.0.0.1'"},
      {"Database=gibtesnicht", "Unknown database 'gibtesnicht'"},
      {"DriverID=MSSQL", "Datenbanktreiber wird nicht unterstützt: MSSQL"},
  };
  for (const auto& c : cases) {
    auto params = db.Params();
    params.push_back(c.param);  // a later line of the same name wins
    TFDConnection connection;
    connection.SetParams(params);
    try {
      connection.Open();
      ADD_FAILURE() << "opened with " << c.param;
    } catch (const EDatabaseError& e) {
      EXPECT_THAT(e.what(), HasSubstr(c.want)) << c.param;
    }
    EXPECT_FALSE(connection.IsOpen()) << c.param;
  }
}

TEST(DatabaseConnection, TlsAndCharacterSetFromTheParameters) {
  testsupport::TestDatabase db(false);
  auto params = db.Params();
  params.insert(params.begin() + 2, {"CharacterSet=utf8", "UseTLS=1"});
  TFDConnection connection;
  connection.SetParams(params);
  connection.Open();
  TFDQuery q(connection);
  q.SQL = {"SHOW SESSION STATUS LIKE 'Ssl_cipher'"};
  q.Open();
  EXPECT_FALSE(q.Fields(1).AsString().empty()) << "the connection is encrypted";
  q.SQL = {"SELECT @@character_set_connection, 'Größe 🚑'"};
  q.Open();
  EXPECT_EQ(q.Fields(0).AsString(), "utf8mb4");
  EXPECT_EQ(q.Fields(1).AsString(), "Größe 🚑");
}

TEST(DatabaseConnection, AfterConnectRunsOnEveryConnectAndLostConnectionIsNoticed) {
  testsupport::TestDatabase db;
  TFDConnection connection;
  connection.SetParams(db.Params());
  int connects = 0;
  connection.SetAfterConnect([&](TFDConnection& c) {
    ++connects;
    EXPECT_TRUE(c.IsOpen());
  });
  connection.Open();
  connection.Open();  // already connected: nothing happens
  EXPECT_EQ(connects, 1);

  TFDQuery q(connection);
  q.SQL = {"SELECT CONNECTION_ID()"};
  q.Open();
  db.Exec("KILL " + q.Fields(0).AsString());

  EXPECT_THROW(q.Open(), EDatabaseError);
  EXPECT_FALSE(connection.IsOpen()) << "a lost connection is closed on the failing use";
  EXPECT_FALSE(connection.Connected());
  connection.Open();
  EXPECT_EQ(connects, 2);
  EXPECT_TRUE(connection.Connected());

  q.Open();
  db.Exec("KILL " + q.Fields(0).AsString());
  EXPECT_FALSE(connection.Connected()) << "the check asks the server";
}

TEST_F(DatabaseLayer, QuotedLikeMatchesTheValueOnly) {
  for (const char* v : {"RK_1", "RK%1", "RK\\1", "O'Brien"})
    execsql(connection, std::string("INSERT INTO EINSATZMITTEL (RUFNAME) VALUES (") + QuotedStr(v) + ")");
  db.Exec("INSERT INTO EINSATZMITTEL (RUFNAME) VALUES ('RKx1')");
  for (const char* v : {"RK_1", "RK%1", "RK\\1", "O'Brien"}) {
    TFDQuery q(connection);
    q.SQL = {std::string("SELECT RUFNAME FROM EINSATZMITTEL WHERE RUFNAME LIKE ") + QuotedLike(v)};
    q.Open();
    ASSERT_EQ(q.RecordCount(), 1u) << v;
    EXPECT_EQ(q.Fields(0).AsString(), v);
  }
}
