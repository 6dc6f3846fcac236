// tervik-run: loads a memory map and a listing into a debugging session as the emulator window
// does, resets, runs through the session's run operations (or step by step for a trace), checks
// the --expect conditions and reports how the run ended. With --suite it does so for each line
// of a file, and --junit reports the runs as JUnit XML.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "BoardIO.h"
#include "Checks.h"
#include "DynamicLibrary.h"
#include "Files.h"
#include "JUnit.h"
#include "Listing.h"
#include "MemoryMap.h"
#include "PeripheralModule.h"
#include "Processor.h"
#include "ProgramFiles.h"
#include "Runner.h"
#include "Session.h"
#include "Version.h"

namespace {

using namespace tervik::runner;

std::string VersionText() {
  const tervik::platform::VersionRecord v = tervik::platform::ProgramVersion();
  std::string text = "tervik-run ";
  text += std::to_string(v.major) + "." + std::to_string(v.minor) + "." +
          std::to_string(v.release) + "." + std::to_string(v.build);
  return text;
}

// One run as the command line (or a line of a suite) gives it.
struct Request {
  // Options not given are empty; a value given empty ("--until ''") is an error of its own.
  std::string name;
  std::optional<std::string> mapPath, listingPath, symbolsPath, stepsText, untilText;
  std::optional<std::string> traceFromText, traceToText;
  bool trace = false, dumpRegs = false, dumpSymbols = false;
  std::vector<std::string> dumpMemTexts, expectTexts;
  std::optional<std::string> inputText, inputPath, switchesText, displayPath;
};

// Options that concern the whole invocation rather than one run.
struct Global {
  bool quiet = false;
  std::string outputPath, junitPath, suitePath;
};

// Console lines go to standard error, the loaders' while a run is being set up (kept back and
// dropped with --quiet, unless the load fails), the program's while it runs (to --output when
// given, and kept for the report). While it lives it is the process-wide sink behind
// ConsolePuts.
class RunConsole final : public tervik::ConsoleSink {
 public:
  RunConsole(bool quiet, std::FILE* output) : quiet_(quiet), output_(output) {
    tervik::SetConsoleSink(this);
  }
  ~RunConsole() override { tervik::SetConsoleSink(nullptr); }
  RunConsole(const RunConsole&) = delete;
  RunConsole& operator=(const RunConsole&) = delete;

  void AppendLine(std::string_view line) override {
    if (running_) {
      Write(output_ != nullptr ? output_ : stderr, line);
      program_.append(line).push_back('\n');
    } else if (quiet_) {
      loader_.append(line).push_back('\n');
    } else {
      Write(stderr, line);
    }
  }
  // The load failed: its lines are shown even with --quiet.
  void ShowLoaderLines() {
    std::fputs(loader_.c_str(), stderr);
    loader_.clear();
  }
  // From here on the lines are the program's.
  void StartRun() {
    running_ = true;
    loader_.clear();
  }
  std::string TakeProgramOutput() {
    running_ = false;
    return std::exchange(program_, {});
  }

 private:
  static void Write(std::FILE* out, std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), out);
    std::fputc('\n', out);
  }

  bool quiet_;
  std::FILE* output_;
  bool running_ = false;
  std::string loader_, program_;
};

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// A value that cannot be read ends the invocation: "tervik-run: --until: col 5: ...".
struct UsageError {
  std::string text;
};

