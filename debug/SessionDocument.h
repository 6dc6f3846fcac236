// What a session file is kept as between a read and the next write: the session's items as they
// were then (SessionState), what the user changed since (SessionChanges), and the file's own
// lines (SessionDocument), to which only those changes are applied. Lines the debugger does not
// understand, comments, items that do not resolve and items nobody changed keep their exact
// text and place; a removed item loses its line, a changed one has its line rewritten in place,
// a new one is appended. Applied to the lines another window has written meanwhile, this is a
// three-way merge: base (the state last read or written), ours (the state now), theirs (the
// file now).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Session.h"
#include "WatchList.h"

namespace tervik::debug {

// A breakpoint or watchpoint as the session holds it, its addresses resolved.
struct BreakpointState {
  uint32_t address = 0;
  bool enabled = true;
  uint64_t stopAtHit = 1;
  std::string condition;
  bool operator==(const BreakpointState&) const = default;
};

struct WatchpointState {
  uint32_t first = 0;
  uint32_t last = 0;
  WatchAccess access = WatchAccess::Write;
  bool enabled = true;
  uint64_t stopAtHit = 1;
  std::string condition;
  bool operator==(const WatchpointState&) const = default;
};

struct SessionState {
  std::vector<BreakpointState> breakpoints;
  std::vector<WatchpointState> watchpoints;
  std::vector<std::string> expressions;
};

SessionState StateOf(const Session& session, const WatchList& watches);

// A watch expression of the old state, known by its text and how many times that text came
// before it (the file may hold one text twice), and its new text (empty: removed).
struct ExpressionEdit {
  std::string text;
  size_t occurrence = 0;
  std::string after;
};

// What changed from one state to another. A breakpoint is known by its address, a watchpoint by
// its range and access, an expression by its text and place.
struct SessionChanges {
  std::vector<uint32_t> removedBreakpoints;
  std::vector<BreakpointState> breakpoints;  // added or changed, in the session's order
  std::vector<WatchpointState> removedWatchpoints;
  std::vector<WatchpointState> watchpoints;       // added or changed
  std::vector<ExpressionEdit> editedExpressions;  // edited or removed, in the old order
  std::vector<std::string> addedExpressions;
  // Where the added ones go: after the old expression `addedAfter` names, or else before the
  // one `addedBefore` names (an empty text: none), or else at the end.
  ExpressionEdit addedAfter;
  ExpressionEdit addedBefore;

  bool empty() const {
    return removedBreakpoints.empty() && breakpoints.empty() && removedWatchpoints.empty() &&
           watchpoints.empty() && editedExpressions.empty() && addedExpressions.empty();
  }
};

SessionChanges Changes(const SessionState& base, const SessionState& now);

// A session file's text as lines, each kept as it was read.
class SessionDocument {
 public:
  SessionDocument() = default;
  explicit SessionDocument(std::string_view text);

  std::string Text() const;
  size_t LineCount() const { return lines_.size(); }

  // Applies `changes` to the lines: an item's line is found by resolving its addresses with the
  // session's symbols now. A changed item keeps its line's address text; a new one gets the
  // writer's (AddressText); a file without lines gets the heading first.
  void Apply(const SessionChanges& changes, const Session& session);

 private:
  std::vector<std::string> lines_;
  bool finalNewline_ = true;  // the text ends with a line end (or is empty)
};

}  // namespace tervik::debug
