// Reading a source text into lines, with the lines of every file it includes in place after the
// INCLUDE line that names it (nested up to kMaxIncludeDepth, never in a cycle).
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tervik::assembler {

// Reads an included file: its text, or std::nullopt with `error` saying why.
using IncludeReader =
    std::function<std::optional<std::string>(const std::string& path, std::string& error)>;

// How deeply INCLUDE lines may nest.
inline constexpr int kMaxIncludeDepth = 16;

// One line of the source with the included files' lines in place.
struct SourceLine {
  std::string_view text;
  size_t file = 0;       // index into the file names; 0 is the source itself
  unsigned line = 0;     // in its file, from 1
  bool include = false;  // an INCLUDE line, handled while the lines were read
};

// An error on an INCLUDE line: the index of the line, a column and the message.
struct SourceError {
  size_t line;
  unsigned column;
  std::string message;
};

class SourceReader {
 public:
  // Reads `source`, whose path is `file` (INCLUDE paths are relative to its folder), with `read`
  // for the included files. `read` must outlive the reader's use.
  SourceReader(std::string_view source, std::string_view file, const IncludeReader& read);
  SourceReader(const SourceReader&) = delete;
  SourceReader& operator=(const SourceReader&) = delete;

  const std::vector<SourceLine>& Lines() const { return lines_; }
  // The file names: 0 is the source itself, then each included file as it was read.
  const std::vector<std::string>& Files() const { return files_; }
  const std::vector<SourceError>& Errors() const { return errors_; }

 private:
  // Appends the lines of `text`, from file `file`, each INCLUDE line followed by the included
  // file's lines; `open` holds the files being included around this one.
  void ReadLines(std::string_view text, size_t file, std::vector<std::string> open);
  void Include(const std::string& name, unsigned column, size_t from,
               const std::vector<std::string>& open);

  const IncludeReader* read_ = nullptr;
  std::vector<std::string> files_;
  std::deque<std::string> texts_;  // the included files' texts, which lines_ points into
  std::vector<SourceLine> lines_;
  std::vector<SourceError> errors_;
};

}  // namespace tervik::assembler
