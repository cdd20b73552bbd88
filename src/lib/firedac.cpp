#include "lib/firedac.hpp"

#include "lib/stringlist.hpp"
#include "lib/textutil.hpp"

#include <errmsg.h>
#include <mysql.h>
#include <mysqld_error.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>

namespace Sulvane::Firedac {

namespace {

// Connect and statement time limits: a server that stops answering must not
// hold a thread of the service for ever.
constexpr unsigned kConnectTimeoutSeconds = 10;
constexpr unsigned kReadWriteTimeoutSeconds = 120;

void InitLibraryOnce() {
  static std::once_flag once;
  std::call_once(once, [] { mysql_library_init(0, nullptr, nullptr); });
}

bool IsLostConnection(unsigned code) {
  return code == CR_SERVER_GONE_ERROR || code == CR_SERVER_LOST || code == ER_CONNECTION_KILLED ||
         code == CR_CONNECTION_ERROR;
}

bool IsIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

}  // namespace

std::string QuotedStr(std::string_view value) {
  std::string out;
  out.reserve(value.size() + 2);
  out += '\'';
  for (char c : value) {
    if (c == '\'') out += '\'';
    out += c;
  }
  out += '\'';
  return out;
}

std::string QuotedLike(std::string_view value) {
  std::string pattern;
  pattern.reserve(value.size());
  for (char c : value) {
    if (c == '%' || c == '_' || c == '\\') pattern += '\\';
    pattern += c;
  }
  return QuotedStr(pattern);
}

TConnectionSettings TConnectionSettings::FromParams(const std::vector<std::string>& params) {
  TConnectionSettings s;
  for (const std::string& line : params) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string_view name = std::string_view(line).substr(0, eq);
    std::string value = line.substr(eq + 1);
    if (SameText(name, "DriverID")) {
      s.DriverID = value;
    } else if (SameText(name, "Protocol")) {
      s.Protocol = value;
    } else if (SameText(name, "Database")) {
      s.Database = value;
    } else if (SameText(name, "Server")) {
      s.Server = value;
    } else if (SameText(name, "User_Name")) {
      s.UserName = value;
    } else if (SameText(name, "Password")) {
      s.Password = value;
    } else if (SameText(name, "CharacterSet")) {
      s.CharacterSet = value;
    } else if (SameText(name, "UseTLS")) {
      s.UseTLS = value == "1" || SameText(value, "true");
    } else if (SameText(name, "Port")) {
      unsigned port = 0;
      const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), port);
      if (ec == std::errc() && end == value.data() + value.size() && port > 0 && port < 65536)
        s.Port = port;
    }
  }
  return s;
}

// --- connection -------------------------------------------------------------

TFDConnection::TFDConnection() : handle_(nullptr, mysql_close) { InitLibraryOnce(); }

TFDConnection::~TFDConnection() = default;

std::vector<std::string> TFDConnection::Params() const {
  std::lock_guard lock(params_lock_);
  return params_;
}

void TFDConnection::SetParams(std::vector<std::string> params) {
  std::lock_guard lock(params_lock_);
  params_ = std::move(params);
}

void TFDConnection::Open() {
  if (handle_) return;
  Connect(TConnectionSettings::FromParams(Params()));
  open_ = true;
  if (after_connect_) after_connect_(*this);
}

void TFDConnection::Close() {
  open_ = false;
  handle_.reset();
}

bool TFDConnection::Connected() {
  if (!handle_) return false;
  if (mysql_ping(handle_.get()) != 0) Close();
  return static_cast<bool>(handle_);
}

st_mysql* TFDConnection::Handle() {
  if (!handle_) throw EDatabaseError("Keine Verbindung zur Datenbank.");
  return handle_.get();
}

void TFDConnection::NoteError(unsigned code) {
  if (IsLostConnection(code)) Close();
}

