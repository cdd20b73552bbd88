#include "lib/inifile.hpp"

#include "lib/textutil.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

// GetPrivateProfileString hands out a value in a buffer of 2048 characters with terminator.
constexpr std::size_t kMaxValueLength = 2047;
constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

struct Line {
  std::string_view text;  // without the line end
  std::string_view eol;   // "\r\n", "\n", or "" for a last line without line end
};

struct Document {
  bool bom = false;
  std::vector<Line> lines;
};

// Splits the content into lines; the views point into content.
Document Split(std::string_view content) {
  Document doc;
  if (content.starts_with(kBom)) {
    doc.bom = true;
    content.remove_prefix(kBom.size());
  }
  while (!content.empty()) {
    const std::size_t nl = content.find('\n');
    if (nl == std::string_view::npos) {
      doc.lines.push_back({content, {}});
      break;
    }
    const std::size_t end = nl > 0 && content[nl - 1] == '\r' ? nl - 1 : nl;
    doc.lines.push_back({content.substr(0, end), content.substr(end, nl + 1 - end)});
    content.remove_prefix(nl + 1);
  }
  return doc;
}

// The line end for new lines: the one the file uses, CR LF if it has none yet.
std::string_view LineEnd(std::string_view content) {
  if (content.find("\r\n") != std::string_view::npos) return "\r\n";
  if (content.find('\n') != std::string_view::npos) return "\n";
  return "\r\n";
}

enum class LineKind { kOther, kBlank, kComment, kSection, kKey };

struct ParsedLine {
  LineKind kind = LineKind::kOther;
  std::string_view name;   // section name or key, trimmed
  std::string_view value;  // value of a key line, trimmed, quotes not yet removed
};

ParsedLine Parse(std::string_view text) {
  const std::string_view t = Trim(text);
  if (t.empty()) return {LineKind::kBlank, {}, {}};
  if (t.front() == ';') return {LineKind::kComment, {}, {}};
  if (t.front() == '[') {
    std::string_view name = t.substr(1);
    name = name.substr(0, name.find(']'));
    return {LineKind::kSection, Trim(name), {}};
  }
  const std::size_t eq = t.find('=');
  // A line without '=' carries no value; it is not a key.
  if (eq == std::string_view::npos) return {LineKind::kOther, {}, {}};
  return {LineKind::kKey, Trim(t.substr(0, eq)), Trim(t.substr(eq + 1))};
}

struct Location {
  std::optional<std::size_t> section;   // header line of the first section with the name
  std::optional<std::size_t> key;       // first line of the key in that section
  std::optional<std::size_t> last_key;  // last key line of that section
  std::string_view key_name;            // the key as the file spells it
  std::string_view value;
};

Location Find(const std::vector<Line>& lines, std::string_view section, std::string_view ident) {
  Location loc;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const ParsedLine p = Parse(lines[i].text);
    if (p.kind == LineKind::kSection) {
      if (loc.section) break;  // end of the first section with the name; later ones don't count
      if (SameText(p.name, section)) loc.section = i;
    } else if (loc.section && p.kind == LineKind::kKey) {
      loc.last_key = i;
      if (!loc.key && SameText(p.name, ident)) {
        loc.key = i;
        loc.key_name = p.name;
        loc.value = p.value;
      }
    }
  }
  return loc;
}

std::string_view Unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    return v.substr(1, v.size() - 2);
  }
  return v;
}

// Cuts to kMaxValueLength bytes without splitting a UTF-8 sequence.
std::string_view Cut(std::string_view v) {
  if (v.size() <= kMaxValueLength) return v;
  std::size_t n = kMaxValueLength;
  while (n > 0 && (static_cast<unsigned char>(v[n]) & 0xC0) == 0x80) --n;
  return v.substr(0, n);
}

struct FileContent {
  std::string data;
  mode_t mode = 0;
};

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

std::error_code LastError() { return {errno, std::generic_category()}; }

std::optional<FileContent> Load(const fs::path& file, std::error_code& ec) {
  Fd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    ec = LastError();
    return std::nullopt;
  }
  FileContent content;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) {
    ec = LastError();
    return std::nullopt;
  }
  content.mode = st.st_mode & 07777;
  if (st.st_size > 0) content.data.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[8192];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ec = LastError();
      return std::nullopt;
    }
    content.data.append(buffer, static_cast<std::size_t>(n));
  }
  return content;
}

// The raw (trimmed, still quoted) value of the key; nullopt if file, section or key is missing.
// An unreadable file counts as missing.
std::optional<std::string> ReadRaw(const fs::path& file, std::string_view section,
                                   std::string_view ident) {
  std::error_code ec;
  const std::optional<FileContent> content = Load(file, ec);
  if (!content) return std::nullopt;
  const Document doc = Split(content->data);
  const Location loc = Find(doc.lines, Trim(section), Trim(ident));
  if (!loc.key) return std::nullopt;
  return std::string(loc.value);
}

