// Symbol files: the labels and EQU constants of an assembled program, which the assembler writes
// beside its listing and the debugger and the runner read.
//
// The format is text, one symbol per line:
//   VALUE KIND NAME
// VALUE is eight hex digits (the assembler writes upper case; either case is read), KIND is L for
// a label (an address in the program) or E for an EQU constant (a negative constant as its 32-bit
// two's complement), NAME is [A-Za-z_.][A-Za-z0-9_.]* of any length (the assembler sets none).
// Fields are separated by blanks (spaces or tabs). Blank lines and lines whose first non-blank
// character is ';' are comments; the assembler starts the file with "; Tervik symbols". Symbols
// come in the order the source defines them, and a name appears once.
//
// A line with KIND U is a use, not a symbol: VALUE is the address of a word whose operand the
// source wrote with the symbol NAME (`MOVEL R9,fact%`, each word of `LI R1,table`), so a
// debugger names the label such a word reaches and no other word's constant that happens to
// equal an address. The assembler writes the uses after the symbols, by address; files without
// them (older ones) load as before.
//
// The comment line "; listing HASH" (HASH sixteen hex digits, the ListingFingerprint of
// Listing.h) says which listing the symbols belong to: the assembler writes it second, and the
// readers use the symbols with that listing only. A file without it (as older assemblers wrote)
// belongs to any listing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tervik {

// A symbol file larger than this is refused: no program has that many symbols.
inline constexpr size_t kMaxSymbolFileBytes = 64u << 20;

struct SymbolEntry {
  std::string name;
  uint32_t value = 0;
  bool label = true;  // an address in the program, rather than an EQU constant

  bool operator==(const SymbolEntry&) const = default;
};

// A word whose operand was written with a symbol: its address and the symbol's name.
struct SymbolUse {
  uint32_t address = 0;
  std::string name;

  bool operator==(const SymbolUse&) const = default;
};

// The symbols of one program, found by name and, for labels, by address.
class SymbolTable {
 public:
  SymbolTable() = default;
  // Entries with a name already given are dropped: the first definition counts. `uses` may come
  // in any order.
  explicit SymbolTable(std::vector<SymbolEntry> entries, std::vector<SymbolUse> uses = {});

  const std::vector<SymbolEntry>& Entries() const { return entries_; }
  // The uses, by address.
  const std::vector<SymbolUse>& Uses() const { return uses_; }
  // Whether the word at `address` has an operand the source wrote with a symbol.
  bool WrittenWithSymbol(uint32_t address) const;
  bool empty() const { return entries_.empty(); }
  size_t size() const { return entries_.size(); }

  std::optional<uint32_t> Value(std::string_view name) const;
  // The first label defined at `address`, or null.
  const std::string* LabelAt(uint32_t address) const;
  // Where `address` lies: "loop" at a label, "loop+2" two words after the nearest label below it
  // (at most `maxDistance` words); empty when no label is that close.
  std::string Locate(uint32_t address, uint32_t maxDistance = 0x10000) const;

 private:
  std::vector<SymbolEntry> entries_;
  std::unordered_map<std::string, size_t> byName_;
  std::vector<std::pair<uint32_t, size_t>> labels_;  // (address, entry), by address, then order
  std::vector<SymbolUse> uses_;                      // by address
};

// The text of a symbol file for `entries`, of the listing with the fingerprint `listing` when
// given, then the `uses` (written by address).
std::string FormatSymbolFile(std::span<const SymbolEntry> entries,
                             std::optional<uint64_t> listing = std::nullopt,
                             std::span<const SymbolUse> uses = {});

struct SymbolFileResult {
  bool read = false;  // false: the file could not be used at all, `failure` says why
  std::string failure;
  SymbolTable table;                // the symbols of every line that could be read
  std::vector<std::string> errors;  // "line 7: expected 8 hex digits", at most kMaxErrors
  size_t badLines = 0;              // all lines that could not be read
  std::optional<uint64_t> listing;  // the fingerprint of the "; listing" line, when there is one

  // Whether the symbols may be used with the listing of fingerprint `fingerprint`.
  bool BelongsTo(uint64_t fingerprint) const { return !listing || *listing == fingerprint; }

  static constexpr size_t kMaxErrors = 5;
};

// Reads symbols from a text; a line that does not fit the format is skipped and reported. Text
// with a NUL byte is not a symbol file.
SymbolFileResult ParseSymbolFile(std::string_view text);
// Reads the regular file at `path` (at most kMaxSymbolFileBytes) with ParseSymbolFile.
SymbolFileResult ReadSymbolFile(const std::string& path);

}  // namespace tervik
