// A program's debugging session kept beside it: its breakpoints (with their settings), its
// watchpoints and its watch expressions, saved as X.session beside X.asm or X.lst and restored
// when the same program is opened again. Addresses are saved by label where the symbols name
// one ("loop+2"), so they follow the source through a reassembly.
//
// The format is text, one item per line; blank lines and lines starting with ';' are comments:
//   break ADDRESS [off] [hit=N] [if CONDITION]
//   watch FIRST..LAST r|w|rw [off] [hit=N] [if CONDITION]
//   expr EXPRESSION
// ADDRESS, FIRST and LAST are expressions without blanks (a label, "loop+2", "0x0000000F");
// "off" marks a disabled item, hit=N the hit to stop at (1 when left out), and CONDITION, to the
// end of the line, the condition. The writer starts with "; Tervik session".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Session.h"
#include "WatchList.h"

namespace tervik::debug {

struct SavedBreakpoint {
  std::string address;
  bool enabled = true;
  uint64_t stopAtHit = 1;
  std::string condition;
  bool operator==(const SavedBreakpoint&) const = default;
};

struct SavedWatchpoint {
  std::string first;
  std::string last;
  WatchAccess access = WatchAccess::Write;
  bool enabled = true;
  uint64_t stopAtHit = 1;
  std::string condition;
  bool operator==(const SavedWatchpoint&) const = default;
};

struct SavedSession {
  std::vector<SavedBreakpoint> breakpoints;
  std::vector<SavedWatchpoint> watchpoints;
  std::vector<std::string> expressions;
  bool operator==(const SavedSession&) const = default;
  bool empty() const { return breakpoints.empty() && watchpoints.empty() && expressions.empty(); }
};

// X.session for a program X.asm or X.lst (any path: its extension replaced).
std::string SessionPathFor(const std::string& programPath);

// The file's first line when the debugger makes it.
inline constexpr std::string_view kSessionHeading =
    "; Tervik session: breakpoints, watchpoints and watch expressions";

std::string SessionText(const SavedSession& session);
// One item's line, without its line end.
std::string BreakpointLine(const SavedBreakpoint& b);
std::string WatchpointLine(const SavedWatchpoint& w);
std::string ExpressionLine(std::string_view expression);

// One line of a session file as the reader takes it.
struct SessionLine {
  enum class Kind : uint8_t {
    Comment,  // blank, or starting with ';'
    Breakpoint,
    Watchpoint,
    Expression,
    Unknown,  // not an item the reader knows: `problem` says why
  };
  Kind kind = Kind::Comment;
  SavedBreakpoint breakpoint;
  SavedWatchpoint watchpoint;
  std::string expression;
  std::string problem;
};
SessionLine ReadSessionLine(std::string_view line);

struct SessionRead {
  SavedSession session;
  std::vector<std::string> problems;  // "line 3: ..." for each line that was skipped
};
SessionRead ReadSessionText(std::string_view text);

// An address saved as text, evaluated with the session's symbols now; nothing when it does not
// resolve.
std::optional<uint32_t> ResolveAddress(const std::string& text, const Session& session);
// An address as the writer saves it: by label where the symbols name one near below it
// ("loop+2"), in hex otherwise ("0x0000000F").
std::string AddressText(uint32_t address, const SymbolTable& symbols);

// The session's breakpoints, watchpoints and the watch list, addresses by label where the
// session's symbols name one.
SavedSession Capture(const Session& session, const WatchList& watches);

// Replaces the session's breakpoints and watchpoints and the watch list by `saved`, resolving
// addresses with the session's symbols now. Items that no longer resolve (a label that is gone)
// or whose condition does not parse are skipped; the result names them ("loop+2: undefined
// symbol 'loop'").
std::vector<std::string> Apply(const SavedSession& saved, Session& session, WatchList& watches);

}  // namespace tervik::debug
