// Writes the ROM image formats. The text formats end their lines in LF, except the aggregate,
// which is "Copy as ROM"'s text with its CR LF.
#include "RomImage.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "RomExport.h"

namespace tervik {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendHex(std::string& out, uint32_t value, int digits) {
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
    out += kHexDigits[(value >> shift) & 15u];
}

std::vector<uint32_t> ReadWords(Processor& processor, const RomRange& range, bool unmappedAsZero) {
  std::vector<uint32_t> words(range.count);
  const auto& regions = processor.Regions();
  for (uint64_t i = 0; i < range.count; ++i) {
    const uint32_t address = range.start + static_cast<uint32_t>(i);
    const bool served =
        std::any_of(regions.begin(), regions.end(),
                    [address](const MemoryRegion& r) { return r.Contains(address); });
    words[i] = unmappedAsZero && !served ? 0 : processor.ReadMem(address);
  }
  return words;
}

// The reserved words of VHDL-2008 (IEEE 1076-2008, 15.10), lower case, each between blanks.
constexpr std::string_view kVhdlReserved =
    " abs access after alias all and architecture array assert assume assume_guarantee "
    "attribute begin block body buffer bus case component configuration constant context "
    "cover default disconnect downto else elsif end entity exit fairness file for force "
    "function generate generic group guarded if impure in inertial inout is label library "
    "linkage literal loop map mod nand new next nor not null of on open or others out "
    "package parameter port postponed procedure process property protected pure range record "
    "register reject release rem report restrict restrict_guarantee return rol ror select "
    "sequence severity shared signal sla sll sra srl strong subtype then to transport type "
    "unaffected units until use variable vmode vprop vunit wait when while with xnor xor ";

bool IsVhdlReserved(std::string_view name) {
  std::string word = " ";
  for (char c : name) word += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  word += ' ';
  return kVhdlReserved.find(word) != std::string_view::npos;
}

// The fewest address bits that index `count` words (at least one).
unsigned AddressBits(uint64_t count) {
  unsigned bits = 1;
  while ((uint64_t{1} << bits) < count) ++bits;
  return bits;
}

// A comment line saying where the words came from, after the format's comment marker.
std::string Origin(std::string_view marker, const RomRange& range) {
  std::string line(marker);
  line += " Tervik ROM image: ";
  line += std::to_string(range.count);
  line += range.count == 1 ? " word from address " : " words from address ";
  AppendHex(line, range.start, 8);
  line += '\n';
  return line;
}

std::string VhdlPackage(Processor& processor, const RomRange& range, std::string_view name,
                        RomTextStyle style) {
  std::string text = Origin("--", range);
  text += "library ieee;\nuse ieee.std_logic_1164.all;\n\npackage ";
  text += name;
  text += " is\n";
  text += "  constant ROM_DEPTH : natural := " + std::to_string(range.count) + ";\n";
  text +=
      "  constant ROM_ADDR_BITS : natural := " + std::to_string(AddressBits(range.count)) + ";\n";
  text += "  constant ROM_BASE : std_logic_vector(31 downto 0) := x\"";
  AppendHex(text, range.start, 8);
  text += "\";\n";
  text += "  subtype ROM_WORD is std_logic_vector(31 downto 0);\n";
  text += "  type ROM_TYPE is array (0 to ROM_DEPTH - 1) of ROM_WORD;\n";
  text += "  constant ROM : ROM_TYPE := (\n";
  std::string lines = RomExportText(processor, range.start, range.count, style);
  std::erase(lines, '\r');
  // One element alone is not an aggregate in VHDL unless it is named.
  if (range.count == 1) text += "    0 => ";
  for (size_t begin = 0, end; (end = lines.find('\n', begin)) != std::string::npos;
       begin = end + 1) {
    if (range.count > 1) text += "    ";
    text.append(lines, begin, end + 1 - begin);
  }
  text += "  );\nend package ";
  text += name;
  text += ";\n";
  return text;
}

std::string ReadMemH(const std::vector<uint32_t>& words, const RomRange& range) {
  std::string text = Origin("//", range);
  for (uint32_t word : words) {
    AppendHex(text, word, 8);
    text += '\n';
  }
  return text;
}

std::string Mif(const std::vector<uint32_t>& words, const RomRange& range) {
  std::string text = Origin("--", range);
  text += "WIDTH=32;\nDEPTH=" + std::to_string(range.count);
  text += ";\n\nADDRESS_RADIX=HEX;\nDATA_RADIX=HEX;\n\nCONTENT BEGIN\n";
  for (size_t i = 0; i < words.size(); ++i) {
    text += "    ";
    AppendHex(text, static_cast<uint32_t>(i), 5);
    text += " : ";
    AppendHex(text, words[i], 8);
    text += ";\n";
  }
  text += "END;\n";
  return text;
}

std::string Coe(const std::vector<uint32_t>& words, const RomRange& range) {
  std::string text = Origin(";", range);
  text += "memory_initialization_radix=16;\nmemory_initialization_vector=\n";
  for (size_t i = 0; i < words.size(); ++i) {
    AppendHex(text, words[i], 8);
    text += i + 1 < words.size() ? ",\n" : ";\n";
  }
  return text;
}

void AppendRecord(std::string& text, uint32_t address, uint8_t type, const uint8_t* data,
                  size_t size) {
  uint32_t sum = static_cast<uint32_t>(size) + (address >> 8) + (address & 0xFFu) + type;
  text += ':';
  AppendHex(text, static_cast<uint32_t>(size), 2);
  AppendHex(text, address & 0xFFFFu, 4);
  AppendHex(text, type, 2);
  for (size_t i = 0; i < size; ++i) {
    AppendHex(text, data[i], 2);
    sum += data[i];
  }
  AppendHex(text, (0x100u - (sum & 0xFFu)) & 0xFFu, 2);
  text += '\n';
}

// Sixteen bytes (four words) a data record; an extended linear address record wherever the
// upper half of the byte address changes.
std::string IntelHex(const std::vector<uint32_t>& words) {
  std::string text;
  uint32_t upper = 0;
  for (size_t first = 0; first < words.size(); first += 4) {
    const uint32_t address = static_cast<uint32_t>(first * 4);
    if ((address >> 16) != upper) {
      upper = address >> 16;
      const uint8_t high[2] = {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper)};
      AppendRecord(text, 0, 4, high, 2);
    }
    uint8_t data[16];
    size_t size = 0;
    for (size_t i = first; i < std::min(first + 4, words.size()); ++i) {
      for (int shift = 24; shift >= 0; shift -= 8)
        data[size++] = static_cast<uint8_t>(words[i] >> shift);
    }
    AppendRecord(text, address & 0xFFFFu, 0, data, size);
  }
  AppendRecord(text, 0, 1, nullptr, 0);
  return text;
}