void TFDConnection::Connect(const TConnectionSettings& s) {
  if (!s.DriverID.empty() && !SameText(s.DriverID, "MySQL"))
    throw EDatabaseError("Datenbanktreiber wird nicht unterstützt: " + s.DriverID);

  std::unique_ptr<MYSQL, void (*)(MYSQL*)> m(mysql_init(nullptr), mysql_close);
  if (!m) throw EDatabaseError("Datenbankverbindung konnte nicht angelegt werden.");

  // "utf8" is utf8mb3 to MariaDB, which cannot hold every character; the
  // service means UTF-8, so it asks for the full form.
  std::string charset = s.CharacterSet.empty() ? "utf8mb4" : s.CharacterSet;
  if (SameText(charset, "utf8")) charset = "utf8mb4";
  mysql_optionsv(m.get(), MYSQL_SET_CHARSET_NAME, charset.c_str());
  mysql_optionsv(m.get(), MYSQL_OPT_CONNECT_TIMEOUT, &kConnectTimeoutSeconds);
  mysql_optionsv(m.get(), MYSQL_OPT_READ_TIMEOUT, &kReadWriteTimeoutSeconds);
  mysql_optionsv(m.get(), MYSQL_OPT_WRITE_TIMEOUT, &kReadWriteTimeoutSeconds);
  unsigned local_infile = 0;
  mysql_optionsv(m.get(), MYSQL_OPT_LOCAL_INFILE, &local_infile);
  if (SameText(s.Protocol, "TCPIP")) {
    unsigned protocol = MYSQL_PROTOCOL_TCP;
    mysql_optionsv(m.get(), MYSQL_OPT_PROTOCOL, &protocol);
  }
  if (s.UseTLS) {
    // TLS is demanded, the server's certificate is not checked.
    my_bool enforce = 1, verify = 0;
    mysql_optionsv(m.get(), MYSQL_OPT_SSL_ENFORCE, &enforce);
    mysql_optionsv(m.get(), MYSQL_OPT_SSL_VERIFY_SERVER_CERT, &verify);
  }

  if (!mysql_real_connect(m.get(), s.Server.c_str(), s.UserName.c_str(), s.Password.c_str(),
                          s.Database.empty() ? nullptr : s.Database.c_str(), s.Port, nullptr, 0))
    throw EDatabaseError(mysql_error(m.get()), mysql_errno(m.get()));
  if (s.UseTLS && mysql_get_ssl_cipher(m.get()) == nullptr)
    throw EDatabaseError("Die Datenbank bietet keine TLS-Verbindung an.");

  // A backslash in a quoted value is an ordinary character.
  static constexpr std::string_view kSessionSetup =
      "SET SESSION sql_mode = CONCAT_WS(',', NULLIF(@@SESSION.sql_mode, ''), "
      "'NO_BACKSLASH_ESCAPES')";
  if (mysql_real_query(m.get(), kSessionSetup.data(), kSessionSetup.size()) != 0)
    throw EDatabaseError(mysql_error(m.get()), mysql_errno(m.get()));

  handle_.reset(m.release());
}

// --- values -----------------------------------------------------------------

std::string RegionalText(int type, std::string_view v) {
  switch (type) {
    case MYSQL_TYPE_DATE:
    case MYSQL_TYPE_NEWDATE:
      if (v.size() >= 10 && v[4] == '-' && v[7] == '-')
        return std::string(v.substr(8, 2)) + "." + std::string(v.substr(5, 2)) + "." +
               std::string(v.substr(0, 4));
      break;
    case MYSQL_TYPE_DATETIME:
    case MYSQL_TYPE_TIMESTAMP:
      if (v.size() >= 19 && v[4] == '-' && v[7] == '-' && v[10] == ' ')
        return RegionalText(MYSQL_TYPE_DATE, v.substr(0, 10)) + " " + std::string(v.substr(11, 8));
      break;
    case MYSQL_TYPE_FLOAT:
    case MYSQL_TYPE_DOUBLE:
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL: {
      std::string s(v);
      std::replace(s.begin(), s.end(), '.', ',');
      return s;
    }
    default:
      break;
  }
  return std::string(v);
}

long long TField::AsInteger() const {
  const std::string s = AsString();
  long long n = 0;
  std::from_chars(s.data(), s.data() + s.size(), n);
  return n;
}

// --- statement text ---------------------------------------------------------

// The statement with its ":name" parameters replaced by "?", and the names in
// the order they occur. Quoted texts, quoted names and comments are skipped.
struct TFDQuery::TStatementText {
  std::string text;
  std::vector<std::string> names;

  static TStatementText Scan(const std::string& sql) {
    TStatementText out;
    out.text.reserve(sql.size());
    const std::size_t n = sql.size();
    for (std::size_t i = 0; i < n;) {
      const char c = sql[i];
      if (c == '\'' || c == '"' || c == '`') {
        const std::size_t end = sql.find(c, i + 1);
        const std::size_t stop = end == std::string::npos ? n : end + 1;
        out.text.append(sql, i, stop - i);
        i = stop;
      } else if (c == '-' && i + 2 < n && sql[i + 1] == '-' &&
                 std::isspace(static_cast<unsigned char>(sql[i + 2]))) {
        const std::size_t end = sql.find('\n', i);
        const std::size_t stop = end == std::string::npos ? n : end;
        out.text.append(sql, i, stop - i);
        i = stop;
      } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
        const std::size_t end = sql.find("*/", i + 2);
        const std::size_t stop = end == std::string::npos ? n : end + 2;
        out.text.append(sql, i, stop - i);
        i = stop;
      } else if (c == ':' && i + 1 < n && sql[i + 1] == ':') {
        out.text += "::";
        i += 2;
      } else if (c == ':' && i + 1 < n && IsIdentChar(sql[i + 1]) &&
                 (i == 0 || !IsIdentChar(sql[i - 1]))) {
        std::size_t end = i + 1;
        while (end < n && IsIdentChar(sql[end])) ++end;
        out.names.push_back(sql.substr(i + 1, end - i - 1));
        out.text += '?';
        i = end;
      } else {
        out.text += c;
        ++i;
      }
    }
    return out;
  }
};