void DefineRunOptions(CLI::App& app, Request& r) {
  app.add_option("--map", r.mapPath, "The memory map file (required without --suite)")
      ->type_name("FILE");
  app.add_option("--lst", r.listingPath, "The listing file (required without --suite)")
      ->type_name("FILE");
  app.add_option("--steps", r.stepsText,
                 "Stop after N steps (decimal, 0x or H# hex; default: no limit)")
      ->type_name("N");
  app.add_option("--until", r.untilText,
                 "Stop when a step leaves pc at ADDR, an expression such as 0x10+3 or loop+2")
      ->type_name("ADDR");
  app.add_option("--expect", r.expectTexts,
                 "After the run, EXPR must hold (not 0), e.g. 'R31 == 0x600D' or "
                 "'M[0x1000] == 42'; repeatable")
      ->type_name("EXPR");
  app.add_flag("--trace", r.trace, "Write one line per step to standard output");
  app.add_option("--trace-from", r.traceFromText,
                 "Trace from step N on (counted from 1), running the steps before at full "
                 "speed; implies --trace")
      ->type_name("N");
  app.add_option("--trace-to", r.traceToText,
                 "Trace up to step N, running the steps after at full speed; implies --trace")
      ->type_name("N");
  app.add_flag("--dump-regs", r.dumpRegs, "Write the registers after the run");
  app.add_option("--dump-mem", r.dumpMemTexts,
                 "Write COUNT words from START after the run; both are expressions")
      ->type_name("START:COUNT");
  app.add_option("--sym", r.symbolsPath,
                 "The symbol file (default: the listing's, with the extension .sym, when it "
                 "exists)")
      ->type_name("FILE");
  app.add_flag("--dump-sym", r.dumpSymbols, "Write the program's symbols after the run");
  app.add_option("--name", r.name, "The run's name in the --junit report (default: the listing)")
      ->type_name("NAME");
  app.add_option("--input", r.inputText,
                 "Type TEXT into the terminal's receive side, handed over as the program takes "
                 "the characters")
      ->type_name("TEXT");
  app.add_option("--input-file", r.inputPath, "As --input, with the bytes of FILE")
      ->type_name("FILE");
  app.add_option("--set-switches", r.switchesText,
                 "Set the GPIO switches to HEX (bit n: switch n) before the run")
      ->type_name("HEX");
  app.add_option("--dump-display", r.displayPath,
                 "Write the pixel display as a PNG picture to FILE after the run")
      ->type_name("FILE");
}

uint64_t Count(const char* option, const std::string& text) {
  // A negative count is a slip worth a plain word rather than a column.
  if (text.find_first_not_of(" \t") != std::string::npos &&
      text[text.find_first_not_of(" \t")] == '-') {
    throw UsageError{std::string(option) + ": a count cannot be negative"};
  }
  const tervik::debug::Result<uint64_t> n = ParseCount(text);
  if (!n.ok()) throw UsageError{std::string(option) + ": " + n.error().Text()};
  return n.value();
}

// The run's last line, and what the report needs.
struct Finished {
  int status = kExitSuccess;
  CaseReport report;
};

