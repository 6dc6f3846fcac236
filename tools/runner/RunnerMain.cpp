// tervik-run: loads a memory map and a listing into a debugging session as the emulator window
// does, resets, runs through the session's run operations (or step by step for a trace), checks
// the --expect conditions and reports how the run ended. With --suite it does so for each line
// of a file, and --junit reports the runs as JUnit XML.
#include <CLI/CLI.hpp>

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Checks.h"
#include "Files.h"
#include "Isolated.h"
#include "JUnit.h"
#include "ProgramFiles.h"
#include "RunConsole.h"
#include "RunOne.h"
#include "Signals.h"
#include "Suite.h"
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

// Options that concern the whole invocation rather than one run.
struct Global {
  bool quiet = false;
  bool force = false;  // read-only outputs are replaced
  std::string outputPath, junitPath, suitePath;
  std::optional<std::string> engineText;  // --engine; none: the default
};

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// A mistake on the command line or in the suite file ends the invocation before any run:
// "tervik-run: --until: col 5: ...".
struct UsageError {
  std::string text;
};

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "localhost";
  return name;
}

// Refuses (as a UsageError) an output that cannot be written or would replace an input of the
// runs (the map, the listing, the symbol file, the input file or the suite), that is read-only
// (without --force), or that is the same file as another output: --output, --junit and each
// run's --dump-display. Checked before anything is opened, so that a refusal touches nothing.
void CheckOutputs(const Global& global, const std::vector<Request>& requests) {
  std::vector<std::pair<std::string, std::string>> inputs;  // (what it is, its path)
  if (!global.suitePath.empty()) inputs.emplace_back("suite", global.suitePath);
  for (const Request& r : requests) {
    if (r.mapPath) inputs.emplace_back("memory map", *r.mapPath);
    if (r.inputPath) inputs.emplace_back("input file", *r.inputPath);
    if (!r.listingPath) continue;
    inputs.emplace_back("listing", *r.listingPath);
    const std::string symbols =
        r.symbolsPath ? *r.symbolsPath : tervik::debug::SymbolPathFor(*r.listingPath);
    std::error_code missing;
    if (r.symbolsPath || std::filesystem::exists(symbols, missing)) {
      inputs.emplace_back("symbol file", symbols);
    }
  }
  struct Output {
    std::string option;  // "--junit", "s.suite:3: --dump-display"
    std::string path;
    bool dashIsStdout;
  };
  std::vector<Output> outputs;
  if (!global.outputPath.empty()) outputs.push_back({"--output", global.outputPath, true});
  if (!global.junitPath.empty()) outputs.push_back({"--junit", global.junitPath, true});
  for (const Request& r : requests) {
    if (!r.displayPath) continue;
    outputs.push_back(
        {(r.origin.empty() ? "" : r.origin + ": ") + "--dump-display", *r.displayPath, false});
  }
  for (size_t i = 0; i < outputs.size(); ++i) {
    const Output& out = outputs[i];
    const std::string refused = out.option + ": will not write '" + out.path + "': ";
    const tervik::platform::OutputTarget target =
        tervik::platform::ResolveOutput(out.path, out.dashIsStdout);
    if (target.kind == tervik::platform::OutputKind::Refused) {
      throw UsageError{refused + target.refusal};
    }
    if (target.readOnly && !global.force) {
      throw UsageError{refused + "it is read-only (--force replaces it)"};
    }
    for (const auto& [what, input] : inputs) {
      if (tervik::platform::SameOutputFile(out.path, input, out.dashIsStdout)) {
        throw UsageError{refused + "it is the " + what + " '" + input + "'"};
      }
    }
    // Two outputs on one file: one of them would be lost. Standard output ("-") takes both.
    const auto isStdout = [](const Output& o) { return o.dashIsStdout && o.path == "-"; };
    for (size_t j = 0; j < i; ++j) {
      if (!isStdout(out) && !isStdout(outputs[j]) &&
          tervik::platform::SameOutputFile(out.path, outputs[j].path)) {
        throw UsageError{refused + "it is the " + outputs[j].option + " file too"};
      }
    }
  }
}