// The content with the key set to value.
std::string Update(std::string_view content, std::string_view section, std::string_view ident,
                   std::string_view value) {
  const Document doc = Split(content);
  const std::string_view eol = LineEnd(content);
  const Location loc = Find(doc.lines, section, ident);
  const auto key_line = [&](std::string_view name) {
    return std::string(name) + "=" + std::string(value);
  };

  std::string out;
  out.reserve(content.size() + section.size() + ident.size() + value.size() + 8);
  if (doc.bom) out += kBom;
  if (loc.key) {
    for (std::size_t i = 0; i < doc.lines.size(); ++i) {
      out += i == *loc.key ? key_line(loc.key_name) : std::string(doc.lines[i].text);
      out += doc.lines[i].eol;
    }
  } else if (loc.section) {
    const std::size_t anchor = loc.last_key.value_or(*loc.section);
    for (std::size_t i = 0; i < doc.lines.size(); ++i) {
      out += doc.lines[i].text;
      if (i != anchor) {
        out += doc.lines[i].eol;
        continue;
      }
      out += doc.lines[i].eol.empty() ? eol : doc.lines[i].eol;
      out += key_line(ident);
      out += eol;
    }
  } else {
    for (const Line& line : doc.lines) {
      out += line.text;
      out += line.eol;
    }
    if (!doc.lines.empty() && doc.lines.back().eol.empty()) out += eol;
    out += "[";
    out += section;
    out += "]";
    out += eol;
    out += key_line(ident);
    out += eol;
  }
  return out;
}

// The file a write has to replace: the target of a symbolic link, so that the link stays.
fs::path WriteTarget(const fs::path& file) {
  std::error_code ec;
  if (!fs::is_symlink(file, ec)) return file;
  fs::path target = fs::canonical(file, ec);
  return ec ? file : target;
}

void WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      throw std::system_error(LastError(), "write");
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
}

// Replaces the file with data: the new content goes to a temp file in the same folder, which
// is then renamed over the file. mode: permissions of the replaced file, if there was one.
void Store(const fs::path& file, std::string_view data, std::optional<mode_t> mode) {
  static std::atomic<unsigned> counter{0};
  const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
  fs::path temp;
  int raw_fd = -1;
  while (raw_fd < 0) {
    temp = folder / ("." + file.filename().string() + ".tmp" + std::to_string(::getpid()) + "." +
                     std::to_string(counter++));
    raw_fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (raw_fd < 0 && errno != EEXIST) {
      throw std::system_error(LastError(), "cannot create " + temp.string());
    }
  }
  Fd fd(raw_fd);
  try {
    WriteAll(fd.get(), data);
    if (mode && ::fchmod(fd.get(), *mode) != 0) throw std::system_error(LastError(), "fchmod");
    if (::fsync(fd.get()) != 0) throw std::system_error(LastError(), "fsync");
    if (::close(fd.release()) != 0) throw std::system_error(LastError(), "close");
    if (::rename(temp.c_str(), file.c_str()) != 0) {
      throw std::system_error(LastError(), "cannot replace " + file.string());
    }
  } catch (...) {
    ::unlink(temp.c_str());
    throw;
  }
  // Make the rename itself durable; the file is already in place if this fails.
  Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
}

void CheckWritable(std::string_view section, std::string_view ident, std::string_view value) {
  const auto has_break = [](std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
  };
  if (has_break(section) || has_break(ident) || has_break(value)) {
    throw std::invalid_argument("TIniFile: line break in section, key or value");
  }
  if (section.find(']') != std::string_view::npos) {
    throw std::invalid_argument("TIniFile: ']' in section name");
  }
  if (ident.find('=') != std::string_view::npos || ident.starts_with(';') ||
      ident.starts_with('[')) {
    throw std::invalid_argument("TIniFile: key cannot be written: " + std::string(ident));
  }
}

}  // namespace

TIniFile::TIniFile(std::filesystem::path FileName) : file_name_(std::move(FileName)) {}

const std::filesystem::path& TIniFile::FileName() const { return file_name_; }

std::string TIniFile::ReadString(std::string_view Section, std::string_view Ident,
                                 std::string_view Default) const {
  const std::optional<std::string> raw = ReadRaw(file_name_, Section, Ident);
  if (!raw) return std::string(Default);
  return std::string(Cut(Unquote(*raw)));
}

int TIniFile::ReadInteger(std::string_view Section, std::string_view Ident, int Default) const {
  const std::string text = ReadString(Section, Ident, "");
  return StrToInt(text).value_or(Default);
}

bool TIniFile::ReadBool(std::string_view Section, std::string_view Ident, bool Default) const {
  return ReadInteger(Section, Ident, Default ? 1 : 0) != 0;
}

void TIniFile::WriteString(std::string_view Section, std::string_view Ident,
                           std::string_view Value) {
  Section = Trim(Section);
  Ident = Trim(Ident);
  CheckWritable(Section, Ident, Value);

  std::lock_guard lock(write_mutex_);
  const fs::path target = WriteTarget(file_name_);
  std::error_code ec;
  std::optional<FileContent> content = Load(target, ec);
  std::optional<mode_t> mode;
  if (content) {
    mode = content->mode;
  } else if (ec == std::errc::no_such_file_or_directory) {
    content.emplace();
  } else {
    throw std::system_error(ec, "cannot read " + target.string());
  }
  const std::string updated = Update(content->data, Section, Ident, Value);
  if (mode && updated == content->data) return;  // already so
  Store(target, updated, mode);
}

void TIniFile::WriteInteger(std::string_view Section, std::string_view Ident, int Value) {
  WriteString(Section, Ident, std::to_string(Value));
}

bool TIniFile::SectionExists(std::string_view Section) const {
  std::error_code ec;
  const std::optional<FileContent> content = Load(file_name_, ec);
  if (!content) return false;
  return Find(Split(content->data).lines, Trim(Section), {}).section.has_value();
}

bool TIniFile::ValueExists(std::string_view Section, std::string_view Ident) const {
  return ReadRaw(file_name_, Section, Ident).has_value();
}
