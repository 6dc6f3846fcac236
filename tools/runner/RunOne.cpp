// One run of tervik-run, from its options to its status.
#include "RunOne.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <functional>
#include <iostream>
#include <optional>
#include <vector>

#include "BoardIO.h"
#include "Checks.h"
#include "Debugger.h"
#include "DynamicLibrary.h"
#include "Expression.h"
#include "FileDescriptor.h"
#include "Files.h"
#include "Listing.h"
#include "MemoryMap.h"
#include "PeripheralModule.h"
#include "Processor.h"
#include "ProgramFiles.h"
#include "Runner.h"
#include "Session.h"

namespace tervik::runner {
namespace {

// A value that cannot be read: "--until: col 5: ...".
struct ValueError {
  std::string text;
};

uint64_t Count(const char* option, const std::string& text) {
  // A negative count is a slip worth a plain word rather than a column.
  const size_t first = text.find_first_not_of(" \t");
  if (first != std::string::npos && text[first] == '-') {
    throw ValueError{std::string(option) + ": a count cannot be negative"};
  }
  const debug::Result<uint64_t> n = ParseCount(text);
  if (!n.ok()) throw ValueError{std::string(option) + ": " + n.error().Text()};
  return n.value();
}

// The values that need no symbols.
struct Plain {
  RunLimits limits;
  std::optional<std::chrono::nanoseconds> timeout;
  TraceRange traceRange;
  bool trace = false;
  std::optional<uint32_t> switches;
};

Plain ReadPlain(const Request& r) {
  Plain p;
  if (r.stepsText) p.limits.maxSteps = Count("--steps", *r.stepsText);
  if (r.timeoutText) {
    const debug::Result<std::chrono::nanoseconds> t = ParseSeconds(*r.timeoutText);
    if (!t.ok()) throw ValueError{"--timeout: " + t.error().Text()};
    p.timeout = t.value();
  }
  if (r.traceFromText) p.traceRange.from = Count("--trace-from", *r.traceFromText);
  if (r.traceToText) p.traceRange.to = Count("--trace-to", *r.traceToText);
  if (r.traceFromText && r.traceToText && p.traceRange.to < p.traceRange.from) {
    throw ValueError{"--trace-to " + std::to_string(p.traceRange.to) + " is before --trace-from " +
                     std::to_string(p.traceRange.from) + ": nothing would be traced"};
  }
  p.trace = r.trace || r.traceFromText || r.traceToText;
  if (r.switchesText) {
    p.switches = ParseSwitches(*r.switchesText);
    if (!p.switches) throw ValueError{"--set-switches: expected up to eight hex digits"};
  }
  if ((r.inputText || r.inputPath) && p.trace) {
    throw ValueError{"--input and --input-file cannot be combined with a trace"};
  }
  if (r.inputText && r.inputPath) throw ValueError{"--input and --input-file: give one"};
  return p;
}

}  // namespace

std::string CheckValues(const Request& r) {
  try {
    ReadPlain(r);
    if (r.untilText) {
      const debug::Result<debug::Expression> e = debug::Expression::Parse(*r.untilText);
      if (!e.ok()) return "--until: " + e.error().Text();
    }
    for (const std::string& text : r.expectTexts) {
      const debug::Result<Expectation> e = ParseExpectation(text);
      if (!e.ok()) return "--expect: " + e.error().Text();
    }
  } catch (const ValueError& e) {
    return e.text;
  }
  return {};
}

Finished RunOne(const Request& r, RunConsole& console, const volatile std::sig_atomic_t* interrupt,
                jit::EngineKind engine, const std::function<void()>& runEnded, bool force) {
  Finished done;
  done.report.name = r.name.empty() ? *r.listingPath : r.name;
  const auto started = std::chrono::steady_clock::now();
  const std::string prefix = r.origin.empty() ? std::string() : r.origin + ": ";
  auto fail = [&](int status, const std::string& message) {
    std::cerr << "tervik-run: " << prefix << message << "\n";
    done.status = status;
    done.report.status = status;
    done.report.failures.push_back(message);
    done.report.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return done;
  };

  try {
    // The machine, loaded through the debugger as the emulator loads it; its console lines go to
    // the run's console.
    platform::PosixLibraryLoader libraries;
    debug::Debugger debugger(libraries);
    struct ToConsole final : debug::DebugListener {
      explicit ToConsole(ConsoleSink& to) : sink(to) {}
      void ConsoleLine(std::string_view line) override { sink.AppendLine(line); }
      ConsoleSink& sink;
    } toConsole(console);
    debugger.AddListener(toConsole);
    debug::Session& session = debugger.GetSession();
    // The symbols, which the addresses may name, come first; then the numbers are read before
    // anything else is loaded: a mistake in them loads no plug-in.
    session.SetEngine(engine);
    const bool symbolsGiven = r.symbolsPath.has_value();
    const std::string symbolsPath =
        symbolsGiven ? *r.symbolsPath : debug::SymbolPathFor(*r.listingPath);
    std::error_code missing;
    if (symbolsGiven || std::filesystem::exists(symbolsPath, missing)) {
      SymbolFileResult symbols = ReadSymbolFile(symbolsPath);
      if (!symbols.read) {
        return fail(kExitCannotRead,
                    "cannot read the symbol file '" + symbolsPath + "': " + symbols.failure);
      }
      for (const std::string& error : symbols.errors) {
        std::cerr << "tervik-run: " << symbolsPath << ": " << error << "\n";
      }
      // Symbols of another listing would put --until and --expect at the wrong addresses.
      if (const auto foreign = debug::ForeignSymbols(symbols, symbolsPath, *r.listingPath)) {
        std::cerr << "tervik-run: warning: " << *foreign << "\n";
      } else {
        session.SetSymbols(std::move(symbols.table));
      }
    }
    const debug::SymbolLookup lookup = session.Lookup();
    Plain plain;
    std::vector<MemoryRange> dumps;
    std::vector<Expectation> expectations;
    try {
      plain = ReadPlain(r);
      if (r.untilText) {
        const debug::Result<uint32_t> until = ParseAddress(*r.untilText, lookup);
        if (!until.ok()) throw ValueError{"--until: " + until.error().Text()};
        plain.limits.until = until.value();
      }
      for (const std::string& text : r.dumpMemTexts) {
        const debug::Result<MemoryRange> range = ParseRange(text, lookup);
        if (!range.ok()) throw ValueError{"--dump-mem: " + range.error().Text()};
        dumps.push_back(range.value());
      }
      for (const std::string& text : r.expectTexts) {
        debug::Result<Expectation> expectation = ParseExpectation(text);
        if (!expectation.ok()) throw ValueError{"--expect: " + expectation.error().Text()};
        expectations.push_back(std::move(expectation).value());
      }
    } catch (const ValueError& e) {
      return fail(kExitUsage, e.text);
    }
    // The input file is opened now, to fail before anything loads, and read as the terminal
    // takes it.
    std::optional<platform::FileDescriptor> inputFile;
    if (r.inputPath) {
      std::string error;
      inputFile.emplace(platform::OpenRegularFile(*r.inputPath, error));
      if (inputFile->get() < 0) {
        return fail(kExitCannotRead, "cannot read the input file '" + *r.inputPath + "': " + error);
      }
    }
    const RunLimits& limits = plain.limits;
    RunGuard guard;
    if (plain.timeout) guard.deadline = started + *plain.timeout;
    guard.interrupt = interrupt;

    Processor& processor = session.Cpu();
    // The loaders' own console lines say what went wrong; the last line says what was given up.
    if (!debugger.LoadMap(*r.mapPath)) {
      console.ShowLoaderLines();
      return fail(kExitCannotRead, "cannot read the memory map '" + *r.mapPath + "'");
    }
    // The listing's loader writes only when something is wrong; its lines are held back so
    // that a listing that places no word gives one warning, which --quiet does not drop.
    ListingExtent extent;
    console.Hold();
    const bool listingRead = debugger.LoadListing(*r.listingPath, &extent);
    std::vector<std::string> held = console.TakeHeld();
    if (!listingRead) {
      console.ShowLoaderLines();
      for (const std::string& line : held) std::cerr << line << "\n";
      return fail(kExitCannotRead, "cannot read the listing '" + *r.listingPath + "'");
    }
    std::string warning;
    if (extent.placed == 0 && !held.empty()) {
      warning = std::move(held.back());
      held.pop_back();
    }
    for (const std::string& line : held) console.AppendLine(line);
    if (extent.placed == 0) {
      std::cerr << "tervik-run: " << prefix << "warning: "
                << (warning.empty()
                        ? "the listing '" + *r.listingPath + "' places no word in the memory map"
                        : warning)
                << "\n";
    }
    processor.Reset();

    // The board options go through the modules' panels.
    Board board;
    board.Sync(processor);
    if (plain.switches) {
      const std::string error = SetSwitches(processor, board, *plain.switches);
      if (!error.empty()) return fail(kExitUsage, "--set-switches: " + error);
    }
    std::optional<InputFeeder> feeder;
    if (r.inputText || r.inputPath) {
      const PanelElement* terminal = nullptr;
      const Board::Panel* panel = board.Find(PanelKind::Terminal, &terminal);
      if (panel == nullptr)
        return fail(kExitUsage, "--input: the memory map has no terminal panel");
      if (inputFile) {
        feeder.emplace(processor, *panel, *terminal, inputFile->get());
        inputFile->release();
      } else {
        feeder.emplace(processor, *panel, *terminal, *r.inputText);
      }
    }
    if (r.displayPath && board.Find(PanelKind::Pixels) == nullptr) {
      return fail(kExitUsage, "--dump-display: the memory map has no pixel display panel");
    }
    const std::function<bool()> refill = [&] { return feeder->Refill(); };

    console.StartRun();
    RunOutcome outcome;
    try {
      outcome = plain.trace ? RunTraced(processor, limits, stdout, plain.traceRange, guard)
                            : Run(session, limits, guard, feeder ? refill : std::function<bool()>(),
                                  kInputSlice);
    } catch (...) {
      done.report.output = console.TakeProgramOutput(done.report.outputCut);
      throw;
    }
    done.report.output = console.TakeProgramOutput(done.report.outputCut);
    done.report.stop = FormatStop(processor, outcome);
    if (runEnded) runEnded();
    if (feeder && feeder->ReadError() != 0) {
      return fail(kExitCannotRead, "cannot read the input file '" + *r.inputPath +
                                       "': " + std::strerror(feeder->ReadError()));
    }
    if (outcome.reason == StopReason::OutputFailed) {
      return fail(kExitFailed,
                  std::string("cannot write the output: ") + std::strerror(outcome.error));
    }

    // An interrupted run writes no dumps (the process is to end soon) and checks nothing.
    const bool interrupted = outcome.reason == StopReason::Interrupted;
    // Written as it is made: a memory dump can be far larger than the memory there is.
    if (r.dumpRegs && !interrupted) std::fputs(FormatRegisters(processor).c_str(), stdout);
    for (const MemoryRange& range : dumps) {
      if (interrupted) break;
      if (!WriteMemory(processor, range.start, range.count, stdout)) {
        return fail(kExitFailed, std::string("cannot write the output: ") + std::strerror(errno));
      }
    }
    if (r.dumpSymbols && !interrupted) {
      const std::string text = FormatSymbolFile(session.Symbols().Entries());
      std::fwrite(text.data(), 1, text.size(), stdout);
    }
    if (r.displayPath && !interrupted) {
      const std::optional<std::string> png = DisplayPng(board);
      platform::WriteOptions options;
      options.replaceReadOnly = force;
      options.interrupt = interrupt;
      std::string error = "the display could not be encoded";
      if (!png || png->empty() || !platform::WriteOutput(*r.displayPath, *png, error, options)) {
        return fail(kExitFailed, "cannot write '" + *r.displayPath + "': " + error);
      }
    }
    std::fputs((done.report.stop + "\n").c_str(), stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
      return fail(kExitFailed, std::string("cannot write the output: ") + std::strerror(errno));
    }
    if (interrupted) {
      const int signal = interrupt != nullptr ? *interrupt : 0;
      return fail(kExitSignal + signal,
                  std::string("interrupted by ") + (signal == SIGINT ? "SIGINT" : "SIGTERM"));
    }
    if (outcome.reason == StopReason::TimedOut) {
      const std::string message = "the run took longer than --timeout " + *r.timeoutText;
      std::cerr << "tervik-run: " << prefix << message << "\n";
      done.report.failures.push_back(message);
    }

    const HaltCause cause =
        outcome.reason == StopReason::Halted ? ClassifyHalt(processor) : HaltCause::Stayed;
    if (cause != HaltCause::Stayed) {
      done.report.failures.push_back(DescribeFault(cause, processor.pc));
      std::cerr << "tervik-run: " << prefix << done.report.failures.back() << "\n";
    }
    const std::vector<std::string> unmet = FailedExpectations(processor, lookup, expectations);
    for (const std::string& failure : unmet) {
      std::cerr << "tervik-run: " << prefix << failure << "\n";
      done.report.failures.push_back(failure);
    }
    done.status = RunStatus(outcome, limits.until.has_value(), cause, unmet.empty());
    done.report.status = done.status;
    done.report.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return done;
  } catch (const std::exception& e) {
    // A module that throws, memory that runs out: this run ends, the others go on.
    return fail(kExitFailed, std::string("the run failed: ") + e.what());
  } catch (...) {
    return fail(kExitFailed, "the run failed: an unknown exception");
  }
}

}  // namespace tervik::runner
