// The pieces of one line of assembler source for an editor's colours: each token's kind, column
// and length, read the way the assembler reads the line (Assembler.h). Never fails: text the
// assembler would refuse is still split into tokens, a malformed number or an unterminated
// string marked as an error.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tervik::assembler {

enum class TokenKind : uint8_t {
  Mnemonic,   // an instruction's mnemonic
  Pseudo,     // LI, CALLTO, JUMPTO
  Directive,  // ORG, DW, SPACE, ALIGN, INCLUDE, EQU, REG, DUP
  Register,   // R0..R31 and the other names the debugger reads as registers
  Alias,      // a name a REG line makes a register alias
  Number,     // every literal the number parser reads, with a '%' after it
  Label,      // a name defined on the line: "loop:", "loop ADD ...", "N EQU 5"
  Symbol,     // a name used in an operand
  Function,   // HI( and LO(
  String,     // "text", quotes included
  Comment,    // from ';' to the end of the line
  Operator,   // anything else that is not blank: , ( ) + - : ...
  Error,      // a malformed number, an unterminated string
};

struct Token {
  TokenKind kind = TokenKind::Symbol;
  unsigned column = 0;  // from 1, in bytes
  unsigned length = 0;  // in bytes

  bool operator==(const Token&) const = default;
};

// Names compared without regard to case, as the assembler compares mnemonics; aliases are
// compared as written.
using AliasNames = std::set<std::string, std::less<>>;

// The register aliases a text defines: the names before REG on its lines.
AliasNames FindAliases(std::string_view text);

// The tokens of one line (no line break in it), in order.
std::vector<Token> TokenizeLine(std::string_view line, const AliasNames& aliases = {});

}  // namespace tervik::assembler
