// Database access of the service: connections with a "Name=Value" parameter
// list, queries whose SQL text is a list of lines, rows read as text in the
// German regional form, named parameters bound as a prepared statement.
// A thin RAII layer over MariaDB Connector/C.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

struct st_mysql;

namespace Sulvane::Firedac {

// A database failure; the message is the driver's or the server's text.
class EDatabaseError : public std::runtime_error {
 public:
  explicit EDatabaseError(const std::string& message, unsigned code = 0)
      : std::runtime_error(message), code_(code) {}
  unsigned ErrorCode() const { return code_; }

 private:
  unsigned code_;
};

// The one quoting function for SQL text values: 'it''s'. Sessions run with
// NO_BACKSLASH_ESCAPES, so doubling the quote is all the escaping needed.
std::string QuotedStr(std::string_view value);
// A quoted LIKE pattern that matches the value only: "%", "_" and the escape
// character "\" are escaped.
std::string QuotedLike(std::string_view value);

// The connection settings that a parameter list names.
struct TConnectionSettings {
  std::string DriverID;
  std::string Protocol;
  std::string Database;
  std::string Server = "127.0.0.1";
  std::string UserName;
  std::string Password;
  std::string CharacterSet;
  bool UseTLS = false;
  unsigned Port = 3306;

  // Reads "Name=Value" lines; names without regard to case, unknown names ignored.
  static TConnectionSettings FromParams(const std::vector<std::string>& params);
};

class TFDConnection {
 public:
  using TAfterConnect = std::function<void(TFDConnection&)>;

  TFDConnection();
  ~TFDConnection();
  TFDConnection(const TFDConnection&) = delete;
  TFDConnection& operator=(const TFDConnection&) = delete;

  // The parameter list; guarded, so another thread may copy it at any time.
  std::vector<std::string> Params() const;
  void SetParams(std::vector<std::string> params);

  // Runs on the opening thread after every successful connect, before Open returns.
  void SetAfterConnect(TAfterConnect handler) { after_connect_ = std::move(handler); }

  // Connects with the current parameters unless connected; fails with the driver's message.
  void Open();
  void Close();
  // Asks the server: a connection that was lost is noticed here and closed.
  bool Connected();
  // The last known state, without asking the server; safe from any thread.
  bool IsOpen() const { return open_.load(); }

  st_mysql* Handle();
  // Called by queries when a statement failed; a lost connection is closed.
  void NoteError(unsigned code);

 private:
  void Connect(const TConnectionSettings& settings);

  mutable std::mutex params_lock_;
  std::vector<std::string> params_;
  TAfterConnect after_connect_;
  std::unique_ptr<st_mysql, void (*)(st_mysql*)> handle_;
  std::atomic<bool> open_{false};
};

// One value of a row, already in its text form.
class TField {
 public:
  TField(std::string name, std::optional<std::string> value)
      : name_(std::move(name)), value_(std::move(value)) {}
  const std::string& FieldName() const { return name_; }
  bool IsNull() const { return !value_; }
  // NULL reads as empty text.
  std::string AsString() const { return value_.value_or(std::string()); }
  // The text as a whole number; 0 when it is none.
  long long AsInteger() const;

 private:
  std::string name_;
  std::optional<std::string> value_;
};

// A named parameter (":name") of a statement.
class TParam {
 public:
  using TValue = std::variant<std::monostate, std::string, long long, double>;
  void SetAsString(std::string value) { value_ = std::move(value); }
  void SetAsInteger(long long value) { value_ = value; }
  void SetAsFloat(double value) { value_ = value; }
  void Clear() { value_ = std::monostate{}; }
  const TValue& Value() const { return value_; }

 private:
  TValue value_;
};

class TFDQuery {
 public:
  explicit TFDQuery(TFDConnection& connection);
  ~TFDQuery();
  TFDQuery(const TFDQuery&) = delete;
  TFDQuery& operator=(const TFDQuery&) = delete;

  // The statement, one entry per line; executed with CR LF after every line.
  std::vector<std::string> SQL;
  std::string Text() const;
  // Replaces the lines with those of a text (split at its line breaks).
  void SetText(std::string_view text);

  // Fails when the statement has no parameter of that name.
  TParam& ParamByName(std::string_view name);

  // Runs the statement and keeps its rows (SELECT, INSERT ... RETURNING).
  void Open();
  // Runs the statement; rows it may return are dropped.
  void ExecSQL();
  void Close();

  bool Active() const { return active_; }
  bool Eof() const { return !active_ || row_ >= rows_.size(); }
  void First() { row_ = 0; }
  void Next() {
    if (row_ < rows_.size()) ++row_;
  }
  std::size_t RecordCount() const { return rows_.size(); }
  std::size_t FieldCount() const { return names_.size(); }
  unsigned long long RowsAffected() const { return rows_affected_; }

  // Fields of the current row; past the last row they read as NULL.
  TField Fields(std::size_t index) const;
  TField FieldByName(std::string_view name) const;
  std::optional<TField> FindField(std::string_view name) const;

 private:
  struct TStatementText;
  void Run(bool keep_rows);
  void RunText(const std::string& text, bool keep_rows);
  void RunPrepared(const TStatementText& statement, bool keep_rows);
  [[noreturn]] void Fail(unsigned code, const char* message);

  TFDConnection& connection_;
  std::vector<std::pair<std::string, TParam>> params_;
  std::vector<std::string> names_;
  std::vector<std::vector<std::optional<std::string>>> rows_;
  std::size_t row_ = 0;
  bool active_ = false;
  unsigned long long rows_affected_ = 0;
};

// Runs one statement on a connection; errors go to the caller.
void execsql(TFDConnection& connection, std::string_view statement);

// The regional text form of a value as the server sends it in the text
// protocol: DATE dd.mm.yyyy, DATETIME/TIMESTAMP dd.mm.yyyy hh:nn:ss, numbers
// with fractions in decimal comma. `type` is the MYSQL_FIELD type.
std::string RegionalText(int type, std::string_view value);

}  // namespace Sulvane::Firedac
