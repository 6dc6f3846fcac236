// tervik-run: loads a memory map and a listing as the emulator window does, resets, runs, and
// reports how the run ended.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "DynamicLibrary.h"
#include "Listing.h"
#include "ListingMap.h"
#include "MemoryMap.h"
#include "PeripheralModule.h"
#include "Processor.h"
#include "Runner.h"
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

// A number as the listing writes them: decimal, 0x hex or H# hex; 32 bits.
std::optional<uint32_t> ParseNumber(std::string_view text) {
  int base = 10;
  if (text.size() > 2 && (text.substr(0, 2) == "0x" || text.substr(0, 2) == "0X" ||
                          text.substr(0, 2) == "H#" || text.substr(0, 2) == "h#")) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return std::nullopt;
  uint64_t v = 0;
  for (char c : text) {
    int d = -1;
    if (c >= '0' && c <= '9') d = c - '0';
    if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    if (d < 0) return std::nullopt;
    v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
    if (v > 0xFFFFFFFFu) return std::nullopt;
  }
  return static_cast<uint32_t>(v);
}

struct MemoryRange {
  uint32_t start;
  uint64_t count;
};

std::optional<MemoryRange> ParseRange(const std::string& text) {
  const size_t colon = text.find(':');
  if (colon == std::string::npos) return std::nullopt;
  const auto start = ParseNumber(std::string_view(text).substr(0, colon));
  const auto count = ParseNumber(std::string_view(text).substr(colon + 1));
  if (!start || !count) return std::nullopt;
  return MemoryRange{*start, *count};
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
  std::optional<uint64_t> steps;
  std::string untilText;
  bool trace = false;
  bool dumpRegs = false;
  std::vector<std::string> dumpMemTexts;

  auto addressCheck = [](const std::string& s) {
    return ParseNumber(s) ? std::string() : "expected a 32-bit number (decimal, 0x or H# hex)";
  };
  auto rangeCheck = [](const std::string& s) {
    return ParseRange(s) ? std::string() : "expected START:COUNT (decimal, 0x or H# hex)";
  };
  app.add_option("--map", mapPath, "The memory map file")->required();
  app.add_option("--lst", listingPath, "The listing file")->required();
  app.add_option("--steps", steps, "Stop after N steps (default: no limit)")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--until", untilText, "Stop when a step leaves pc at ADDR")
      ->check(CLI::Validator(addressCheck, "ADDR"));
  app.add_flag("--trace", trace, "Write one line per step to standard output");
  app.add_flag("--dump-regs", dumpRegs, "Write the registers after the run");
  app.add_option("--dump-mem", dumpMemTexts, "Write COUNT words from START after the run")
      ->check(CLI::Validator(rangeCheck, "START:COUNT"));
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

  StderrConsole console;
  tervik::Processor processor;
  tervik::platform::PosixLibraryLoader libraries;
  tervik::PeripheralModuleLoader modules(libraries);
  tervik::ListingMap listing;
  // The loaders' own console lines say what went wrong; the last line says what was given up.
  if (!tervik::LoadMemoryMap(mapPath, processor, modules, console)) {
    return CannotRead("memory map", mapPath);
  }
  if (!tervik::LoadListing(listingPath, processor, listing, console)) {
    return CannotRead("listing", listingPath);
  }
  processor.Reset();

  tervik::runner::RunLimits limits;
  if (steps) limits.maxSteps = *steps;
  if (!untilText.empty()) limits.until = ParseNumber(untilText);
  const tervik::runner::RunOutcome outcome =
      trace ? tervik::runner::RunTraced(processor, limits, stdout)
            : tervik::runner::Run(processor, limits);

  // Written as it is made: a memory dump can be far larger than the memory there is.
  if (dumpRegs) std::fputs(tervik::runner::FormatRegisters(processor).c_str(), stdout);
  for (const std::string& text : dumpMemTexts) {
    const MemoryRange range = *ParseRange(text);
    if (!tervik::runner::WriteMemory(processor, range.start, range.count, stdout)) {
      return CannotWrite();
    }
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
