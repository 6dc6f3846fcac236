// ROM images in the formats FPGA tools read, for tervik-rom and the window's "Export ROM...":
// the words of an address range of the loaded memory, as text or bytes.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "Processor.h"

namespace tervik {

enum class RomFormat : uint8_t {
  VhdlAggregate,  // the lines of "Copy as ROM" for the range (RomExportText), hex addresses
  VhdlPackage,    // a VHDL package: ROM_DEPTH, ROM_ADDR_BITS, ROM_BASE, ROM_WORD, ROM_TYPE and
                  // the constant ROM, indexed from 0
  ReadMemH,       // Verilog $readmemh: one word a line, eight hex digits
  Mif,            // Intel/Altera Memory Initialization File, WIDTH=32, hex address and data
  Coe,            // Xilinx coefficient file, radix 16
  IntelHex,       // Intel HEX: each word four bytes, most significant first, from byte 0
  BinaryLittle,   // raw bytes, each word least significant byte first
  BinaryBig,      // raw bytes, each word most significant byte first
};

struct RomFormatInfo {
  RomFormat format;
  std::string_view name;       // the command-line name: "vhdl", "mif", "bin-le", ...
  std::string_view extension;  // the usual file name extension, with its dot
  std::string_view title;      // for the dialog
};

inline constexpr std::array<RomFormatInfo, 8> kRomFormats{{
    {RomFormat::VhdlAggregate, "vhdl-aggregate", ".txt", "VHDL aggregate (as Copy as ROM)"},
    {RomFormat::VhdlPackage, "vhdl", ".vhd", "VHDL package"},
    {RomFormat::ReadMemH, "readmemh", ".hex", "Verilog $readmemh hex"},
    {RomFormat::Mif, "mif", ".mif", "Intel/Altera memory initialization file"},
    {RomFormat::Coe, "coe", ".coe", "Xilinx coefficient file"},
    {RomFormat::IntelHex, "ihex", ".hex", "Intel HEX"},
    {RomFormat::BinaryLittle, "bin-le", ".bin", "Raw binary, little-endian"},
    {RomFormat::BinaryBig, "bin-be", ".bin", "Raw binary, big-endian"},
}};

// The format of a command-line name; nullopt for an unknown one.
std::optional<RomFormat> RomFormatNamed(std::string_view name);

// Largest range an image may cover: a million words (about 100 MB of VHDL).
inline constexpr uint64_t kRomImageMaxWords = uint64_t{1} << 20;

struct RomRange {
  uint32_t start = 0;
  uint64_t count = 0;  // 1..kRomImageMaxWords
};

// The default range: from the lowest address the listing placed, the smallest power of two of
// words that reaches its highest.
RomRange DefaultRomRange(uint32_t lowest, uint32_t highest);

// Whether `name` can name the VHDL package (a letter, then letters, digits and single '_', not
// ending in '_', and no reserved word of VHDL-2008 in any case).
bool IsVhdlIdentifier(std::string_view name);

// Why `range` cannot be written in `format`, or empty: a range that runs past FFFFFFFF, and an
// aggregate of one word (VHDL takes one element only when it is named: the package does that).
std::string RomRangeProblem(RomFormat format, const RomRange& range);

// The image of `range` in `format`, each word read through the bus as "Copy as ROM" reads it;
// with `unmappedAsZero`, an address no region serves gives 0. `packageName` names the VHDL
// package.
std::string RomImage(Processor& processor, RomFormat format, const RomRange& range,
                     std::string_view packageName = "tervik_rom", bool unmappedAsZero = false);

}  // namespace tervik
