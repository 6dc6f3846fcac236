// Reads the runs of a suite file and applies the command line's options to them.
#include "Suite.h"

#include <CLI/CLI.hpp>

#include <algorithm>

namespace tervik::runner {

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
  app.add_option("--timeout", r.timeoutText,
                 "Stop when the run has taken SECONDS of wall-clock time (e.g. 10 or 0.5); exit "
                 "status 7")
      ->type_name("SECONDS");
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

debug::Result<std::vector<std::string>> SplitWords(std::string_view line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == ' ' || c == '\t') {
      if (inWord) words.push_back(std::exchange(word, {}));
      inWord = false;
      continue;
    }
    inWord = true;
    if (c == '\\') {
      if (i + 1 < line.size()) word += line[++i];
    } else if (c == '\'') {
      const size_t close = line.find('\'', i + 1);
      if (close == std::string_view::npos) return debug::Error{i + 1, "the quote is not closed"};
      word.append(line.substr(i + 1, close - i - 1));
      i = close;
    } else if (c == '"') {
      const size_t open = i;
      for (++i; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] == '\\' && i + 1 < line.size() &&
            std::string_view("\"\\$`").find(line[i + 1]) != std::string_view::npos) {
          ++i;
        }
        word += line[i];
      }
      if (i == line.size()) return debug::Error{open + 1, "the quote is not closed"};
    } else {
      word += c;
    }
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

Request WithDefaults(Request line, const Request& defaults) {
  const auto fill = [](std::optional<std::string>& value, const std::optional<std::string>& d) {
    if (!value) value = d;
  };
  fill(line.mapPath, defaults.mapPath);
  fill(line.listingPath, defaults.listingPath);
  fill(line.symbolsPath, defaults.symbolsPath);
  fill(line.stepsText, defaults.stepsText);
  fill(line.untilText, defaults.untilText);
  fill(line.traceFromText, defaults.traceFromText);
  fill(line.traceToText, defaults.traceToText);
  fill(line.timeoutText, defaults.timeoutText);
  // One input per run: a line's own --input or --input-file replaces the command line's.
  if (!line.inputText && !line.inputPath) {
    line.inputText = defaults.inputText;
    line.inputPath = defaults.inputPath;
  }
  fill(line.switchesText, defaults.switchesText);
  fill(line.displayPath, defaults.displayPath);
  if (line.name.empty()) line.name = defaults.name;
  line.trace = line.trace || defaults.trace;
  line.dumpRegs = line.dumpRegs || defaults.dumpRegs;
  line.dumpSymbols = line.dumpSymbols || defaults.dumpSymbols;
  const auto prepend = [](std::vector<std::string>& values, const std::vector<std::string>& d) {
    values.insert(values.begin(), d.begin(), d.end());
  };
  prepend(line.dumpMemTexts, defaults.dumpMemTexts);
  prepend(line.expectTexts, defaults.expectTexts);
  return line;
}

Suite ParseSuite(std::string_view text, const std::string& path, const Request& defaults) {
  Suite suite;
  size_t number = 0;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos || line[first] == '#') continue;

    const std::string origin = path + ":" + std::to_string(number);
    // A NUL byte would end the option's text early wherever it is passed on as a C string (a
    // file name, a module's parameter): the line is refused rather than read as something else.
    if (const size_t nul = line.find('\0'); nul != std::string_view::npos) {
      suite.error = origin + ": col " + std::to_string(nul + 1) + ": a NUL byte";
      break;
    }
    const debug::Result<std::vector<std::string>> words = SplitWords(line);
    if (!words.ok()) {
      suite.error = origin + ": " + words.error().Text();
      break;
    }
    CLI::App app("", "suite");
    app.set_help_flag();
    Request r;
    DefineRunOptions(app, r);
    std::vector<std::string> args = words.value();
    std::reverse(args.begin(), args.end());  // CLI11 takes the arguments last first
    try {
      app.parse(args);
    } catch (const CLI::ParseError& e) {
      suite.error = origin + ": " + e.what();
      break;
    }
    r = WithDefaults(std::move(r), defaults);
    r.origin = origin;
    if (!r.mapPath || !r.listingPath) {
      suite.error = origin + ": --map and --lst are required";
      break;
    }
    suite.runs.push_back(std::move(r));
  }
  if (!suite.error.empty()) {
    suite.runs.clear();
  } else if (suite.runs.empty()) {
    suite.error = "--suite: '" + path + "' names no run";
  }
  return suite;
}

}  // namespace tervik::runner