Finished RunOne(const Request& r, RunConsole& console) {
  Finished done;
  done.report.name = r.name.empty() ? *r.listingPath : r.name;
  const auto started = std::chrono::steady_clock::now();
  auto fail = [&](int status, std::string message) {
    std::cerr << "tervik-run: " << message << "\n";
    done.status = status;
    done.report.status = status;
    done.report.failures.push_back(std::move(message));
    return done;
  };

  // The symbols, which the addresses may name, come first; then the numbers are read before
  // anything else is loaded: a mistake in them loads no plug-in.
  tervik::debug::Session session;
  const bool symbolsGiven = r.symbolsPath.has_value();
  const std::string symbolsPath =
      symbolsGiven ? *r.symbolsPath : tervik::debug::SymbolPathFor(*r.listingPath);
  std::error_code missing;
  if (symbolsGiven || std::filesystem::exists(symbolsPath, missing)) {
    tervik::SymbolFileResult symbols = tervik::ReadSymbolFile(symbolsPath);
    if (!symbols.read) {
      return fail(kExitCannotRead,
                  "cannot read the symbol file '" + symbolsPath + "': " + symbols.failure);
    }
    for (const std::string& error : symbols.errors) {
      std::cerr << "tervik-run: " << symbolsPath << ": " << error << "\n";
    }
    session.SetSymbols(std::move(symbols.table));
  }
  const tervik::debug::SymbolLookup lookup = session.Lookup();
  RunLimits limits;
  if (r.stepsText) limits.maxSteps = Count("--steps", *r.stepsText);
  if (r.untilText) {
    const tervik::debug::Result<uint32_t> until = ParseAddress(*r.untilText, lookup);
    if (!until.ok()) throw UsageError{"--until: " + until.error().Text()};
    limits.until = until.value();
  }
  TraceRange traceRange;
  bool trace = r.trace;
  if (r.traceFromText) traceRange.from = Count("--trace-from", *r.traceFromText);
  if (r.traceToText) traceRange.to = Count("--trace-to", *r.traceToText);
  trace = trace || r.traceFromText || r.traceToText;
  std::vector<MemoryRange> dumps;
  for (const std::string& text : r.dumpMemTexts) {
    const tervik::debug::Result<MemoryRange> range = ParseRange(text, lookup);
    if (!range.ok()) throw UsageError{"--dump-mem: " + range.error().Text()};
    dumps.push_back(range.value());
  }
  std::optional<uint32_t> switches;
  if (r.switchesText) {
    switches = ParseSwitches(*r.switchesText);
    if (!switches) throw UsageError{"--set-switches: expected up to eight hex digits"};
  }
  if ((r.inputText || r.inputPath) && trace) {
    throw UsageError{"--input and --input-file cannot be combined with a trace"};
  }
  if (r.inputText && r.inputPath) throw UsageError{"--input and --input-file: give one"};
  std::string input = r.inputText.value_or(std::string());
  if (r.inputPath) {
    std::string error;
    if (!tervik::platform::ReadRegularFile(*r.inputPath, input, error)) {
      return fail(kExitCannotRead, "cannot read the input file '" + *r.inputPath + "': " + error);
    }
  }
  std::vector<Expectation> expectations;
  for (const std::string& text : r.expectTexts) {
    tervik::debug::Result<Expectation> expectation = ParseExpectation(text);
    if (!expectation.ok()) throw UsageError{"--expect: " + expectation.error().Text()};
    expectations.push_back(std::move(expectation).value());
  }

  tervik::platform::PosixLibraryLoader libraries;
  tervik::PeripheralModuleLoader modules(libraries);
  tervik::Processor& processor = session.Cpu();
  // The loaders' own console lines say what went wrong; the last line says what was given up.
  if (!tervik::LoadMemoryMap(*r.mapPath, processor, modules, console)) {
    console.ShowLoaderLines();
    return fail(kExitCannotRead, "cannot read the memory map '" + *r.mapPath + "'");
  }
  tervik::ListingExtent extent;
  if (!tervik::LoadListing(*r.listingPath, processor, session.Listing(), console, &extent)) {
    console.ShowLoaderLines();
    return fail(kExitCannotRead, "cannot read the listing '" + *r.listingPath + "'");
  }
  if (extent.placed == 0) {
    std::cerr << "tervik-run: warning: the listing '" << *r.listingPath
              << "' places no word in the memory map\n";
  }
  processor.Reset();

  // The board options go through the modules' panels.
  tervik::Board board;
  board.Sync(processor);
  if (switches) {
    const std::string error = SetSwitches(processor, board, *switches);
    if (!error.empty()) throw UsageError{"--set-switches: " + error};
  }
  std::optional<InputFeeder> feeder;
  if (r.inputText || r.inputPath) {
    const tervik::PanelElement* terminal = nullptr;
    const tervik::Board::Panel* panel = board.Find(tervik::PanelKind::Terminal, &terminal);
    if (panel == nullptr) throw UsageError{"--input: the memory map has no terminal panel"};
    feeder.emplace(processor, *panel, *terminal, std::move(input));
  }
  if (r.displayPath && board.Find(tervik::PanelKind::Pixels) == nullptr) {
    throw UsageError{"--dump-display: the memory map has no pixel display panel"};
  }
  const std::function<bool()> refill = [&] { return feeder->Refill(); };

  console.StartRun();
  const RunOutcome outcome =
      trace ? RunTraced(processor, limits, stdout, traceRange)
            : Run(session, limits, feeder ? refill : std::function<bool()>(), kInputSlice);
  done.report.output = console.TakeProgramOutput();

  // Written as it is made: a memory dump can be far larger than the memory there is.
  if (r.dumpRegs) std::fputs(FormatRegisters(processor).c_str(), stdout);
  for (const MemoryRange& range : dumps) {
    if (!WriteMemory(processor, range.start, range.count, stdout)) {
      return fail(kExitFailed, std::string("cannot write the output: ") + std::strerror(errno));
    }
  }
  if (r.dumpSymbols) {
    const std::string text = tervik::FormatSymbolFile(session.Symbols().Entries());
    std::fwrite(text.data(), 1, text.size(), stdout);
  }
  if (r.displayPath) {
    const std::optional<std::string> png = DisplayPng(board);
    if (!png || png->empty() || !tervik::platform::WriteWhole(*r.displayPath, *png)) {
      return fail(kExitFailed, "cannot write '" + *r.displayPath + "': " + std::strerror(errno));
    }
  }
  done.report.stop = FormatStop(processor, outcome);
  std::fputs((done.report.stop + "\n").c_str(), stdout);
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    return fail(kExitFailed, std::string("cannot write the output: ") + std::strerror(errno));
  }

  const HaltCause cause =
      outcome.reason == StopReason::Halted ? ClassifyHalt(processor) : HaltCause::Stayed;
  if (cause != HaltCause::Stayed) {
    done.report.failures.push_back(DescribeFault(cause, processor.pc));
    std::cerr << "tervik-run: " << done.report.failures.back() << "\n";
  }
  const std::vector<std::string> unmet = FailedExpectations(processor, lookup, expectations);
  for (const std::string& failure : unmet) {
    std::cerr << "tervik-run: " << failure << "\n";
    done.report.failures.push_back(failure);
  }
  done.status = RunStatus(outcome, limits.until.has_value(), cause, unmet.empty());
  done.report.status = done.status;
  done.report.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return done;
}

