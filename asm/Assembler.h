// The Tervik assembler: turns assembler source into a listing that the listing loader reads.
//
// Source syntax, one statement per line:
//   [label:]... [statement] [; comment]
// where a statement is an instruction in the disassembler's own text (mnemonic, then operands
// R0..R31, register aliases and immediates), a directive or a pseudo-instruction:
//   ORG expr          the next word's address
//   DW item,...       an expression, a string (one word per Unicode character, its code
//                     point) or `count DUP item`
//   SPACE n, ALIGN n  addresses kept free (no words): n of them, or up to a multiple of n
//   name EQU expr     a constant
//   name REG Rn       a register alias, used below its line
//   LI Rd,expr        MOVEL Rd,v (v sign-extends from 16 bits) or MOVEH Rd,HI(v) (lower half 0);
//                     otherwise, and whenever expr uses a symbol defined further down,
//                     MOVEH Rd,HI(v+H#8000) and ADDI Rd,Rd,LO(v)
//   CALLTO Rt,expr    LI Rt,expr and CALL Rt
//   JUMPTO Rt,expr    LI Rt,expr and JUMPr Rt
// A line `INCLUDE "file"` stands for the lines of that file, found relative to the folder of the
// file that includes it (nested up to kMaxIncludeDepth, adding up to kMaxIncludedLines lines).
// Sources are UTF-8; a byte-order mark at the start of a file is skipped. Operands are the
// debugger's expressions (lang/Expression.h): C's operators, HI() and LO(), H#hex, 0xhex,
// 0bbinary, decimal, characters and symbols; the value must be a 32-bit word (-80000000 to
// FFFFFFFF) and either an address (one label plus or minus plain numbers) or a plain number (the
// difference of two labels, or no label). ORG, EQU and the counts use only symbols defined above.
// The "%" that the disassembler prints after some immediates may follow those immediates; right
// after an H# number it is always that mark. Labels, constants and aliases may not take a name the
// debugger reads as a register (debug::IsReservedName).
//
// The listing has one line per source line, included lines in place after their INCLUDE line: a
// line that assembled words starts with each word's address (five upper-case hex digits), one
// blank and the word's 32 binary digits; a line with several words (data, a pseudo-instruction)
// gives one listing line per word, the source text on the first.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "LineTable.h"
#include "SourceReader.h"
#include "SymbolFile.h"

namespace tervik::assembler {

// A place in the source or an included file. Lines and columns count from 1; a column counts
// bytes.
struct SourcePlace {
  std::string file;  // the included file the line is in; empty for the source itself
  unsigned line = 0;
  unsigned column = 0;

  bool operator==(const SourcePlace&) const = default;
};

// One error found in the source. Lines and columns count from 1; a column counts bytes.
struct Diagnostic {
  unsigned line = 0;
  unsigned column = 0;
  std::string message;
  std::string file;  // the included file the line is in; empty for the source itself
  // For a line of an included file, the INCLUDE lines that brought it in, innermost first.
  std::vector<SourcePlace> includedFrom = {};

  bool operator==(const Diagnostic&) const = default;
};

// An assembled word, where it goes and the source line it came from (a line of its own file).
struct Word {
  uint32_t address = 0;
  uint32_t value = 0;
  unsigned line = 0;
  size_t file = 0;  // index into Result::files: 0 is the source itself

  bool operator==(const Word&) const = default;
};

struct Result {
  std::vector<Diagnostic> errors;    // in source order; empty when the source assembled
  std::vector<Word> words;           // in source order; empty when there were errors
  std::string listing;               // empty when there were errors
  std::vector<SymbolEntry> symbols;  // labels and EQU names as defined; empty on errors
  std::vector<SymbolUse> uses;       // words whose operand names a symbol, in source order
  std::vector<std::string> files;    // the source's path, then each included file as read
};

// The highest address a listing can hold: five hex digits.
inline constexpr uint32_t kMaxAddress = 0xFFFFF;

// Assembles a whole source text. `file` is its path, which INCLUDE paths are relative to;
// `read` reads included files (without it, INCLUDE is an error). Never throws on bad source;
// every problem is a Diagnostic.
Result Assemble(std::string_view source, std::string_view file = {},
                const IncludeReader& read = {});

// Whether a word is a pseudo-instruction (LI, CALLTO, JUMPTO), or a directive (ORG, DW, SPACE,
// ALIGN, INCLUDE, EQU, REG), without regard to case.
bool IsPseudoName(std::string_view name);
bool IsDirectiveName(std::string_view name);

// The line table of an assembled program: each source line's words as one range (a line whose
// words an ORG does not interrupt; every line's words are consecutive).
LineTable MakeLineTable(const Result& result);

// "file:line:column: error: message", the form compilers use, so editors can jump to it; `file`
// names the source, which a diagnostic in an included file replaces with that file. An error
// in an included file is followed by one line per INCLUDE line that brought it in, innermost
// first: "main.asm:3:9: note: included from here".
std::vector<std::string> DiagnosticLines(std::string_view file, const Diagnostic& d);
// The same lines joined by line feeds.
std::string FormatDiagnostic(std::string_view file, const Diagnostic& d);

}  // namespace tervik::assembler
