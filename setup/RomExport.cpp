// Builds the ROM export text.
#include "RomExport.h"

#include <cstdio>

namespace tervik {

std::string RomExportText(Processor& processor) {
  std::string text;
  text.reserve((kRomExportLastAddress + 1) * 96);
  char comment[32];
  for (uint32_t i = 0; i <= kRomExportLastAddress; ++i) {
    const uint32_t word = processor.ReadMem(i);
    text += "ROM_WORD'(\"";
    for (int bit = 31; bit >= 0; --bit) text += ((word >> bit) & 1u) != 0 ? '1' : '0';
    text += i < kRomExportLastAddress ? "\"), -- " : "\") -- ";
    const std::string disassembly = Processor::Disassemble(word);
    const uint32_t again = processor.ReadMem(i);
    const int n = std::snprintf(comment, sizeof comment, "%05u %08X ", i, again);
    text.append(comment, static_cast<size_t>(n));
    text += disassembly;
    text += "\r\n";
  }
  return text;
}

}  // namespace tervik
