// Line tables: which source file and line placed each word of an assembled program, which the
// assembler writes beside its listing (X.lines beside X.lst) and the debugger reads to stop on
// source lines and to show where pc is in the source.
//
// The format is text, one record per line, fields separated by blanks (spaces or tabs):
//   F INDEX PATH               names file INDEX (0 is the source itself, then each included
//                              file); PATH is the rest of the line, relative to the folder of
//                              the line table unless it is absolute
//   ADDRESS COUNT FILE LINE    line LINE (from 1) of file FILE placed COUNT words from ADDRESS
// ADDRESS is eight hex digits, COUNT, FILE and LINE are decimal. Blank lines and lines whose first
// non-blank character is ';' are comments; the assembler starts the file with "; Tervik lines".
// A line whose first field is neither F nor eight hex digits is a record of a kind this reader
// does not know and is skipped without a word, so later versions may add kinds. A program
// without a line table loads as before, without source lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tervik {

// A line table larger than this is refused.
inline constexpr size_t kMaxLineTableBytes = 256u << 20;

// The words one source line placed: `count` words from `first`.
struct LineRange {
  uint32_t first = 0;
  uint32_t count = 0;
  uint32_t file = 0;  // index into the table's files
  unsigned line = 0;  // in its file, from 1

  bool operator==(const LineRange&) const = default;
};

class LineTable {
 public:
  LineTable() = default;
  // Ranges of no words, of a file not named, or over words an earlier range holds are dropped.
  LineTable(std::vector<std::string> files, std::vector<LineRange> ranges);

  const std::vector<std::string>& Files() const { return files_; }
  // By address.
  const std::vector<LineRange>& Ranges() const { return ranges_; }
  bool empty() const { return ranges_.empty(); }

  // The range that holds the word at `address`, or null.
  const LineRange* At(uint32_t address) const;
  // Whether `address` is the first word of a line's range.
  bool IsLineStart(uint32_t address) const;
  // The lowest address line `line` of file `file` placed a word at, or nothing.
  std::optional<uint32_t> FirstAddress(uint32_t file, unsigned line) const;
  // The index of the file whose path is `path` (compared as normalised paths), or nothing.
  std::optional<uint32_t> FileIndex(const std::string& path) const;

 private:
  std::vector<std::string> files_;
  std::vector<LineRange> ranges_;
  std::unordered_map<uint64_t, uint32_t> firstByLine_;  // (file << 32 | line) -> address
};

// The text of a line table whose file paths are written relative to `folder` (where the table
// goes) when they lie below it.
std::string FormatLineTable(const LineTable& table, const std::filesystem::path& folder);

struct LineTableResult {
  bool read = false;  // false: the file could not be used at all, `failure` says why
  std::string failure;
  LineTable table;
  std::vector<std::string> errors;  // "line 7: expected ...", at most kMaxErrors
  size_t badLines = 0;

  static constexpr size_t kMaxErrors = 5;
};

// Reads a line table from a text; relative paths are taken from `folder`. A record that does
// not fit the format is skipped and reported.
LineTableResult ParseLineTable(std::string_view text, const std::filesystem::path& folder);
// Reads the regular file at `path` (at most kMaxLineTableBytes) with ParseLineTable.
LineTableResult ReadLineTable(const std::string& path);

}  // namespace tervik
