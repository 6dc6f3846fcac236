// Writing, reading and looking up line tables.
#include "LineTable.h"

#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <utility>

#include "Files.h"

namespace tervik {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view NextField(std::string_view line, size_t& pos) {
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  const size_t start = pos;
  while (pos < line.size() && !IsBlank(line[pos])) ++pos;
  return line.substr(start, pos - start);
}

bool IsHexWord(std::string_view field) {
  return field.size() == 8 && std::all_of(field.begin(), field.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
         });
}

template <typename T>
bool ParseNumber(std::string_view field, T& value, int base = 10) {
  if (field.empty()) return false;
  const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), value, base);
  return ec == std::errc() && end == field.data() + field.size();
}

uint64_t LineKey(uint32_t file, unsigned line) {
  return (static_cast<uint64_t>(file) << 32) | line;
}

}  // namespace

LineTable::LineTable(std::vector<std::string> files, std::vector<LineRange> ranges)
    : files_(std::move(files)) {
  std::stable_sort(ranges.begin(), ranges.end(),
                   [](const LineRange& a, const LineRange& b) { return a.first < b.first; });
  ranges_.reserve(ranges.size());
  uint64_t next = 0;  // the first address no kept range holds
  for (const LineRange& r : ranges) {
    if (r.count == 0 || r.file >= files_.size() || r.first < next) continue;
    if (static_cast<uint64_t>(r.first) + r.count > (uint64_t{1} << 32)) continue;
    ranges_.push_back(r);
    next = static_cast<uint64_t>(r.first) + r.count;
    const auto [it, fresh] = firstByLine_.emplace(LineKey(r.file, r.line), r.first);
    if (!fresh) it->second = std::min(it->second, r.first);
  }
}

const LineRange* LineTable::At(uint32_t address) const {
  auto it = std::upper_bound(ranges_.begin(), ranges_.end(), address,
                             [](uint32_t a, const LineRange& r) { return a < r.first; });
  if (it == ranges_.begin()) return nullptr;
  --it;
  return address - it->first < it->count ? &*it : nullptr;
}

bool LineTable::IsLineStart(uint32_t address) const {
  const LineRange* r = At(address);
  return r != nullptr && r->first == address;
}

std::optional<uint32_t> LineTable::FirstAddress(uint32_t file, unsigned line) const {
  const auto it = firstByLine_.find(LineKey(file, line));
  if (it == firstByLine_.end()) return std::nullopt;
  return it->second;
}

std::optional<uint32_t> LineTable::FileIndex(const std::string& path) const {
  const std::filesystem::path wanted = std::filesystem::path(path).lexically_normal();
  for (size_t i = 0; i < files_.size(); ++i) {
    if (std::filesystem::path(files_[i]).lexically_normal() == wanted) {
      return static_cast<uint32_t>(i);
    }
  }
  return std::nullopt;
}

std::string FormatLineTable(const LineTable& table, const std::filesystem::path& folder) {
  std::string text =
      "; Tervik lines: F INDEX PATH names a file; ADDRESS COUNT FILE LINE: that file's line "
      "LINE placed COUNT words from ADDRESS\n";
  const std::filesystem::path base = folder.empty() ? "." : folder;
  for (size_t i = 0; i < table.Files().size(); ++i) {
    std::filesystem::path path(table.Files()[i]);
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    const std::filesystem::path root = std::filesystem::absolute(base, ec);
    if (!ec) {
      const std::filesystem::path relative =
          absolute.lexically_normal().lexically_relative(root.lexically_normal());
      const bool below = !relative.empty() && *relative.begin() != "..";
      path = below ? relative : absolute.lexically_normal();
    }
    text.append("F ").append(std::to_string(i)).append(" ").append(path.string()).append("\n");
  }
  char address[16];
  for (const LineRange& r : table.Ranges()) {
    std::snprintf(address, sizeof address, "%08" PRIX32, r.first);
    text.append(address)
        .append(" ")
        .append(std::to_string(r.count))
        .append(" ")
        .append(std::to_string(r.file))
        .append(" ")
        .append(std::to_string(r.line))
        .append("\n");
  }
  return text;
}

LineTableResult ParseLineTable(std::string_view text, const std::filesystem::path& folder) {
  LineTableResult result;
  if (text.find('\0') != std::string_view::npos) {
    result.failure = "it is not a line table (it holds binary data)";
    return result;
  }
  result.read = true;
  std::vector<std::string> files;
  std::vector<bool> named;
  std::vector<LineRange> ranges;
  size_t number = 0;
  const auto bad = [&](const std::string& error) {
    ++result.badLines;
    if (result.errors.size() < LineTableResult::kMaxErrors) {
      result.errors.push_back("line " + std::to_string(number) + ": " + error);
    }
  };
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos || line[first] == ';') continue;
    size_t pos = 0;
    const std::string_view kind = NextField(line, pos);
    if (kind == "F") {
      uint32_t index = 0;
      if (!ParseNumber(NextField(line, pos), index) || index > 0xFFFF) {
        bad("expected a file index after F");
        continue;
      }
      while (pos < line.size() && IsBlank(line[pos])) ++pos;
      const std::string_view name = line.substr(pos);
      if (name.empty()) {
        bad("expected a path after the file index");
        continue;
      }
      std::filesystem::path path(name);
      if (path.is_relative() && !folder.empty()) path = folder / path;
      if (files.size() <= index) {
        files.resize(index + 1);
        named.resize(index + 1);
      }
      files[index] = path.lexically_normal().string();
      named[index] = true;
      continue;
    }
    if (!IsHexWord(kind)) continue;  // a record of a kind this reader does not know
    LineRange r;
    ParseNumber(kind, r.first, 16);
    if (!ParseNumber(NextField(line, pos), r.count) || r.count == 0) {
      bad("expected a word count of at least 1 after the address");
      continue;
    }
    if (!ParseNumber(NextField(line, pos), r.file)) {
      bad("expected a file index after the count");
      continue;
    }
    if (!ParseNumber(NextField(line, pos), r.line) || r.line == 0) {
      bad("expected a line number from 1 after the file index");
      continue;
    }
    if (!NextField(line, pos).empty()) {
      bad("unexpected text after the line number");
      continue;
    }
    ranges.push_back(r);
  }
  const size_t unnamed =
      static_cast<size_t>(std::count_if(ranges.begin(), ranges.end(), [&named](const LineRange& r) {
        return r.file >= named.size() || !named[r.file];
      }));
  if (unnamed > 0) {
    result.badLines += unnamed;
    result.errors.push_back(std::to_string(unnamed) +
                            (unnamed == 1 ? " record names" : " records name") +
                            " a file no F record names");
  }
  std::erase_if(ranges,
                [&named](const LineRange& r) { return r.file >= named.size() || !named[r.file]; });
  result.table = LineTable(std::move(files), std::move(ranges));
  return result;
}

LineTableResult ReadLineTable(const std::string& path) {
  std::string text;
  std::string error;
  if (!platform::ReadRegularFile(path, text, error, kMaxLineTableBytes)) {
    LineTableResult result;
    result.failure = error;
    return result;
  }
  return ParseLineTable(text, std::filesystem::path(path).parent_path());
}

}  // namespace tervik
