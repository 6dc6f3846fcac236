// Map lines: optional white space, start and size as 0x-prefixed hex numbers, then RAM, ROM or
// DLL with a module name and an optional parameter text. A line that begins like a region (with
// a hex number) but is not one is reported and skipped; other lines are comments.
#include "MemoryMap.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <vector>

#include "LineReader.h"
#include "Panel.h"
#include "Regex.h"

namespace tervik {

namespace {

// The buffer a module's About writes into: 64 KiB, of which the contract promises 512 bytes.
constexpr size_t kAboutSpare = 64 * 1024;

// White space is space, tab, CR, LF and FF only, spelled out as a class ([\x20\t\r\n\f], and
// [^\x20\t\r\n\f] for the rest), because PCRE2's \s and \S also count vertical tab as white space.
constexpr std::string_view kLinePattern =
    R"(^[\x20\t\r\n\f]{0,}0[xX]([\dabcdefABCDEF]{1,})[\x20\t\r\n\f]{1,})"
    R"(0[xX]([\dabcdefABCDEF]{1,})[\x20\t\r\n\f]{1,})"
    R"((RAM|ROM|DLL[\x20\t\r\n\f]{1,}((?:\w|\.{0,2}/).{1,})))";
constexpr std::string_view kParamPattern =
    R"((?x)^[^\x20\t\r\n\f]{1,}[\x20\t\r\n\f]{1,}(.{1,}?)[\x20\t\r\n\f]{0,}$)";

// The white space of the patterns: space, tab, LF, FF and CR (not vertical tab).
bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

// Reads hex digits (the pattern admits nothing else) as a 32-bit number. False when there are
// more than eight significant digits; leading zeros do not count.
bool ParseHex32(std::string_view digits, uint32_t& value) {
  while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
  if (digits.size() > 8) return false;
  value = 0;
  for (char c : digits) {
    const uint32_t d = c <= '9'   ? static_cast<uint32_t>(c - '0')
                       : c >= 'a' ? static_cast<uint32_t>(c - 'a' + 10)
                                  : static_cast<uint32_t>(c - 'A' + 10);
    value = (value << 4) | d;
  }
  return true;
}

// A line that starts, after white space, with "0x" and a hex digit: it was meant as a region.
bool LooksLikeRegion(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  return i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
         std::isxdigit(static_cast<unsigned char>(text[i + 2]));
}

// Why a line that looks like a region is none, for the console.
std::string RegionLineProblem(std::string_view text) {
  auto skipSpace = [&] {
    while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  };
  auto takeWord = [&] {
    size_t n = 0;
    while (n < text.size() && !IsSpace(text[n])) ++n;
    const std::string_view word = text.substr(0, n);
    text.remove_prefix(n);
    return word;
  };
  auto isHex = [](std::string_view word) {
    return word.size() >= 3 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X') &&
           word.find_first_not_of("0123456789abcdefABCDEF", 2) == std::string_view::npos;
  };
  skipSpace();
  if (!isHex(takeWord())) return "the start is not 0x and hex digits";
  skipSpace();
  const std::string_view size = takeWord();
  if (size.empty()) return "a region needs a size after its start, then RAM, ROM or DLL";
  if (!isHex(size)) return "the size is not 0x and hex digits";
  skipSpace();
  const std::string_view type = takeWord();
  if (type.empty()) return "the type word is missing (RAM, ROM or DLL)";
  if (type.substr(0, 3) == "DLL") {
    if (type.size() > 3) return "DLL needs white space before the module file name";
    skipSpace();
    return text.empty() ? "DLL needs a module file name"
                        : "the module file name must begin with a letter, a digit, '_', '/' or "
                          "'./' and have two characters at least";
  }
  std::string upper(type.substr(0, 3));
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper == "RAM" || upper == "ROM" || upper == "DLL") {
    return "the type word is written in upper case (" + upper + ")";
  }
  return "unknown type word '" + std::string(type.substr(0, 40)) + "' (RAM, ROM or DLL)";
}

// The modules a map would load from outside Tervik's own module folder, each named once.
std::vector<std::filesystem::path> ForeignModules(const std::string& path, Regex& line,
                                                  PeripheralModuleLoader& modules,
                                                  const std::filesystem::path& mapFolder) {
  std::vector<std::filesystem::path> foreign;
  std::optional<LineReader> reader = LineReader::Open(path);
  if (!reader) return foreign;
  std::string_view text;
  while (reader->Next(text)) {
    if (!line.Match(text) || line.Group(3).substr(0, 3) != "DLL") continue;
    const std::string_view moduleText = line.Group(4);
    size_t nameLength = 0;
    while (nameLength < moduleText.size() && !IsSpace(moduleText[nameLength])) ++nameLength;
    const std::filesystem::path file = modules.Locate(moduleText.substr(0, nameLength), mapFolder);
    if (!modules.IsOwnModule(file) &&
        std::find(foreign.begin(), foreign.end(), file) == foreign.end()) {
      foreign.push_back(file);
    }
  }
  return foreign;
}

// Adds a region; a region whose storage cannot be had is reported and left out.
void AddRegionReported(Processor& processor, uint32_t start, uint32_t size, RegionType type,
                       const PluginEntryPoints& entry, ConsoleSink& console) {
  try {
    processor.AddRegion(start, size, type, entry);
  } catch (const std::bad_alloc&) {
    ConsoleWrite(console, "Out of memory for the region at %08X of size %08X; line skipped", start,
                 size);
  }
}

}  // namespace