// --- query ------------------------------------------------------------------

TFDQuery::TFDQuery(TFDConnection& connection) : connection_(connection) {}

TFDQuery::~TFDQuery() = default;

std::string TFDQuery::Text() const {
  std::string text;
  for (const std::string& line : SQL) {
    text += line;
    text += "\r\n";
  }
  return text;
}

void TFDQuery::SetText(std::string_view text) { SQL = SplitLines(text); }

TParam& TFDQuery::ParamByName(std::string_view name) {
  const TStatementText statement = TStatementText::Scan(Text());
  const bool known = std::any_of(statement.names.begin(), statement.names.end(),
                                 [&](const std::string& n) { return SameText(n, name); });
  if (!known) throw EDatabaseError("Parameter '" + std::string(name) + "' nicht gefunden");
  for (auto& [n, p] : params_)
    if (SameText(n, name)) return p;
  return params_.emplace_back(std::string(name), TParam()).second;
}

void TFDQuery::Open() { Run(true); }

void TFDQuery::ExecSQL() { Run(false); }

void TFDQuery::Close() {
  active_ = false;
  names_.clear();
  rows_.clear();
  row_ = 0;
}

void TFDQuery::Run(bool keep_rows) {
  Close();
  rows_affected_ = 0;
  const std::string text = Text();
  const TStatementText statement = TStatementText::Scan(text);
  if (statement.names.empty())
    RunText(text, keep_rows);
  else
    RunPrepared(statement, keep_rows);
  active_ = keep_rows;
}

void TFDQuery::Fail(unsigned code, const char* message) {
  const std::string text = message != nullptr ? message : "";
  connection_.NoteError(code);
  throw EDatabaseError(text, code);
}

void TFDQuery::RunText(const std::string& text, bool keep_rows) {
  MYSQL* m = connection_.Handle();
  if (mysql_real_query(m, text.data(), text.size()) != 0) Fail(mysql_errno(m), mysql_error(m));
  std::unique_ptr<MYSQL_RES, void (*)(MYSQL_RES*)> result(mysql_store_result(m), mysql_free_result);
  if (!result) {
    if (mysql_field_count(m) != 0) Fail(mysql_errno(m), mysql_error(m));
    rows_affected_ = mysql_affected_rows(m);
    return;
  }
  rows_affected_ = mysql_affected_rows(m);
  if (!keep_rows) return;
  const unsigned count = mysql_num_fields(result.get());
  const MYSQL_FIELD* fields = mysql_fetch_fields(result.get());
  for (unsigned i = 0; i < count; ++i) names_.emplace_back(fields[i].name);
  while (MYSQL_ROW row = mysql_fetch_row(result.get())) {
    const unsigned long* lengths = mysql_fetch_lengths(result.get());
    auto& values = rows_.emplace_back();
    values.reserve(count);
    for (unsigned i = 0; i < count; ++i) {
      if (row[i] == nullptr)
        values.emplace_back(std::nullopt);
      else
        values.emplace_back(RegionalText(fields[i].type, std::string_view(row[i], lengths[i])));
    }
  }
}

