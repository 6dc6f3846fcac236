// The runs tervik-run makes: the one its command line gives, or one for each line of a suite
// file, which takes the command line's run options as its defaults.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Number.h"

namespace CLI {
class App;
}

namespace tervik::runner {

// One run's options as given. Options not given are empty; a value given empty ("--until ''")
// is an error of its own, found when the run is prepared.
struct Request {
  std::string origin;  // "FILE:LINE" for a line of a suite, empty for the command line
  std::string name;
  std::optional<std::string> mapPath, listingPath, symbolsPath, stepsText, untilText;
  std::optional<std::string> traceFromText, traceToText, timeoutText;
  bool trace = false, dumpRegs = false, dumpSymbols = false;
  std::vector<std::string> dumpMemTexts, expectTexts;
  // The board options (BoardIO.h).
  std::optional<std::string> inputText, inputPath, switchesText, displayPath;
};

// The run options, as on the command line and in a suite's lines.
void DefineRunOptions(CLI::App& app, Request& r);

// The words of a suite line, quoted as in a POSIX shell: '...' keeps everything up to the next
// quote; "..." keeps everything but a backslash before ", \, $ or `, which escapes it; outside
// quotes a backslash escapes the next character and blanks (space, tab) separate words. A
// quote left open is an error at its column.
debug::Result<std::vector<std::string>> SplitWords(std::string_view line);

// The run `line` asks for, with `defaults` filling in what it does not give: a value the line
// gives (--map, --lst, --sym, --steps, --until, --trace-from, --trace-to, --timeout, --name)
// replaces the default's; a flag (--trace, --dump-regs, --dump-sym) is on when either has it;
// the repeatable options (--expect, --dump-mem) take the defaults' first, then the line's.
Request WithDefaults(Request line, const Request& defaults);

// The runs of a suite file's text, one a line, each with `defaults` applied; blank lines and
// lines that start with '#' are skipped. `error` ("FILE:LINE: ...") when a line cannot be read
// as options, or lacks --map or --lst after the defaults; then there are no runs.
struct Suite {
  std::vector<Request> runs;
  std::string error;
};
Suite ParseSuite(std::string_view text, const std::string& path, const Request& defaults);

}  // namespace tervik::runner
