// tervik-run: loads a memory map and a listing into a debugging session as the emulator window
// does, resets, runs through the session's run operations (or step by step for a trace), and
// reports how the run ended.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <tuple>
#include <vector>

#include "DynamicLibrary.h"
#include "Listing.h"
#include "MemoryMap.h"
#include "PeripheralModule.h"
#include "Processor.h"
#include "ProgramFiles.h"
#include "Runner.h"
#include "Session.h"
#include "Version.h"

namespace {

// Exit codes besides the outcome of the run (0, 1, 2).
constexpr int kExitCannotRead = 3;
constexpr int kExitFailed = 4;  // the output cannot be written, or the runner failed otherwise
constexpr int kExitUsage = 64;

std::string VersionText() {
  const tervik::platform::VersionRecord v = tervik::platform::ProgramVersion();
  return "tervik-run " + std::to_string(v.major) + "." + std::to_string(v.minor) + "." +
         std::to_string(v.release) + "." + std::to_string(v.build);
}

// Console lines, the loaders' and the plug-ins', go to standard error. While it lives it is
// the process-wide sink behind ConsolePuts.
class StderrConsole final : public tervik::ConsoleSink {
 public:
  StderrConsole() { tervik::SetConsoleSink(this); }
  ~StderrConsole() override { tervik::SetConsoleSink(nullptr); }
  StderrConsole(const StderrConsole&) = delete;
  StderrConsole& operator=(const StderrConsole&) = delete;

  void AppendLine(std::string_view line) override {
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
  }
};

// An option whose value cannot be read: "tervik-run: --until: col 5: expected an expression".
int BadOption(const char* option, const tervik::debug::Error& error) {
  std::cerr << "tervik-run: " << option << ": " << error.Text() << "\n";
  return kExitUsage;
}

int CannotRead(const char* what, const std::string& path) {
  std::cerr << "tervik-run: cannot read the " << what << " '" << path << "'\n";
  return kExitCannotRead;
}

int CannotWrite() {
  std::cerr << "tervik-run: cannot write the output: " << std::strerror(errno) << "\n";
  return kExitFailed;
}

int RunMain(int argc, char** argv) {
  CLI::App app(
      "Runs a Tervik program without windows: loads the memory map and the listing as "
      "the emulator does, resets the processor and runs it.",
      "tervik-run");
  std::string mapPath;
  std::string listingPath;
  std::string stepsText;
  std::string untilText;
  bool trace = false;
  bool dumpRegs = false;
  std::vector<std::string> dumpMemTexts;
  std::string symbolsPath;
  bool dumpSymbols = false;

  app.add_option("--map", mapPath, "The memory map file")->required();
  app.add_option("--lst", listingPath, "The listing file")->required();
  const CLI::Option* stepsOption =
      app.add_option("--steps", stepsText,
                     "Stop after N steps (decimal, 0x or H# hex; default: no limit)")
          ->type_name("N");
  const CLI::Option* untilOption =
      app.add_option("--until", untilText,
                     "Stop when a step leaves pc at ADDR, an expression such as 0x10+3 or loop+2")
          ->type_name("ADDR");
  app.add_flag("--trace", trace, "Write one line per step to standard output");
  std::string traceFromText, traceToText;
  const CLI::Option* traceFromOption =
      app.add_option("--trace-from", traceFromText,
                     "Trace from step N on (counted from 1), running the steps before at full "
                     "speed; implies --trace")
          ->type_name("N");
  const CLI::Option* traceToOption =
      app.add_option("--trace-to", traceToText,
                     "Trace up to step N, running the steps after at full speed; implies --trace")
          ->type_name("N");
  app.add_flag("--dump-regs", dumpRegs, "Write the registers after the run");
  app.add_option("--dump-mem", dumpMemTexts,
                 "Write COUNT words from START after the run; both are expressions")
      ->type_name("START:COUNT");
  const CLI::Option* symOption = app.add_option(
      "--sym", symbolsPath,
      "The symbol file (default: the listing's, with the extension .sym, when it exists)");
  app.add_flag("--dump-sym", dumpSymbols, "Write the program's symbols after the run");
  app.set_version_flag("--version", VersionText());
  app.footer(
      "Exit status: 0 when pc reached the --until address, or, without --until, when the "
      "program halted (a step left pc in place); 1 when it halted with --until given; 2 when "
      "the step limit ran out; 3 when a file cannot be read; 4 when the output cannot be "
      "written or the runner fails otherwise (out of memory, for one); 64 for command-line "
      "errors.\n");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : kExitUsage;
  }

