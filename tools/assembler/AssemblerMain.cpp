// tervik-as: assembles a source file into a listing for the emulator and tervik-run.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "Assembler.h"
#include "Files.h"
#include "Listing.h"
#include "Version.h"

namespace {

namespace fs = std::filesystem;

constexpr int kExitFailed = 1;  // errors in the source, a file that cannot be read or written
constexpr int kExitUsage = 64;  // the command line, or an output that must not be written

std::string VersionText() {
  const tervik::platform::VersionRecord v = tervik::platform::ProgramVersion();
  return "tervik-as " + std::to_string(v.major) + "." + std::to_string(v.minor) + "." +
         std::to_string(v.release) + "." + std::to_string(v.build);
}

using tervik::platform::ReadRegularFile;

// Whether writing `output` would replace or truncate the file `other`.
bool SameFile(const fs::path& output, const fs::path& other) {
  return tervik::platform::SameOutputFile(output.string(), other.string(), true);
}

// Why nothing may be written to `output`, or nothing when it may be. It may replace a regular
// file (through its links), name a new one, or stream into a device, a FIFO or standard output
// ("-"), but never be the source or a file the source includes: a failure would remove it, a
// success overwrite it.
// A read-only file (mode 0444) is refused too, unless `force`.
std::optional<std::string> RefusedOutput(const fs::path& output, const fs::path& source,
                                         const std::vector<std::string>& included, bool force) {
  if (SameFile(output, source)) return "it is the source '" + source.string() + "'";
  for (const std::string& file : included) {
    if (SameFile(output, file)) return "it is the included file '" + file + "'";
  }
  const tervik::platform::OutputTarget target =
      tervik::platform::ResolveOutput(output.string(), true);
  if (target.kind == tervik::platform::OutputKind::Refused) return target.refusal;
  if (target.readOnly && !force) return std::string("it is read-only (--force replaces it)");
  return std::nullopt;
}

int Refuse(const fs::path& output, const std::string& why, bool symbols = false) {
  std::cerr << "tervik-as: will not write the " << (symbols ? "symbol file '" : "listing '")
            << output.string() << "': " << why << "; name another with "
            << (symbols ? "--sym" : "-o") << "\n";
  return kExitUsage;
}

bool Write(const fs::path& output, const std::string& text, bool force) {
  std::string error;
  tervik::platform::WriteOptions options;
  options.dashIsStdout = true;
  options.replaceReadOnly = force;
  if (tervik::platform::WriteOutput(output.string(), text, error, options)) return true;
  std::cerr << "tervik-as: cannot write '" << output.string() << "': " << error << "\n";
  return false;
}

// With --no-sym or --sym OTHER, the symbol file an earlier assembly left beside the listing
// (X.sym) would be taken for this listing's: it goes, unless it is one of the files read or
// written now, or anything but a regular file.
void RemoveOlderSymbols(const fs::path& listing, const std::optional<fs::path>& symbolsOutput,
                        const fs::path& source, const std::vector<std::string>& included) {
  const tervik::platform::OutputKind kind = tervik::platform::ResolveOutput(listing, true).kind;
  if (kind != tervik::platform::OutputKind::RegularFile) return;
  const fs::path beside = fs::path(listing).replace_extension(".sym");
  if (symbolsOutput && SameFile(*symbolsOutput, beside)) return;
  if (SameFile(beside, listing) || SameFile(beside, source)) return;
  for (const std::string& file : included) {
    if (SameFile(beside, file)) return;
  }
  tervik::platform::RemoveOutput(beside.string());
}

// Everything after the command line. `mayReplace` turns true once the output is known to be
// fit to replace: then a failure removes what is there.
int AssembleFile(const std::string& source, const fs::path& output,
                 const std::optional<fs::path>& symbolsOutput, bool force, bool& mayReplace) {
  if (const auto why = RefusedOutput(output, source, {}, force)) return Refuse(output, *why);
  if (symbolsOutput) {
    if (SameFile(*symbolsOutput, output) || (*symbolsOutput == "-" && output == "-")) {
      return Refuse(*symbolsOutput, "it is the listing too", true);
    }
    if (const auto why = RefusedOutput(*symbolsOutput, source, {}, force)) {
      return Refuse(*symbolsOutput, *why, true);
    }
  }

  std::string text;
  std::string error;
  if (!ReadRegularFile(source, text, error, tervik::assembler::kMaxSourceBytes)) {
    std::cerr << "tervik-as: cannot read '" << source << "': " << error << "\n";
    mayReplace = true;  // it is not the source, and without the source no file is included
    return kExitFailed;
  }

  std::vector<std::string> included;
  const tervik::assembler::IncludeReader readFile =
      [&included](const std::string& path, std::string& why) -> std::optional<std::string> {
    std::string contents;
    if (!ReadRegularFile(path, contents, why, tervik::assembler::kMaxSourceBytes))
      return std::nullopt;
    included.push_back(path);
    return contents;
  };
  const tervik::assembler::Result result = tervik::assembler::Assemble(text, source, readFile);
  // Known only now: the files the source includes, which the output must not be either.
  if (const auto why = RefusedOutput(output, source, included, force)) {
    return Refuse(output, *why);
  }
  if (symbolsOutput) {
    if (const auto why = RefusedOutput(*symbolsOutput, source, included, force)) {
      return Refuse(*symbolsOutput, *why, true);
    }
  }
  mayReplace = true;

  if (!result.errors.empty()) {
    for (const tervik::assembler::Diagnostic& d : result.errors) {
      std::cerr << tervik::assembler::FormatDiagnostic(source, d) << "\n";
    }
    std::cerr << result.errors.size() << (result.errors.size() == 1 ? " error" : " errors")
              << "; no listing written\n";
    return kExitFailed;
  }
  if (!Write(output, result.listing, force)) return kExitFailed;
  if (symbolsOutput &&
      !Write(*symbolsOutput,
             tervik::FormatSymbolFile(result.symbols, tervik::ListingFingerprint(result.listing),
                                      result.uses),
             force)) {
    return kExitFailed;
  }
  RemoveOlderSymbols(output, symbolsOutput, source, included);
  // The line table beside a listing file, for the debugger's source lines. Without it a program
  // still loads, so a path it must not take only costs the table; a listing streamed to standard
  // output, a device or a FIFO has no folder of its own to put one in.
  if (tervik::platform::ResolveOutput(output.string(), true).kind ==
      tervik::platform::OutputKind::RegularFile) {
    const fs::path linesOutput = fs::path(output).replace_extension(".lines");
    std::optional<std::string> why = RefusedOutput(linesOutput, source, included, force);
    if (!why && (SameFile(linesOutput, output) ||
                 (symbolsOutput && SameFile(linesOutput, *symbolsOutput)))) {
      why = "it is another output";
    }
    if (why) {
      std::cerr << "tervik-as: no line table written to '" << linesOutput.string() << "': " << *why
                << "\n";
    } else if (!Write(linesOutput,
                      tervik::FormatLineTable(tervik::assembler::MakeLineTable(result),
                                              linesOutput.parent_path()),
                      force)) {
      return kExitFailed;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app(
      "Assembles a Tervik source file into a listing that the emulator and tervik-run "
      "load.",
      "tervik-as");
  std::string source;
  std::string output;
  app.add_option("source", source, "The source file")->required();
  app.add_option("-o,--output", output,
                 "The listing to write, '-' for standard output (default: the source file with "
                 "the extension .lst)");
  std::string symbols;
  bool noSymbols = false;
  CLI::Option* symOption = app.add_option(
      "--sym", symbols,
      "The symbol file to write (default: the listing with the extension .sym; none when the "
      "listing goes to standard output, a device or a FIFO)");
  app.add_flag("--no-sym", noSymbols,
               "Write no symbol file (an older one beside the listing is removed)")
      ->excludes(symOption);
  bool force = false;
  app.add_flag("--force", force,
               "Replace an output file that is read-only (mode 0444); without it such a file is "
               "refused");
  app.set_version_flag("--version", VersionText());
  app.footer(
      "Beside the listing goes a symbol file: one line per label or EQU name, 'VALUE KIND NAME' "
      "with VALUE eight hex digits and KIND L (label) or E (constant), after a line '; listing "
      "HASH' naming the listing it belongs to. Beside the listing goes also the line table "
      "(the listing with the extension .lines), which says which source line placed each "
      "word.\n"
      "A file is replaced whole (through a symbolic link, its target); a device or a FIFO is "
      "written as a stream (a FIFO that no process reads within a second is an error).\n"
      "Exit status: 0 when the listing (and the symbol file) was written; 1 on errors in the "
      "source, which are reported as FILE:LINE:COLUMN: error: TEXT, or when a file cannot be "
      "read or written (no listing or symbol file is left behind then: older ones are "
      "removed); 64 for command-line errors and for an output that would replace the source, a "
      "file it includes, the other output, or that is a folder or read-only without --force "
      "(nothing is touched then).\n");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : kExitUsage;  // --help and --version are not errors
  }

  const fs::path outputPath =
      output.empty() ? fs::path(source).replace_extension(".lst") : fs::path(output);
  // Nothing may end the assembler without a word (running out of memory, for one).
  int status = kExitFailed;
  bool mayReplace = false;
  try {
    std::optional<fs::path> symbolsPath;
    // A listing on standard output, a device or a FIFO has no file for its symbols to go beside.
    const tervik::platform::OutputKind listingKind =
        tervik::platform::ResolveOutput(outputPath.string(), true).kind;
    const bool streamed = listingKind == tervik::platform::OutputKind::StandardOutput ||
                          listingKind == tervik::platform::OutputKind::Stream;
    if (!noSymbols && (!symbols.empty() || !streamed)) {
      symbolsPath =
          symbols.empty() ? fs::path(outputPath).replace_extension(".sym") : fs::path(symbols);
    }
    status = AssembleFile(source, outputPath, symbolsPath, force, mayReplace);
    if (status == kExitFailed && mayReplace && symbolsPath) {
      tervik::platform::RemoveOutput(symbolsPath->string());
    }
  } catch (const std::exception& e) {
    std::cerr << "tervik-as: " << e.what() << "\n";
  } catch (...) {
    std::cerr << "tervik-as: unexpected failure\n";
  }
  // A failure leaves no listing behind (a device or a FIFO stays); a refusal touched nothing.
  if (status == kExitFailed && mayReplace) tervik::platform::RemoveOutput(outputPath.string());
  return status;
}
