// tervik-rom: loads a listing, into the regions of a memory map or into a plain memory, and
// writes the words of an address range as a ROM image (setup/RomImage.h).
#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <utility>

#include "Debugger.h"
#include "DynamicLibrary.h"
#include "Expression.h"
#include "Files.h"
#include "Listing.h"
#include "MemoryMap.h"
#include "PeripheralModule.h"
#include "Processor.h"
#include "ProgramFiles.h"
#include "RomImage.h"
#include "Runner.h"
#include "Session.h"
#include "SymbolFile.h"
#include "Version.h"

namespace {

constexpr int kExitCannotRead = 3;
constexpr int kExitCannotWrite = 4;
constexpr int kExitUsage = 64;

// Without a map the listing goes into one memory covering every address a listing can name
// (five hex digits).
constexpr uint32_t kListingAddresses = 0x100000;

std::string VersionText() {
  const tervik::platform::VersionRecord v = tervik::platform::ProgramVersion();
  std::string text = "tervik-rom ";
  text += std::to_string(v.major) + "." + std::to_string(v.minor) + "." +
          std::to_string(v.release) + "." + std::to_string(v.build);
  return text;
}

// The loaders' console lines go to standard error, as tervik-run writes them.
class StderrConsole final : public tervik::debug::DebugListener {
 public:
  void ConsoleLine(std::string_view line) override {
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
  }
};

int Usage(const std::string& message) {
  std::cerr << "tervik-rom: " << message << "\n";
  return kExitUsage;
}

std::string FormatNames() {
  std::string names;
  for (const tervik::RomFormatInfo& info : tervik::kRomFormats) {
    if (!names.empty()) names += ", ";
    names += info.name;
  }
  return names;
}

int RomMain(int argc, char** argv) {
  CLI::App app(
      "Writes the words of a Tervik program as a ROM image: loads the listing (into the regions "
      "of the memory map when one is given) and writes an address range in a format FPGA tools "
      "read.",
      "tervik-rom");
  std::string mapPath, listingPath, outputPath, formatName, startText, countText;
  std::string packageName = "tervik_rom";
  app.add_option("--map", mapPath, "The memory map file (default: one memory of every address)")
      ->type_name("FILE");
  app.add_option("--lst", listingPath, "The listing file")->required()->type_name("FILE");
  app.add_option("-o,--output", outputPath,
                 "The image file, written whole or not at all; a device or a FIFO is written as "
                 "a stream, '-' is standard output")
      ->required()
      ->type_name("FILE");
  app.add_option("-f,--format", formatName, "One of: " + FormatNames())
      ->required()
      ->type_name("FORMAT");
  const CLI::Option* startOption =
      app.add_option(
             "--start", startText,
             "First address, an expression such as 0x1000 or main+4, with the listing's symbols "
             "(default: the lowest "
             "address the listing placed)")
          ->type_name("ADDR");
  const CLI::Option* countOption =
      app.add_option("--count", countText,
                     "Number of words, 1 to 1048576 (default: enough to reach the highest "
                     "address the listing placed, rounded up to a power of two)")
          ->type_name("N");
  app.add_option("--name", packageName, "The VHDL package's name (default: tervik_rom)")
      ->type_name("NAME");
  bool force = false;
  app.add_flag("--force", force,
               "Replace an output file that is read-only (mode 0444); without it such a file is "
               "refused");
  app.set_version_flag("--version", VersionText());
  app.footer(
      "Words no region serves (with --map, or from 100000 on without) are 0.\n"
      "Exit status: 0 when the image was written; 3 when the map or the listing cannot be read "
      "or the listing places no word and no range is given; 4 when the image cannot be "
      "written; 64 for command-line errors, a range past FFFFFFFF, and an output that is a "
      "folder, one of the inputs or read-only without --force (nothing is written then).\n");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : kExitUsage;
  }

