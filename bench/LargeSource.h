// A large assembly source for the assembler's and the Source window's benchmarks.
#pragma once

#include <string>

namespace tervik::bench {

inline constexpr unsigned kLargeSourceLines = 100000;

// About kLargeSourceLines lines of every kind the assembler reads: labels, instructions, LI and
// CALLTO of several words, data and comments, the subroutine they call at the end.
inline std::string MakeLargeSource() {
  std::string text = "STACK   EQU     H#1800\nstart:  MVSPL   STACK%\n";
  for (unsigned i = 2; i + 4 < kLargeSourceLines; i += 4) {
    const std::string n = std::to_string(i);
    text += "l" + n + ":  LI      R1,H#" + std::to_string(10000 + i) + "   ; load a constant\n";
    text += "        ADD     R2,R2,R1\n";
    text += "        CALLTO  R9,sub\n";
    text += "        DW      " + n + ",'x'     ; data between the lines\n";
  }
  text += "sub:    ADDI    R3,R3,1\n        RET\n";
  return text;
}

}  // namespace tervik::bench
