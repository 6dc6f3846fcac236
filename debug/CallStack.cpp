#include "CallStack.h"

#include "Text.h"

namespace tervik::debug {

std::vector<Frame> ReadCallStack(Session& session, size_t maxFrames) {
  std::vector<Frame> frames;
  if (maxFrames == 0) return frames;
  const Processor& cpu = session.Cpu();
  frames.push_back(Frame{cpu.pc, std::nullopt});
  uint32_t slot = cpu.sp;
  for (uint32_t n = 0; n < kMaxStackWords && frames.size() < maxFrames; ++n) {
    if (slot == 0) break;  // the stack grows upwards from its start; nothing lies below 0
    --slot;
    const std::optional<uint32_t> word = session.PeekWord(slot);
    if (!word) break;  // the end of the stack's memory
    if (*word != 0 && session.IsCallAt(*word - 1)) frames.push_back(Frame{*word, slot});
  }
  return frames;
}

std::string FrameName(uint32_t address, const SymbolTable& symbols) {
  std::string name = symbols.Locate(address);
  if (name.empty()) lang::AppendHex8(name, address);
  return name;
}

std::string CallStackText(const std::vector<Frame>& frames, const SymbolTable& symbols) {
  std::string text;
  for (const Frame& frame : frames) {
    if (!text.empty()) text += " \u2190 ";
    text += FrameName(frame.address, symbols);
  }
  return text;
}

}  // namespace tervik::debug