std::string Binary(const std::vector<uint32_t>& words, bool bigEndian) {
  std::string bytes;
  bytes.reserve(words.size() * 4);
  for (uint32_t word : words) {
    for (int i = 0; i < 4; ++i) {
      bytes += static_cast<char>(word >> (bigEndian ? 24 - 8 * i : 8 * i));
    }
  }
  return bytes;
}

}  // namespace

std::optional<RomFormat> RomFormatNamed(std::string_view name) {
  for (const RomFormatInfo& info : kRomFormats) {
    if (info.name == name) return info.format;
  }
  return std::nullopt;
}

RomRange DefaultRomRange(uint32_t lowest, uint32_t highest) {
  const uint64_t used = uint64_t{highest} - lowest + 1;
  uint64_t count = 1;
  while (count < used) count *= 2;
  return {lowest, count};
}

bool IsVhdlIdentifier(std::string_view name) {
  if (IsVhdlReserved(name)) return false;
  if (name.empty() || !((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'))) {
    return false;
  }
  for (size_t i = 1; i < name.size(); ++i) {
    const char c = name[i];
    const bool alnum = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (!alnum && !(c == '_' && name[i - 1] != '_')) return false;
  }
  return name.back() != '_';
}

std::string RomRangeProblem(RomFormat format, const RomRange& range) {
  if (uint64_t{range.start} + range.count > uint64_t{1} << 32) {
    return "the range runs past address FFFFFFFF";
  }
  if (format == RomFormat::VhdlAggregate && range.count == 1) {
    return "one word is no VHDL aggregate (an element alone must be named); write the VHDL "
           "package (vhdl) instead";
  }
  return {};
}

std::string RomImage(Processor& processor, RomFormat format, const RomRange& range,
                     std::string_view packageName, bool unmappedAsZero) {
  const RomTextStyle style{.hexAddresses = true, .unmappedAsZero = unmappedAsZero};
  const auto words = [&] { return ReadWords(processor, range, unmappedAsZero); };
  switch (format) {
    case RomFormat::VhdlAggregate: return RomExportText(processor, range.start, range.count, style);
    case RomFormat::VhdlPackage: return VhdlPackage(processor, range, packageName, style);
    case RomFormat::ReadMemH: return ReadMemH(words(), range);
    case RomFormat::Mif: return Mif(words(), range);
    case RomFormat::Coe: return Coe(words(), range);
    case RomFormat::IntelHex: return IntelHex(words());
    case RomFormat::BinaryLittle: return Binary(words(), false);
    case RomFormat::BinaryBig: return Binary(words(), true);
  }
  return {};
}

}  // namespace tervik
