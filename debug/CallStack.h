// The call stack at a stop, read from the stack as debuggers without frame information read it:
// the program counter, then every stack word below sp that is a return address, innermost first.
// A word counts as a return address when the word before the address it holds is a CALL (CALL
// pushes the address of the word after it). Values a subroutine pushed that happen to look like
// return addresses are taken for frames too; that is the price of needing no frame records.
//
// Only ROM and RAM words are read (Session::PeekWord), so a module is never asked, and reading
// stops at the first word that no ROM or RAM region serves or after kMaxStackWords words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Session.h"

namespace tervik::debug {

struct Frame {
  uint32_t address = 0;          // pc for the innermost frame, else the return address
  std::optional<uint32_t> slot;  // where on the stack the return address lies; none for pc
  bool operator==(const Frame&) const = default;
};

// How far below sp the reader looks.
inline constexpr uint32_t kMaxStackWords = 0x1000;

// The frames of the session's processor now, pc first; at most `maxFrames`.
std::vector<Frame> ReadCallStack(Session& session, size_t maxFrames = 256);

// Where an address lies for a person: "fact+3" by the symbols, else eight hex digits.
std::string FrameName(uint32_t address, const SymbolTable& symbols);

// The frames in one line, innermost first: "fact+3 ← fact+3 ← start+3".
std::string CallStackText(const std::vector<Frame>& frames, const SymbolTable& symbols);

}  // namespace tervik::debug