bool LoadMemoryMap(const std::string& path, Processor& processor, PeripheralModuleLoader& modules,
                   ConsoleSink& console, ModuleTrust* trust) {
  processor.ClearRegions();
  ConsoleWrite(console, "Loading memory map from %s...", path.c_str());

  std::optional<Regex> line = Regex::Compile(kLinePattern);
  if (!line) {
    ConsoleWrite(console, "Error in pcre_compile");
    return false;
  }
  std::optional<Regex> param = Regex::Compile(kParamPattern);
  if (!param) {
    ConsoleWrite(console, "Error in pcre_compile (2)");
    return false;
  }

  std::optional<LineReader> reader = LineReader::Open(path);
  if (!reader) {
    ConsoleWrite(console, "Error opening file '%s'", path.c_str());
    return false;
  }
  // Module names are looked up next to the map file first.
  const std::filesystem::path mapFolder = std::filesystem::path(path).parent_path();

  // Modules from outside Tervik's own folder load only when the trust allows them: asked once,
  // for all of them, before any is loaded.
  bool foreignAllowed = true;
  if (trust != nullptr) {
    const std::vector<std::filesystem::path> foreign =
        ForeignModules(path, *line, modules, mapFolder);
    if (!foreign.empty()) {
      std::error_code ec;
      const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
      const std::filesystem::path map = ec ? std::filesystem::path(path) : absolute;
      foreignAllowed = trust->MayLoad(map.lexically_normal().parent_path(), foreign);
    }
  }

  std::string_view text;
  while (reader->Next(text)) {
    if (!line->Match(text)) {
      if (LooksLikeRegion(text)) {
        ConsoleWrite(console, "Line %zu is not a region line and is skipped: %s",
                     reader->LineNumber(), RegionLineProblem(text).c_str());
      }
      continue;
    }
    const std::string_view startDigits = line->Group(1);
    const std::string_view sizeDigits = line->Group(2);
    const std::string_view type = line->Group(3);

    uint32_t start = 0;
    uint32_t size = 0;
    if (!ParseHex32(startDigits, start)) {
      const std::string digits(startDigits);
      ConsoleWrite(console, "Start 0x%s does not fit in 32 bits; line skipped", digits.c_str());
      continue;
    }
    if (!ParseHex32(sizeDigits, size)) {
      const std::string digits(sizeDigits);
      ConsoleWrite(console, "Size 0x%s does not fit in 32 bits; line skipped", digits.c_str());
      continue;
    }

    if (type == "RAM") {
      AddRegionReported(processor, start, size, RegionType::RAM, {}, console);
      continue;
    }
    if (type == "ROM") {
      AddRegionReported(processor, start, size, RegionType::ROM, {}, console);
      continue;
    }

    const std::string moduleText(line->Group(4));
    size_t nameLength = 0;
    while (nameLength < moduleText.size() && !IsSpace(moduleText[nameLength])) ++nameLength;
    const std::string name = moduleText.substr(0, nameLength);
    ConsoleWrite(console, "Adding DLL '%s'", name.c_str());

    std::string paramText;
    if (param->Match(moduleText)) {
      paramText = param->Group(1);
      ConsoleWrite(console, "DLL param: '%s'", paramText.c_str());
    }

    if (!foreignAllowed) {
      const std::filesystem::path file = modules.Locate(name, mapFolder);
      if (!modules.IsOwnModule(file)) {
        ConsoleWrite(console,
                     "Left out DLL '%s': %s is not one of Tervik's modules and its folder is not "
                     "trusted",
                     name.c_str(), file.c_str());
        continue;
      }
    }
    std::optional<PluginEntryPoints> entry =
        modules.LoadPeripheralModule(name, paramText, mapFolder, console);
    if (!entry) continue;
    // A panel that cannot be shown is dropped with one line; the module works on without it.
    const PanelCheck panel = CheckPanel(*entry, size);
    if (!panel.error.empty()) {
      ConsoleWrite(console, "DLL '%s' has no panel: %s", name.c_str(), panel.error.c_str());
      entry->PanelDescribe = nullptr;
    }
    AddRegionReported(processor, start, size, RegionType::DLL, *entry, console);
  }
  reader.reset();  // the file is closed before the table is printed

  DisplayMemoryMap(processor, console);
  ConsoleWrite(console, "Done");
  return true;
}

void DisplayMemoryMap(const Processor& processor, ConsoleSink& console) {
  ConsoleWrite(console, "Start    Size     Type Info");
  for (const MemoryRegion& region : processor.Regions()) {
    char line[512];
    switch (region.type) {
      case RegionType::ROM:
        std::snprintf(line, sizeof line, "%08X %08X ROM  <internal>", region.start, region.size);
        break;
      case RegionType::RAM:
        std::snprintf(line, sizeof line, "%08X %08X RAM  <internal>", region.start, region.size);
        break;
      case RegionType::DLL: {
        // The module gets a buffer of its own, far larger than the 512 bytes its contract
        // promises, so that a module that writes past that limit still writes into memory of
        // ours to spare; only the first TERVIK_PLUGIN_ABOUT_MAX characters are shown.
        std::vector<char> about(kAboutSpare, '\0');
        region.entry.About(about.data());
        about.back() = '\0';
        const int length = static_cast<int>(strnlen(about.data(), TERVIK_PLUGIN_ABOUT_MAX));
        std::snprintf(line, sizeof line, "%08X %08X DLL  %.*s", region.start, region.size, length,
                      about.data());
        break;
      }
    }
    ConsoleWrite(console, "%s", line);
  }
}

}  // namespace tervik