void TFDQuery::RunPrepared(const TStatementText& statement, bool keep_rows) {
  MYSQL* m = connection_.Handle();
  std::unique_ptr<MYSQL_STMT, my_bool (*)(MYSQL_STMT*)> st(mysql_stmt_init(m), mysql_stmt_close);
  if (!st) Fail(mysql_errno(m), mysql_error(m));
  const auto fail = [&] { Fail(mysql_stmt_errno(st.get()), mysql_stmt_error(st.get())); };
  if (mysql_stmt_prepare(st.get(), statement.text.data(), statement.text.size()) != 0) fail();

  // Every occurrence of a name is bound to that parameter's value; a name
  // without a value is NULL.
  const std::size_t n = statement.names.size();
  std::vector<MYSQL_BIND> binds(n);
  std::vector<TParam::TValue> values(n);
  std::vector<my_bool> nulls(n, 0);
  std::vector<unsigned long> lengths(n, 0);
  for (std::size_t i = 0; i < n; ++i) {
    for (const auto& [name, param] : params_)
      if (SameText(name, statement.names[i])) values[i] = param.Value();
    MYSQL_BIND& b = binds[i];
    std::memset(&b, 0, sizeof b);
    if (auto* s = std::get_if<std::string>(&values[i])) {
      b.buffer_type = MYSQL_TYPE_STRING;
      b.buffer = s->data();
      lengths[i] = s->size();
      b.buffer_length = s->size();
      b.length = &lengths[i];
    } else if (auto* ll = std::get_if<long long>(&values[i])) {
      b.buffer_type = MYSQL_TYPE_LONGLONG;
      b.buffer = ll;
    } else if (auto* d = std::get_if<double>(&values[i])) {
      b.buffer_type = MYSQL_TYPE_DOUBLE;
      b.buffer = d;
    } else {
      b.buffer_type = MYSQL_TYPE_NULL;
      nulls[i] = 1;
      b.is_null = &nulls[i];
    }
  }
  if (n > 0 && mysql_stmt_bind_param(st.get(), binds.data()) != 0) fail();
  if (mysql_stmt_execute(st.get()) != 0) fail();
  rows_affected_ = mysql_stmt_affected_rows(st.get());

  std::unique_ptr<MYSQL_RES, void (*)(MYSQL_RES*)> meta(mysql_stmt_result_metadata(st.get()),
                                                        mysql_free_result);
  if (!meta || !keep_rows) return;
  if (mysql_stmt_store_result(st.get()) != 0) fail();
  const unsigned count = mysql_num_fields(meta.get());
  const MYSQL_FIELD* fields = mysql_fetch_fields(meta.get());
  for (unsigned i = 0; i < count; ++i) names_.emplace_back(fields[i].name);

  // Every column is fetched as text; a value longer than its buffer is
  // fetched again at its full length.
  std::vector<MYSQL_BIND> out(count);
  std::vector<std::string> buffers(count, std::string(256, '\0'));
  std::vector<unsigned long> out_lengths(count, 0);
  std::vector<my_bool> out_nulls(count, 0), out_errors(count, 0);
  for (unsigned i = 0; i < count; ++i) {
    std::memset(&out[i], 0, sizeof out[i]);
    out[i].buffer_type = MYSQL_TYPE_STRING;
    out[i].buffer = buffers[i].data();
    out[i].buffer_length = buffers[i].size();
    out[i].length = &out_lengths[i];
    out[i].is_null = &out_nulls[i];
    out[i].error = &out_errors[i];
  }
  if (mysql_stmt_bind_result(st.get(), out.data()) != 0) fail();
  for (;;) {
    const int rc = mysql_stmt_fetch(st.get());
    if (rc == MYSQL_NO_DATA) break;
    if (rc == 1) fail();
    auto& row = rows_.emplace_back();
    for (unsigned i = 0; i < count; ++i) {
      if (out_nulls[i]) {
        row.emplace_back(std::nullopt);
        continue;
      }
      std::string value;
      if (out_lengths[i] > buffers[i].size()) {
        value.assign(out_lengths[i], '\0');
        MYSQL_BIND full;
        std::memset(&full, 0, sizeof full);
        full.buffer_type = MYSQL_TYPE_STRING;
        full.buffer = value.data();
        full.buffer_length = value.size();
        if (mysql_stmt_fetch_column(st.get(), &full, i, 0) != 0) fail();
      } else {
        value.assign(buffers[i].data(), out_lengths[i]);
      }
      row.emplace_back(RegionalText(fields[i].type, value));
    }
  }
}

TField TFDQuery::Fields(std::size_t index) const {
  if (index >= names_.size())
    throw EDatabaseError("Feldindex " + std::to_string(index) + " außerhalb des Bereichs");
  // Past the last row every field reads as NULL, i.e. empty text.
  if (Eof()) return TField(names_[index], std::nullopt);
  return TField(names_[index], rows_[row_][index]);
}

std::optional<TField> TFDQuery::FindField(std::string_view name) const {
  for (std::size_t i = 0; i < names_.size(); ++i)
    if (SameText(names_[i], name)) return Fields(i);
  return std::nullopt;
}

TField TFDQuery::FieldByName(std::string_view name) const {
  if (auto field = FindField(name)) return *field;
  throw EDatabaseError("Feld '" + std::string(name) + "' nicht gefunden");
}

void execsql(TFDConnection& connection, std::string_view statement) {
  TFDQuery query(connection);
  query.SetText(statement);
  query.ExecSQL();
}

}  // namespace Sulvane::Firedac