// Removes an earlier report at `path` (through a link, the file it leads to; the link stays)
// so that none survives a run that does not get as far as writing one. A device or FIFO stays,
// and so does a file that is one of the runs' inputs.
// Returns the removed file's permissions, which the new report takes again.
std::optional<std::filesystem::perms> RemoveStaleReport(const std::string& path,
                                                        const std::string& suitePath,
                                                        const std::vector<Request>& requests) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  const auto same = [&](const std::optional<std::string>& input) {
    std::error_code ignored;
    return input && std::filesystem::equivalent(path, *input, ignored);
  };
  if (same(suitePath.empty() ? std::nullopt : std::optional<std::string>(suitePath))) {
    return std::nullopt;
  }
  for (const Request& r : requests) {
    if (same(r.mapPath) || same(r.listingPath) || same(r.symbolsPath) ||
        (r.listingPath && same(tervik::debug::SymbolPathFor(*r.listingPath)))) {
      return std::nullopt;
    }
  }
  const std::filesystem::perms mode = std::filesystem::status(path, error).permissions();
  if (error) return std::nullopt;
  std::filesystem::remove(std::filesystem::canonical(path, error), error);
  return mode;
}

// The line a suite prints after each run: "NAME: passed", "NAME: failed (exit status 6)",
// "NAME: error (exit status 3)".
std::string ResultLine(const CaseReport& report) {
  switch (VerdictOf(report.status)) {
    case Verdict::Passed: return report.name + ": passed";
    case Verdict::Failed:
      return report.name + ": failed (exit status " + std::to_string(report.status) + ")";
    case Verdict::Error: break;
  }
  return report.name + ": error (exit status " + std::to_string(report.status) + ")";
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
                 "of standard error ('-': standard output)")
      ->type_name("FILE");
  app.add_option("--suite", global.suitePath,
                 "Run each line of FILE, a set of the run options above (--map, --lst, --expect, "
                 "...) as on a command line; the run options given here are every line's "
                 "defaults")
      ->type_name("FILE");
  app.add_option("--junit", global.junitPath,
                 "Write a JUnit XML report of the run(s) to FILE ('-': standard output)")
      ->type_name("FILE");
  app.add_flag("--force", global.force,
               "Replace an output file (--output, --junit, --dump-display) that is read-only "
               "(mode 0444); without it such a file is refused");
  app.add_option("--engine", global.engineText,
                 "Run the program on the translator (the default where it is available: x86-64) "
                 "or the interpreter; both give the same results")
      ->type_name("interpreter|translator");
  app.set_version_flag("--version", VersionText());
  app.footer(
      "Exit status: 0 when pc reached the --until address, or, without --until, when the "
      "program halted at a jump to itself; 1 when it halted normally with --until given; 2 "
      "when the step limit ran out; 3 when a file cannot be read; 4 when the output cannot be "
      "written or the runner fails otherwise; 5 when it halted on an undefined word or a fetch "
      "from unmapped memory; 6 when the run ended well but an --expect does not hold; 7 when "
      "the --timeout ran out; 64 for command-line errors and for an --output or --junit that is a "
      "folder or one of the inputs (nothing is run then). With --suite: the first run's status "
      "that is not 0. SIGTERM and SIGINT end the run in progress, write the report of the runs "
      "so far and then end the runner as the signal does.\n");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : kExitUsage;
  }

  try {
    std::vector<Request> requests;
    if (!global.suitePath.empty()) {
      // The command line's run options are the defaults of every line; a mistake in them is
      // the command line's, before any run.
      if (const std::string error = CheckValues(request); !error.empty()) {
        throw UsageError{error};
      }
      std::string text, error;
      if (!tervik::platform::ReadRegularFile(global.suitePath, text, error)) {
        throw UsageError{"--suite: cannot read '" + global.suitePath + "': " + error};
      }
      Suite suite = ParseSuite(text, global.suitePath, request);
      if (!suite.error.empty()) throw UsageError{suite.error};
      requests = std::move(suite.runs);
    } else if (!request.mapPath || !request.listingPath) {
      throw UsageError{"--map and --lst are required"};
    } else {
      requests.push_back(request);
    }
    // Given empty ("--engine ''") it names no engine: an error, not the default.
    tervik::jit::EngineKind engine = tervik::jit::DefaultEngine();
    if (global.engineText) {
      const auto kind = tervik::jit::ParseEngine(*global.engineText);
      if (!kind) {
        throw UsageError{"--engine: '" + *global.engineText +
                         "' is neither 'interpreter' nor 'translator'"};
      }
      engine = *kind;
    }
    CheckOutputs(global, requests);
    if (engine == tervik::jit::EngineKind::Translator && !tervik::jit::TranslatorAvailable()) {
      std::cerr << "tervik-run: this build has no translator; the interpreter runs\n";
      engine = tervik::jit::EngineKind::Interpreter;
    }
    // The program's lines are streamed as they come: into a file (through its links), a device,
    // a FIFO, or standard output for "-".
    std::unique_ptr<std::FILE, FileCloser> output;
    std::FILE* lines = nullptr;
    if (global.outputPath == "-") {
      lines = stdout;
    } else if (!global.outputPath.empty()) {
      output.reset(std::fopen(global.outputPath.c_str(), "w"));
      lines = output.get();
      if (!output) {
        std::cerr << "tervik-run: cannot write '" << global.outputPath
                  << "': " << std::strerror(errno) << "\n";
        return kExitFailed;
      }
    }
    std::optional<std::filesystem::perms> reportMode;
    if (!global.junitPath.empty()) {
      reportMode = RemoveStaleReport(global.junitPath, global.suitePath, requests);
    }

    SignalCatcher signals;
    RunConsole console(global.quiet, lines);
    const bool suite = !global.suitePath.empty();
    SuiteReport report;
    report.name = suite ? global.suitePath : "tervik-run";
    report.timestamp = UtcTimestamp(std::time(nullptr));
    report.hostname = HostName();
    int status = kExitSuccess;
    size_t passed = 0;
    int outputError = 0;
    // The runs in a process of their own: a module that exits, aborts or hangs ends its run,
    // not the runner.
    // A suite's result line goes out where the run's own lines do, in order with them.
    const auto announce = [suite](const Finished& done) {
      if (suite) std::cout << ResultLine(done.report) << std::endl;
    };
    RunIsolated(requests, console, signals, engine, global.force, announce, [&](Finished&& done) {
      if (done.outputError != 0 && outputError == 0) {
        outputError = done.outputError;
        std::cerr << "tervik-run: cannot write '" << global.outputPath
                  << "': " << std::strerror(outputError) << "\n";
      }
      if (status == kExitSuccess) status = done.status;
      passed += done.status == kExitSuccess ? 1 : 0;
      report.cases.push_back(std::move(done.report));
    });
    if (suite) {
      std::cout << passed << " passed, " << report.cases.size() - passed << " failed" << std::endl;
    }
    if (outputError != 0) {
      // A file the lines did not all reach is no record of them (a full disk would leave it
      // empty): it goes. A device or a FIFO stays.
      output.reset();
      if (global.outputPath != "-") tervik::platform::RemoveOutput(global.outputPath);
      status = kExitFailed;
    }
    std::string error;
    tervik::platform::WriteOptions reportOptions;
    reportOptions.dashIsStdout = true;
    reportOptions.replaceReadOnly = global.force;
    reportOptions.interrupt = signals.Flag();
    if (!global.junitPath.empty() &&
        !tervik::platform::WriteOutput(global.junitPath, JUnitReport(report), error,
                                       reportOptions)) {
      std::cerr << "tervik-run: cannot write '" << global.junitPath << "': " << error << "\n";
      status = kExitFailed;
    } else if (reportMode) {
      // The report the run removed at its start had these permissions; the new one keeps them.
      std::error_code ignored;
      std::filesystem::permissions(global.junitPath, *reportMode, ignored);
    }
    signals.EndBySignal();
    return status;
  } catch (const UsageError& e) {
    std::cerr << "tervik-run: " << e.text << "\n";
    return kExitUsage;
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Past the file size limit (ulimit -f) a write fails with EFBIG, which is reported, rather
  // than ending the runner by SIGXFSZ with no report.
  std::signal(SIGXFSZ, SIG_IGN);
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
