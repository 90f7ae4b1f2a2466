// INI file with the behaviour of the Windows profile-file functions, so that
// settings files written by earlier versions (or edited by hand) read the same
// and survive a write-back with their comments, order and foreign sections intact.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Section and key names compare case-insensitively (ASCII only). Blanks around
// section names, keys (in the file and in calls) and values are ignored; a value wrapped in matching double
// or single quotes reads without them. Lines starting with ';' or '#' are
// comments, other lines without '=' are kept but ignored, key lines before the
// first section belong to none. The first occurrence of a duplicated key wins;
// a section appearing twice reads as one. Keys and values are raw bytes.
//
// Writes change only the affected line and keep every line's ending. Changes
// stay in memory until UpdateFile. Not thread-safe.
class IniFile {
 public:
  // Reads the file if it exists; a missing file is empty.
  explicit IniFile(std::string path);

  const std::string& FileName() const { return path_; }
  // Why an existing file could not be read (strerror text), empty otherwise.
  // While set, UpdateFile refuses to write so that the unread contents are not
  // replaced by whatever was written since.
  const std::string& LoadError() const { return load_error_; }

  std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;
  // Decimal, or hex as "$1F" / "0x1F" (up to 8 digits, wrapping like a 32-bit
  // value); an optional sign is allowed. Anything else yields def.
  int ReadInteger(std::string_view section, std::string_view key, int def) const;
  // ReadInteger(.., def ? 1 : 0) != 0, so "true"/"yes" read as def.
  bool ReadBool(std::string_view section, std::string_view key, bool def) const;

  // Names and values are cut at the first line break, which the format cannot
  // hold. A value that would lose blanks or quotes on reading is written in double
  // quotes, and one replacing a quoted value keeps the file's quotes. An empty key
  // is ignored.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, int value);
  void WriteBool(std::string_view section, std::string_view key, bool value);  // "1" / "0"

  // Like the Windows functions, a section without keys cannot be told from a
  // missing one, so it does not exist.
  bool SectionExists(std::string_view section) const;
  bool ValueExists(std::string_view section, std::string_view key) const;
  // Key names in file order, spelled as in the file, without duplicates.
  std::vector<std::string> ReadSection(std::string_view section) const;
  // Removes every line of the key in the section, duplicates included.
  void DeleteKey(std::string_view section, std::string_view key);
  // Removes the section's header and all its lines, comments included.
  void EraseSection(std::string_view section);

  // Writes all lines back with WriteFileAtomic when modified. Returns false and
  // sets *error on failure; the in-memory state stays so a later call can retry.
  bool UpdateFile(std::string* error = nullptr);
  bool Modified() const { return modified_; }

 private:
  enum class Kind { Other, Section, Key };
  struct Line {
    std::string text;  // without the line ending
    std::string eol;   // "\n", "\r\n", or "" for an unterminated last line
    Kind kind = Kind::Other;
    std::string name;        // section or key, trimmed, spelled as in the file
    std::string value;       // key lines: trimmed and unquoted
    std::size_t value_pos = 0;  // key lines: where a replacement value starts
    char quote = 0;             // key lines: quote around the value, if any
  };
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

  static void Parse(Line& line);
  std::size_t FindKey(std::string_view section, std::string_view key) const;
  std::size_t FindHeader(std::string_view section) const;
  void Insert(std::size_t at, std::string text);

  std::string path_;
  std::string load_error_;
  std::string bom_;          // UTF-8 byte order mark in front of the first line, if any
  std::string default_eol_;  // for new lines: the file's first line ending
  std::vector<Line> lines_;
  bool modified_ = false;
};

}  // namespace platform
