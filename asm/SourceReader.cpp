// Reading a source text and the files it includes into lines.
#include "SourceReader.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <utility>

#include "InstructionSet.h"
#include "LineScanner.h"

namespace tervik::assembler {

namespace {

// Whether a line is an INCLUDE line: the word INCLUDE first, and not as a label.
bool IsIncludeLine(std::string_view text) {
  LineScanner s(text);
  s.SkipBlanks();
  return IsSymbolStart(s.Peek()) && EqualsNoCase(s.ReadSymbol(), "INCLUDE") && s.Peek() != ':';
}

// The file an INCLUDE line names, and the column of its name.
std::pair<std::string, unsigned> IncludedPath(std::string_view text) {
  LineScanner s(text);
  s.SkipBlanks();
  s.ReadSymbol();
  s.SkipBlanks();
  if (s.Peek() != '"') s.Fail("expected a file name in double quotes after INCLUDE");
  const unsigned column = s.Column();
  std::string name = s.ParseString();
  s.ExpectEnd();
  if (name.empty()) throw LineError{column, "expected a file name, found \"\""};
  return {std::move(name), column};
}

}  // namespace

SourceReader::SourceReader(std::string_view source, std::string_view file,
                           const IncludeReader& read)
    : read_(&read) {
  files_.emplace_back(file);
  ReadLines(source, 0, {});
}

void SourceReader::ReadLines(std::string_view text, size_t file, std::vector<std::string> open) {
  open.push_back(std::filesystem::path(files_[file]).lexically_normal().string());
  unsigned number = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    start = end + 1;
    lines_.push_back({line, file, ++number, false});
    const size_t index = lines_.size() - 1;
    if (!IsIncludeLine(line)) continue;
    lines_[index].include = true;
    try {
      const auto [path, column] = IncludedPath(line);
      Include(path, column, file, open);
    } catch (const LineError& e) {
      errors_.push_back({index, e.column, e.message});
    }
  }
}

void SourceReader::Include(const std::string& name, unsigned column, size_t from,
                           const std::vector<std::string>& open) {
  std::filesystem::path path(name);
  if (path.is_relative()) path = std::filesystem::path(files_[from]).parent_path() / path;
  const std::string shown = path.lexically_normal().string();
  if (std::find(open.begin(), open.end(), shown) != open.end()) {
    throw LineError{column, "'" + shown + "' is already being included: INCLUDE would never end"};
  }
  if (static_cast<int>(open.size()) > kMaxIncludeDepth) {
    throw LineError{column,
                    "INCLUDE nested more than " + std::to_string(kMaxIncludeDepth) + " deep"};
  }
  if (!*read_) throw LineError{column, "INCLUDE reads files, and none can be read here"};
  std::string why;
  std::optional<std::string> text = (*read_)(shown, why);
  if (!text) throw LineError{column, "cannot read '" + shown + "': " + why};
  files_.push_back(shown);
  texts_.push_back(std::move(*text));
  ReadLines(texts_.back(), files_.size() - 1, open);
}

}  // namespace tervik::assembler