// The runs of a suite file: one a line, in tervik-run's own options; blank lines and lines that
// start with '#' are skipped.
std::vector<Request> ReadSuite(const std::string& path) {
  std::string text, error;
  if (!tervik::platform::ReadRegularFile(path, text, error)) {
    throw UsageError{"--suite: cannot read '" + path + "': " + error};
  }
  std::vector<Request> requests;
  std::istringstream lines(text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    const size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') continue;
    if (line.back() == '\r') line.pop_back();
    CLI::App app("", "suite");
    Request r;
    DefineRunOptions(app, r);
    try {
      app.parse(line, false);
    } catch (const CLI::ParseError& e) {
      throw UsageError{path + ":" + std::to_string(number) + ": " + e.what()};
    }
    if (!r.mapPath || !r.listingPath) {
      throw UsageError{path + ":" + std::to_string(number) + ": --map and --lst are required"};
    }
    requests.push_back(std::move(r));
  }
  if (requests.empty()) throw UsageError{"--suite: '" + path + "' names no run"};
  return requests;
}

int RunMain(int argc, char** argv) {
  CLI::App app(
      "Runs a Tervik program without windows: loads the memory map and the listing as "
      "the emulator does, resets the processor and runs it.",
      "tervik-run");
  Request request;
  Global global;
  DefineRunOptions(app, request);
  app.add_flag("--quiet", global.quiet,
               "Drop the loaders' console lines (unless a load fails); the program's own lines "
               "stay");
  app.add_option("--output", global.outputPath,
                 "Write the program's own console lines (its plug-ins' messages) to FILE instead "
                 "of standard error")
      ->type_name("FILE");
  app.add_option("--suite", global.suitePath,
                 "Run each line of FILE, a set of the run options above (--map, --lst, --expect, "
                 "...) as on a command line")
      ->type_name("FILE");
  app.add_option("--junit", global.junitPath, "Write a JUnit XML report of the run(s) to FILE")
      ->type_name("FILE");
  app.set_version_flag("--version", VersionText());
  app.footer(
      "Exit status: 0 when pc reached the --until address, or, without --until, when the "
      "program halted at a jump to itself; 1 when it halted normally with --until given; 2 "
      "when the step limit ran out; 3 when a file cannot be read; 4 when the output cannot be "
      "written or the runner fails otherwise; 5 when it halted on an undefined word or a fetch "
      "from unmapped memory; 6 when the run ended well but an --expect does not hold; 64 for "
      "command-line errors. With --suite: the first run's status that is not 0.\n");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : kExitUsage;
  }

  try {
    std::vector<Request> requests;
    if (!global.suitePath.empty()) {
      if (request.mapPath || request.listingPath) {
        throw UsageError{"--suite: give the runs in the file, not --map or --lst"};
      }
      requests = ReadSuite(global.suitePath);
    } else if (!request.mapPath || !request.listingPath) {
      throw UsageError{"--map and --lst are required"};
    } else {
      requests.push_back(request);
    }
    std::unique_ptr<std::FILE, FileCloser> output;
    if (!global.outputPath.empty()) {
      output.reset(std::fopen(global.outputPath.c_str(), "w"));
      if (!output) {
        std::cerr << "tervik-run: cannot write '" << global.outputPath
                  << "': " << std::strerror(errno) << "\n";
        return kExitFailed;
      }
    }
    RunConsole console(global.quiet, output.get());
    int status = kExitSuccess;
    std::vector<CaseReport> reports;
    for (const Request& r : requests) {
      Finished done = RunOne(r, console);
      if (status == kExitSuccess) status = done.status;
      reports.push_back(std::move(done.report));
    }
    if (output && (std::fflush(output.get()) != 0 || std::ferror(output.get()))) {
      std::cerr << "tervik-run: cannot write '" << global.outputPath << "'\n";
      return kExitFailed;
    }
    if (!global.junitPath.empty() &&
        !tervik::platform::WriteWhole(global.junitPath, JUnitReport(reports))) {
      std::cerr << "tervik-run: cannot write '" << global.junitPath << "': " << std::strerror(errno)
                << "\n";
      return kExitFailed;
    }
    return status;
  } catch (const UsageError& e) {
    std::cerr << "tervik-run: " << e.text << "\n";
    return kExitUsage;
  }
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
