// Writing, reading and looking up symbols.
#include "SymbolFile.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "Files.h"

namespace tervik {

namespace {

bool IsNameStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '.';
}
bool IsNameChar(char c) {
  return IsNameStart(c) || (c >= '0' && c <= '9');
}
bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// The next blank-separated field of `line` from `pos`, which moves past it.
std::string_view NextField(std::string_view line, size_t& pos) {
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  const size_t start = pos;
  while (pos < line.size() && !IsBlank(line[pos])) ++pos;
  return line.substr(start, pos - start);
}

// One line's symbol (or use, `kind` 'U'), or the reason it is not one.
std::optional<SymbolEntry> ParseLine(std::string_view line, char& kindRead, std::string& error) {
  size_t pos = 0;
  const std::string_view value = NextField(line, pos);
  const std::string_view kind = NextField(line, pos);
  const std::string_view name = NextField(line, pos);
  SymbolEntry entry;
  if (value.size() != 8 || !std::all_of(value.begin(), value.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
      })) {
    error = "expected a value of 8 hex digits";
    return std::nullopt;
  }
  entry.value = static_cast<uint32_t>(std::strtoul(std::string(value).c_str(), nullptr, 16));
  if (kind != "L" && kind != "E" && kind != "U") {
    error = "expected L (label), E (constant) or U (use) after the value";
    return std::nullopt;
  }
  kindRead = kind[0];
  entry.label = kind == "L";
  if (name.empty() || !IsNameStart(name[0]) || !std::all_of(name.begin(), name.end(), IsNameChar)) {
    error = "expected a name of letters, digits, '_' and '.'";
    return std::nullopt;
  }
  if (!NextField(line, pos).empty()) {
    error = "unexpected text after the name";
    return std::nullopt;
  }
  entry.name = name;
  return entry;
}

// The fingerprint of a comment "; listing HASH" (the text after the ';').
std::optional<uint64_t> ListingLine(std::string_view comment) {
  size_t pos = 0;
  if (NextField(comment, pos) != "listing") return std::nullopt;
  const std::string_view hash = NextField(comment, pos);
  if (hash.size() != 16 || !NextField(comment, pos).empty() ||
      !std::all_of(hash.begin(), hash.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
      })) {
    return std::nullopt;
  }
  return std::strtoull(std::string(hash).c_str(), nullptr, 16);
}

}  // namespace

SymbolTable::SymbolTable(std::vector<SymbolEntry> entries, std::vector<SymbolUse> uses)
    : uses_(std::move(uses)) {
  std::stable_sort(uses_.begin(), uses_.end(),
                   [](const SymbolUse& a, const SymbolUse& b) { return a.address < b.address; });
  entries_.reserve(entries.size());
  for (SymbolEntry& e : entries) {
    if (byName_.contains(e.name)) continue;
    byName_.emplace(e.name, entries_.size());
    if (e.label) labels_.emplace_back(e.value, entries_.size());
    entries_.push_back(std::move(e));
  }
  std::stable_sort(labels_.begin(), labels_.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
}

std::optional<uint32_t> SymbolTable::Value(std::string_view name) const {
  const auto it = byName_.find(std::string(name));
  if (it == byName_.end()) return std::nullopt;
  return entries_[it->second].value;
}

bool SymbolTable::WrittenWithSymbol(uint32_t address) const {
  const auto it = std::lower_bound(uses_.begin(), uses_.end(), address,
                                   [](const SymbolUse& u, uint32_t a) { return u.address < a; });
  return it != uses_.end() && it->address == address;
}

const std::string* SymbolTable::LabelAt(uint32_t address) const {
  const auto it = std::lower_bound(labels_.begin(), labels_.end(), address,
                                   [](const auto& l, uint32_t a) { return l.first < a; });
  if (it == labels_.end() || it->first != address) return nullptr;
  return &entries_[it->second].name;
}

std::string SymbolTable::Locate(uint32_t address, uint32_t maxDistance) const {
  auto it = std::upper_bound(labels_.begin(), labels_.end(), address,
                             [](uint32_t a, const auto& l) { return a < l.first; });
  if (it == labels_.begin()) return {};
  const uint32_t at = std::prev(it)->first;
  // The first label defined at that address names it.
  it = std::lower_bound(labels_.begin(), labels_.end(), at,
                        [](const auto& l, uint32_t a) { return l.first < a; });
  const uint32_t distance = address - at;
  if (distance > maxDistance) return {};
  std::string text = entries_[it->second].name;
  if (distance != 0) text.append(1, '+').append(std::to_string(distance));
  return text;
}

std::string FormatSymbolFile(std::span<const SymbolEntry> entries, std::optional<uint64_t> listing,
                             std::span<const SymbolUse> uses) {
  std::string text = "; Tervik symbols: VALUE KIND NAME, KIND L for a label, E for a constant\n";
  char value[32];
  if (listing) {
    std::snprintf(value, sizeof value, "%016" PRIX64, *listing);
    text.append("; listing ").append(value).append("\n");
  }
  for (const SymbolEntry& e : entries) {
    std::snprintf(value, sizeof value, "%08" PRIX32, e.value);
    text.append(value).append(e.label ? " L " : " E ").append(e.name).append("\n");
  }
  if (uses.empty()) return text;
  std::vector<SymbolUse> sorted(uses.begin(), uses.end());
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const SymbolUse& a, const SymbolUse& b) { return a.address < b.address; });
  text += "; Uses: ADDRESS U NAME, the word at ADDRESS has an operand written with NAME\n";
  for (const SymbolUse& u : sorted) {
    std::snprintf(value, sizeof value, "%08" PRIX32, u.address);
    text.append(value).append(" U ").append(u.name).append("\n");
  }
  return text;
}

SymbolFileResult ParseSymbolFile(std::string_view text) {
  SymbolFileResult result;
  if (text.find('\0') != std::string_view::npos) {
    result.failure = "it is not a symbol file (it holds binary data)";
    return result;
  }
  result.read = true;
  std::vector<SymbolEntry> entries;
  std::vector<SymbolUse> uses;
  size_t number = 0;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const size_t first = line.find_first_not_of(" \t");
    if (first != std::string_view::npos && line[first] == ';' && !result.listing) {
      result.listing = ListingLine(line.substr(first + 1));
    }
    if (first == std::string_view::npos || line[first] == ';') continue;
    std::string error;
    char kind = 0;
    if (std::optional<SymbolEntry> entry = ParseLine(line, kind, error)) {
      if (kind == 'U')
        uses.push_back({entry->value, std::move(entry->name)});
      else
        entries.push_back(std::move(*entry));
      continue;
    }
    ++result.badLines;
    if (result.errors.size() < SymbolFileResult::kMaxErrors) {
      result.errors.push_back("line " + std::to_string(number) + ": " + error);
    }
  }
  result.table = SymbolTable(std::move(entries), std::move(uses));
  return result;
}

SymbolFileResult ReadSymbolFile(const std::string& path) {
  std::string text;
  std::string error;
  if (!platform::ReadRegularFile(path, text, error, kMaxSymbolFileBytes)) {
    SymbolFileResult result;
    result.failure = error;
    return result;
  }
  return ParseSymbolFile(text);
}

}  // namespace tervik
