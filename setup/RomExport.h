// The program in memory as the initial contents of a ROM in VHDL.
#pragma once

#include <cstdint>
#include <string>

#include "Processor.h"

namespace tervik {

// The addresses the export covers: 0 to 1024 inclusive, 1025 lines.
inline constexpr uint32_t kRomExportLastAddress = 1024;

// One line per word address 0..1024, each ending in CR LF:
//   ROM_WORD'("<32 binary digits>"), -- <address %05d> <word %08X> <disassembly>
// without the comma on the last line. Each word is read twice through the bus (once for the
// binary digits, once for the comment), so a module's ReadMem is called twice per address.
std::string RomExportText(Processor& processor);

// How the ROM image formats read and show the words, where they differ from "Copy as ROM".
struct RomTextStyle {
  bool hexAddresses = false;    // the comment's address as eight hex digits instead of %05u
  bool unmappedAsZero = false;  // an address no region serves gives 0 instead of FFFFFFFF
};

// The same lines for `count` words from `first` (at least one; addresses wrap past FFFFFFFF):
// the last line of the range is the one without the comma. tervik-rom and "Export ROM..." write
// this text (in their style), and wrap it into a VHDL package.
std::string RomExportText(Processor& processor, uint32_t first, uint64_t count,
                          RomTextStyle style = {});

}  // namespace tervik
