// Reader and writer of INI files in the Windows profile format (olt.ini, weiterleitung.ini).
//
// TIniFile keeps nothing in memory: every read opens and parses the file at the moment the
// value is needed, so an edit of the file takes effect with the next read. Every write
// rewrites the file at once, keeps all other lines byte for byte and replaces the file
// atomically (temp file in the same folder, then rename), so a reader never sees a
// half-written file.
//
// Format, as GetPrivateProfileString reads it:
//   - "[Section]" lines open a section, "Key=Value" lines belong to the last opened section;
//     lines before the first section belong to no section.
//   - section and key names are compared without regard to ASCII letter case;
//   - blanks and tabs around section names, keys and values are ignored;
//   - lines whose first non-blank character is ';' are comments;
//   - a UTF-8 BOM at the start of the file is skipped; lines end with CR LF or LF;
//   - a value enclosed in a matching pair of '"' or '\'' is read without the quotes;
//   - if a section or a key appears twice, the first occurrence wins.
#pragma once

#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>

class TIniFile {
 public:
  explicit TIniFile(std::filesystem::path FileName);

  const std::filesystem::path& FileName() const;

  // The value of the key, at most 2047 bytes (cut at a UTF-8 character boundary); Default
  // if the file, the section or the key is missing. An existing key with an empty value
  // yields "".
  std::string ReadString(std::string_view Section, std::string_view Ident,
                         std::string_view Default) const;
  // The value read as a decimal number with optional sign, or as hexadecimal after "$",
  // "0x" or "0X" (up to FFFFFFFF, taken as 32-bit two's complement); Default if the key is
  // missing or its value is empty, no number or out of the 32-bit range.
  int ReadInteger(std::string_view Section, std::string_view Ident, int Default) const;
  // ReadInteger with default 1 or 0: 0 is false, every other number is true.
  bool ReadBool(std::string_view Section, std::string_view Ident, bool Default) const;

  // Sets the key to Value: an existing key's line is replaced, a new key goes after the last
  // key line of the section, a missing section is appended at the end of the file, a missing
  // file is created. New lines end like the lines of the file (CR LF for a new file).
  // Throws std::invalid_argument if Section, Ident or Value contains a line break, or if
  // Section or Ident could not be read back as written (Section with ']', Ident with '=' or
  // beginning with ';' or '['); throws std::system_error if the file cannot be read or
  // written. On an error the file stays as it was.
  void WriteString(std::string_view Section, std::string_view Ident, std::string_view Value);
  // Writes the decimal text of Value.
  void WriteInteger(std::string_view Section, std::string_view Ident, int Value);

  bool SectionExists(std::string_view Section) const;
  bool ValueExists(std::string_view Section, std::string_view Ident) const;

 private:
  std::filesystem::path file_name_;
  // Serializes the read-modify-write of the writes through this object.
  std::mutex write_mutex_;
};
