// The editor's tokens of source lines: a table of lines, each with its tokens' kinds and
// columns, covering every kind of statement, every number form and the malformed cases.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SourceTokens.h"

namespace tervik::assembler {
namespace {

// A token as "K@column+length", K one letter per kind.
std::string Show(const std::vector<Token>& tokens) {
  static constexpr char kLetters[] = "mpdrangls\";oe";
  std::string text;
  for (const Token& t : tokens) {
    if (!text.empty()) text += ' ';
    text += kLetters[static_cast<int>(t.kind)];
    // Appended piece by piece: GCC 12 at -O2 misreads "literal" + std::string (-Wrestrict).
    text += '@';
    text += std::to_string(t.column);
    text += '+';
    text += std::to_string(t.length);
  }
  return text;
}

TEST(SourceTokens, LinesToKindsAndColumns) {
  const AliasNames aliases = {"count"};
  const struct {
    const char* line;
    const char* tokens;
  } cases[] = {
      // m mnemonic, p pseudo, d directive, r register, a alias, n number, g label, l symbol,
      // s function, " string, ; comment, o operator, e error
      {"", ""},
      {"   ; only a comment", ";@4+16"},
      {"start:  MVSPL   STACK%", "g@1+5 o@6+1 m@9+5 l@17+5 o@22+1"},
      {"loop ADD R1,R2,R3", "g@1+4 m@6+3 r@10+2 o@12+1 r@13+2 o@15+1 r@16+2"},
      {"a: b: addi r1,r1,h#ff%",
       "g@1+1 o@2+1 g@4+1 o@5+1 m@7+4 r@12+2 o@14+1 r@15+2 o@17+1 n@18+5"},
      {"        LI      count,0x1F+0b101", "p@9+2 a@17+5 o@22+1 n@23+4 o@27+1 n@28+5"},
      {"        CALLTO  R9,HI(x)+LO (y)",
       "p@9+6 r@17+2 o@19+1 s@20+2 o@22+1 l@23+1 o@24+1 o@25+1 s@26+2 o@29+1 l@30+1 o@31+1"},
      {"STACK   EQU     H#1800", "g@1+5 d@9+3 n@17+6"},
      {"count   reg     R5 ; alias", "g@1+5 d@9+3 r@17+2 ;@20+7"},
      {"        DW      \"a;\\\"b\",'x',3 DUP 7",
       "d@9+2 \"@17+7 o@24+1 n@25+3 o@28+1 n@29+1 d@31+3 n@35+1"},
      {"        INCLUDE \"lib.inc\"", "d@9+7 \"@17+9"},
      {"        ORG     12abc", "d@9+3 e@17+5"},
      {"        DW      \"open", "d@9+2 e@17+5"},
      {"        JUMPI   PC,SP ; R1 in a comment", "m@9+5 r@17+2 o@19+1 r@20+2 ;@23+17"},
      {"x = 5", "l@1+1 o@3+1 n@5+1"},
      {"\tRET\t; tab", "m@2+3 ;@6+5"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Show(TokenizeLine(c.line, aliases)), c.tokens) << c.line;
  }
}

TEST(SourceTokens, AliasesAreTheNamesBeforeReg) {
  const AliasNames found =
      FindAliases("ptr REG R4\n; n REG R1\nn EQU 3\nidx: ADD R1,R2,R3\nsp2 reg r2\n");
  EXPECT_EQ(found, (AliasNames{"ptr", "sp2"}));
}

}  // namespace
}  // namespace tervik::assembler