  // The symbols, which the addresses may name, come first; then the numbers are read before
  // anything else is loaded: a mistake in them loads no plug-in.
  StderrConsole console;
  tervik::debug::Session session;
  const bool symbolsGiven = symOption->count() > 0;
  if (!symbolsGiven) symbolsPath = tervik::debug::SymbolPathFor(listingPath);
  std::error_code missing;
  if (symbolsGiven || std::filesystem::exists(symbolsPath, missing)) {
    tervik::SymbolFileResult symbols = tervik::ReadSymbolFile(symbolsPath);
    if (!symbols.read) {
      std::cerr << "tervik-run: cannot read the symbol file '" << symbolsPath
                << "': " << symbols.failure << "\n";
      return kExitCannotRead;
    }
    for (const std::string& error : symbols.errors) {
      std::cerr << "tervik-run: " << symbolsPath << ": " << error << "\n";
    }
    session.SetSymbols(std::move(symbols.table));
  }
  const tervik::debug::SymbolLookup lookup = session.Lookup();
  tervik::runner::RunLimits limits;
  if (stepsOption->count() > 0) {
    const tervik::debug::Result<uint64_t> steps = tervik::runner::ParseCount(stepsText);
    if (!steps.ok()) return BadOption("--steps", steps.error());
    limits.maxSteps = steps.value();
  }
  if (untilOption->count() > 0) {
    const tervik::debug::Result<uint32_t> until = tervik::runner::ParseAddress(untilText, lookup);
    if (!until.ok()) return BadOption("--until", until.error());
    limits.until = until.value();
  }
  tervik::runner::TraceRange traceRange;
  for (auto [option, text, name, value] :
       {std::tuple{traceFromOption, &traceFromText, "--trace-from", &traceRange.from},
        std::tuple{traceToOption, &traceToText, "--trace-to", &traceRange.to}}) {
    if (option->count() == 0) continue;
    const tervik::debug::Result<uint64_t> step = tervik::runner::ParseCount(*text);
    if (!step.ok()) return BadOption(name, step.error());
    *value = step.value();
    trace = true;
  }
  std::vector<tervik::runner::MemoryRange> dumps;
  for (const std::string& text : dumpMemTexts) {
    const tervik::debug::Result<tervik::runner::MemoryRange> range =
        tervik::runner::ParseRange(text, lookup);
    if (!range.ok()) return BadOption("--dump-mem", range.error());
    dumps.push_back(range.value());
  }

  tervik::platform::PosixLibraryLoader libraries;
  tervik::PeripheralModuleLoader modules(libraries);
  tervik::Processor& processor = session.Cpu();
  // The loaders' own console lines say what went wrong; the last line says what was given up.
  if (!tervik::LoadMemoryMap(mapPath, processor, modules, console)) {
    return CannotRead("memory map", mapPath);
  }
  if (!tervik::LoadListing(listingPath, processor, session.Listing(), console)) {
    return CannotRead("listing", listingPath);
  }
  processor.Reset();

  const tervik::runner::RunOutcome outcome =
      trace ? tervik::runner::RunTraced(processor, limits, stdout, traceRange)
            : tervik::runner::Run(session, limits);

  // Written as it is made: a memory dump can be far larger than the memory there is.
  if (dumpRegs) std::fputs(tervik::runner::FormatRegisters(processor).c_str(), stdout);
  for (const tervik::runner::MemoryRange& range : dumps) {
    if (!tervik::runner::WriteMemory(processor, range.start, range.count, stdout)) {
      return CannotWrite();
    }
  }
  if (dumpSymbols) {
    const std::string text = tervik::FormatSymbolFile(session.Symbols().Entries());
    std::fwrite(text.data(), 1, text.size(), stdout);
  }
  std::fputs((tervik::runner::FormatStop(processor, outcome) + "\n").c_str(), stdout);
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) return CannotWrite();

  switch (outcome.reason) {
    case tervik::runner::StopReason::Until: return 0;
    case tervik::runner::StopReason::Halted: return limits.until ? 1 : 0;
    case tervik::runner::StopReason::StepLimit: return 2;
  }
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // No input may end the runner without a word: whatever escapes is reported with its own
  // exit code.
  try {
    return RunMain(argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "tervik-run: " << e.what() << "\n";
  } catch (...) {
    std::cerr << "tervik-run: unexpected failure\n";
  }
  return kExitFailed;
}
