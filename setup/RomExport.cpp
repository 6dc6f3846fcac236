// Builds the ROM export text.
#include "RomExport.h"

#include <algorithm>
#include <cstdio>

namespace tervik {

std::string RomExportText(Processor& processor) {
  return RomExportText(processor, 0, uint64_t{kRomExportLastAddress} + 1);
}

std::string RomExportText(Processor& processor, uint32_t first, uint64_t count,
                          RomTextStyle style) {
  std::string text;
  text.reserve(count * 96);
  char comment[32];
  for (uint64_t k = 0; k < count; ++k) {
    const uint32_t i = first + static_cast<uint32_t>(k);
    const auto& regions = processor.Regions();
    const bool zero =
        style.unmappedAsZero && std::none_of(regions.begin(), regions.end(),
                                             [i](const MemoryRegion& r) { return r.Contains(i); });
    const uint32_t word = zero ? 0 : processor.ReadMem(i);
    text += "ROM_WORD'(\"";
    for (int bit = 31; bit >= 0; --bit) text += ((word >> bit) & 1u) != 0 ? '1' : '0';
    text += k + 1 < count ? "\"), -- " : "\") -- ";
    const std::string disassembly = Processor::Disassemble(word);
    const uint32_t again = zero ? 0 : processor.ReadMem(i);
    const int n = std::snprintf(comment, sizeof comment,
                                style.hexAddresses ? "%08X %08X " : "%05u %08X ", i, again);
    text.append(comment, static_cast<size_t>(n));
    text += disassembly;
    text += "\r\n";
  }
  return text;
}

}  // namespace tervik