  const std::optional<tervik::RomFormat> format = tervik::RomFormatNamed(formatName);
  if (!format)
    return Usage("--format: unknown format '" + formatName + "' (" + FormatNames() + ")");
  if (!tervik::IsVhdlIdentifier(packageName)) {
    return Usage("--name: '" + packageName + "' is not a VHDL identifier (or is a reserved word)");
  }
  // The machine, loaded through the debugger as the emulator loads it.
  tervik::platform::PosixLibraryLoader libraries;
  tervik::debug::Debugger debugger(libraries);
  StderrConsole console;
  debugger.AddListener(console);
  tervik::debug::Session& session = debugger.GetSession();
  // --start may name a label of the listing's symbol file (X.sym beside X.lst), when there is one.
  const std::string symbolsPath = tervik::debug::SymbolPathFor(listingPath);
  std::error_code missing;
  const bool readSymbols =
      startOption->count() > 0 && std::filesystem::exists(symbolsPath, missing);
  // The image must not replace what it is made from; a folder is no file to write.
  const tervik::platform::OutputTarget target = tervik::platform::ResolveOutput(outputPath, true);
  if (target.kind == tervik::platform::OutputKind::Refused) {
    return Usage("will not write '" + outputPath + "': " + target.refusal);
  }
  if (target.readOnly && !force) {
    return Usage("will not write '" + outputPath + "': it is read-only (--force replaces it)");
  }
  for (const auto& [role, input] : {std::pair<std::string, std::string>{"memory map", mapPath},
                                    {"listing", listingPath},
                                    {"symbol file", readSymbols ? symbolsPath : ""}}) {
    if (!input.empty() && tervik::platform::SameOutputFile(outputPath, input, true)) {
      return Usage("will not write '" + outputPath + "': it is the " + role + " '" + input + "'");
    }
  }
  if (readSymbols) {
    tervik::SymbolFileResult symbols = tervik::ReadSymbolFile(symbolsPath);
    const std::optional<std::string> foreign =
        tervik::debug::ForeignSymbols(symbols, symbolsPath, listingPath);
    if (foreign) std::cerr << "tervik-rom: warning: " << *foreign << "\n";
    if (symbols.read && !foreign) session.SetSymbols(std::move(symbols.table));
  }
  tervik::RomRange range;
  if (startOption->count() > 0) {
    const tervik::debug::Result<uint32_t> start =
        tervik::runner::ParseAddress(startText, session.Lookup());
    if (!start.ok()) return Usage("--start: " + start.error().Text());
    range.start = start.value();
  }
  if (countOption->count() > 0) {
    const tervik::debug::Result<uint64_t> count = tervik::runner::ParseCount(countText);
    if (!count.ok()) return Usage("--count: " + count.error().Text());
    if (count.value() == 0 || count.value() > tervik::kRomImageMaxWords) {
      return Usage("--count: give 1 to 1048576 words");
    }
    range.count = count.value();
  }
  // A range given whole is checked before anything is loaded.
  if (startOption->count() > 0 && countOption->count() > 0) {
    if (const std::string problem = tervik::RomRangeProblem(*format, range); !problem.empty()) {
      return Usage(problem);
    }
  }

  tervik::Processor& processor = debugger.Cpu();
  if (mapPath.empty()) {
    processor.AddRegion(0, kListingAddresses, tervik::RegionType::RAM);
  } else if (!debugger.LoadMap(mapPath)) {
    std::cerr << "tervik-rom: cannot read the memory map '" << mapPath << "'\n";
    return kExitCannotRead;
  }
  tervik::ListingExtent extent;
  if (!debugger.LoadListing(listingPath, &extent)) {
    std::cerr << "tervik-rom: cannot read the listing '" << listingPath << "'\n";
    return kExitCannotRead;
  }
  if (startOption->count() == 0 || countOption->count() == 0) {
    if (extent.placed == 0) {
      std::cerr << "tervik-rom: the listing places no word; give --start and --count\n";
      return kExitCannotRead;
    }
    const tervik::RomRange placed = tervik::DefaultRomRange(extent.lowest, extent.highest);
    if (startOption->count() == 0) range.start = placed.start;
    if (countOption->count() == 0 && range.start > extent.highest) {
      return Usage("--start lies above every word the listing placed; give --count");
    }
    if (countOption->count() == 0) {
      range.count = startOption->count() == 0
                        ? placed.count
                        : tervik::DefaultRomRange(range.start, extent.highest).count;
    }
    if (range.count > tervik::kRomImageMaxWords) {
      return Usage("the listing spans more than 1048576 words; give --start and --count");
    }
  }

  if (const std::string problem = tervik::RomRangeProblem(*format, range); !problem.empty()) {
    return Usage(problem);
  }
  // Without a map, every address from kListingAddresses on is unplaced, as an unmapped one is.
  const std::string image =
      tervik::RomImage(processor, *format, range, packageName, /*unmappedAsZero=*/true);
  std::string error;
  tervik::platform::WriteOptions options;
  options.dashIsStdout = true;
  options.replaceReadOnly = force;
  if (!tervik::platform::WriteOutput(outputPath, image, error, options)) {
    std::cerr << "tervik-rom: cannot write '" << outputPath << "': " << error << "\n";
    return kExitCannotWrite;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return RomMain(argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "tervik-rom: " << e.what() << "\n";
  } catch (...) {
    std::cerr << "tervik-rom: unexpected failure\n";
  }
  return kExitCannotWrite;
}
