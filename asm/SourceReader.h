// Reading a source text into lines, with the lines of every file it includes in place after the
// INCLUDE line that names it (nested up to kMaxIncludeDepth, never in a cycle, and adding at
// most kMaxIncludedLines lines in all).
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tervik::assembler {

// Reads an included file: its text, or std::nullopt with `error` saying why.
using IncludeReader =
    std::function<std::optional<std::string>(const std::string& path, std::string& error)>;

// How deeply INCLUDE lines may nest.
inline constexpr int kMaxIncludeDepth = 16;
// How many lines INCLUDE may add in all, each inclusion of a file counted again: a bound on the
// work of files that include one another many times over (16 files each including the next
// three times would stand for 3^15 copies).
inline constexpr size_t kMaxIncludedLines = size_t{1} << 18;
// The largest source file (and included file) the assembler and the Source window read: 8 MiB,
// some 200,000 lines, far beyond any program for this CPU's memory, and small enough that a file
// handed over by mistake (a log, an image) is refused at once instead of taking seconds and
// hundreds of megabytes to show.
inline constexpr size_t kMaxSourceBytes = size_t{8} << 20;

// One line of the source with the included files' lines in place.
struct SourceLine {
  std::string_view text;
  size_t file = 0;       // the inclusion it comes from (SourceReader::Files); 0 is the source
  unsigned line = 0;     // in its file, from 1
  bool include = false;  // an INCLUDE line, handled while the lines were read
};

// An error on an INCLUDE line: the index of the line, a column and the message.
struct SourceError {
  size_t line;
  unsigned column;
  std::string message;
};

// Where an included file was included: the index of the INCLUDE line and the column of its
// file name.
struct IncludeSite {
  size_t line = 0;
  unsigned column = 0;
};

class SourceReader {
 public:
  // Reads `source`, whose path is `file` (INCLUDE paths are relative to its folder), with `read`
  // for the included files; each file is read once, however often it is included. A UTF-8
  // byte-order mark at the start of a text is skipped. `read` must outlive the reader's use.
  SourceReader(std::string_view source, std::string_view file, const IncludeReader& read);
  SourceReader(const SourceReader&) = delete;
  SourceReader& operator=(const SourceReader&) = delete;

  const std::vector<SourceLine>& Lines() const { return lines_; }
  // The file name of each inclusion: 0 is the source itself, then each included file as it was
  // included (a file included twice is named twice).
  const std::vector<std::string>& Files() const { return files_; }
  // Where each inclusion in Files() was included; the entry of the source itself is unused.
  const std::vector<IncludeSite>& Sites() const { return sites_; }
  const std::vector<SourceError>& Errors() const { return errors_; }
  // Whether reading stopped at kMaxIncludedLines: the lines are then incomplete.
  bool Stopped() const { return stopped_; }

 private:
  // Appends the lines of `text`, from inclusion `file`, each INCLUDE line followed by the
  // included file's lines.
  void ReadLines(std::string_view text, size_t file);
  void Include(const std::string& name, unsigned column, size_t line);

  const IncludeReader* read_ = nullptr;
  std::vector<std::string> files_;
  std::vector<IncludeSite> sites_;
  std::vector<std::string> open_;             // the files being included, outermost first
  std::map<std::string, std::string> texts_;  // each included file's text; lines_ point in
  std::unordered_map<std::string, std::string> paths_;  // "including file\0name" -> path
  std::vector<SourceLine> lines_;
  std::vector<SourceError> errors_;
  size_t includedLines_ = 0;
  bool stopped_ = false;
};

}  // namespace tervik::assembler
