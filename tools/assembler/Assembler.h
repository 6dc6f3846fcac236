// The Tervik assembler: turns assembler source into a listing that the listing loader reads.
//
// Source syntax, one statement per line:
//   [label:]... [statement] [; comment]
// where a statement is an instruction in the disassembler's own text (mnemonic, then operands
// R0..R31 and immediates), `ORG expr`, `DW item,...` (an item is an expression or a string,
// which gives one word per character) or `name EQU expr`. A line `INCLUDE "file"` stands for
// the lines of that file, found relative to the folder of the file that includes it. An expression
// is a sum of terms joined by + and -, a term being H#hex, 0xhex, decimal, a character literal or a
// symbol; every partial sum must fit 32 bits (-80000000 to FFFFFFFF). The "%" that the
// disassembler prints after some immediates may follow those immediates.
//
// The listing has one line per source line, included lines in place after their INCLUDE line: a
// line that assembled words starts with each word's address (five upper-case hex digits), one
// blank and the word's 32 binary digits; a data line with several words gives one listing line
// per word, the source text on the first.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "SymbolFile.h"

namespace tervik::assembler {

// One error found in the source. Lines and columns count from 1; a column counts bytes.
struct Diagnostic {
  unsigned line = 0;
  unsigned column = 0;
  std::string message;
  std::string file;  // the included file the line is in; empty for the source itself

  bool operator==(const Diagnostic&) const = default;
};

// An assembled word, where it goes and the source line it came from (a line of its own file).
struct Word {
  uint32_t address = 0;
  uint32_t value = 0;
  unsigned line = 0;

  bool operator==(const Word&) const = default;
};

struct Result {
  std::vector<Diagnostic> errors;    // in source order; empty when the source assembled
  std::vector<Word> words;           // in source order; empty when there were errors
  std::string listing;               // empty when there were errors
  std::vector<SymbolEntry> symbols;  // labels and EQU names as defined; empty on errors
};

// The highest address a listing can hold: five hex digits.
inline constexpr uint32_t kMaxAddress = 0xFFFFF;

// Reads an included file: its text, or std::nullopt with `error` saying why.
using IncludeReader =
    std::function<std::optional<std::string>(const std::string& path, std::string& error)>;

// How deeply INCLUDE lines may nest.
inline constexpr int kMaxIncludeDepth = 16;

// Assembles a whole source text. `file` is its path, which INCLUDE paths are relative to;
// `read` reads included files (without it, INCLUDE is an error). Never throws on bad source;
// every problem is a Diagnostic.
Result Assemble(std::string_view source, std::string_view file = {},
                const IncludeReader& read = {});

// "file:line:column: error: message", the form compilers use, so editors can jump to it; `file`
// names the source, which a diagnostic in an included file replaces with that file.
std::string FormatDiagnostic(std::string_view file, const Diagnostic& d);

}  // namespace tervik::assembler
