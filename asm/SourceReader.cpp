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

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

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
  sites_.emplace_back();
  ReadLines(source, 0);
}

void SourceReader::ReadLines(std::string_view text, size_t file) {
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  // An included file's name is normal already (Include); the source's may not be.
  open_.push_back(file == 0 ? std::filesystem::path(files_[0]).lexically_normal().string()
                            : files_[file]);
  unsigned number = 0;
  size_t start = 0;
  while (start < text.size() && !stopped_) {
    if (file != 0 && ++includedLines_ > kMaxIncludedLines) {
      stopped_ = true;
      errors_.push_back({sites_[file].line, sites_[file].column,
                         "INCLUDE adds more than " + std::to_string(kMaxIncludedLines) +
                             " lines in all (a file included again counts again)"});
      break;
    }
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
      Include(path, column, index);
    } catch (const LineError& e) {
      errors_.push_back({index, e.column, e.message});
    }
  }
  open_.pop_back();
}

void SourceReader::Include(const std::string& name, unsigned column, size_t line) {
  const size_t from = lines_[line].file;
  // The same name in the same file is the same path: worked out once, as a file included many
  // times over names its includes again and again.
  std::string key = files_[from];
  key.append(1, '\0').append(name);
  auto known = paths_.find(key);
  if (known == paths_.end()) {
    std::filesystem::path path(name);
    if (path.is_relative()) path = std::filesystem::path(files_[from]).parent_path() / path;
    known = paths_.emplace(std::move(key), path.lexically_normal().string()).first;
  }
  const std::string& shown = known->second;
  if (std::find(open_.begin(), open_.end(), shown) != open_.end()) {
    throw LineError{column, "'" + shown + "' is already being included: INCLUDE would never end"};
  }
  if (static_cast<int>(open_.size()) > kMaxIncludeDepth) {
    throw LineError{column,
                    "INCLUDE nested more than " + std::to_string(kMaxIncludeDepth) + " deep"};
  }
  if (!*read_) throw LineError{column, "INCLUDE reads files, and none can be read here"};
  auto it = texts_.find(shown);
  if (it == texts_.end()) {
    std::string why;
    std::optional<std::string> text = (*read_)(shown, why);
    if (!text) throw LineError{column, "cannot read '" + shown + "': " + why};
    it = texts_.emplace(shown, std::move(*text)).first;
  }
  files_.push_back(shown);
  sites_.push_back({line, column});
  ReadLines(it->second, files_.size() - 1);
}

}  // namespace tervik::assembler
