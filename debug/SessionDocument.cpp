// A session file's lines, and the changes of a session applied to them.
#include "SessionDocument.h"

#include <algorithm>
#include <map>
#include <tuple>
#include <unordered_map>

#include "SessionFile.h"

namespace tervik::debug {

namespace {

using WatchKey = std::tuple<uint32_t, uint32_t, WatchAccess>;

WatchKey KeyOf(const WatchpointState& w) {
  return {w.first, w.last, w.access};
}

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

std::string ConditionText(const BreakpointSettings& settings) {
  return settings.condition ? settings.condition->Text() : std::string();
}

// Where each item of the lines is: breakpoints by address, watchpoints by range and access,
// expressions by text (in the lines' order). Lines whose addresses do not resolve are in none.
struct LineIndex {
  std::unordered_map<uint32_t, std::vector<size_t>> breakpoints;
  std::map<WatchKey, std::vector<size_t>> watchpoints;
  std::unordered_map<std::string, std::vector<size_t>> expressions;

  LineIndex(const std::vector<std::string>& lines, const Session& session) {
    for (size_t i = 0; i < lines.size(); ++i) {
      const SessionLine line = ReadSessionLine(lines[i]);
      if (line.kind == SessionLine::Kind::Breakpoint) {
        if (const auto at = ResolveAddress(line.breakpoint.address, session)) {
          breakpoints[*at].push_back(i);
        }
      } else if (line.kind == SessionLine::Kind::Watchpoint) {
        const auto first = ResolveAddress(line.watchpoint.first, session);
        const auto last = ResolveAddress(line.watchpoint.last, session);
        if (first && last) watchpoints[{*first, *last, line.watchpoint.access}].push_back(i);
      } else if (line.kind == SessionLine::Kind::Expression) {
        expressions[line.expression].push_back(i);
      }
    }
  }

  // The line of the `occurrence`th expression `text` (from 0); nothing when there is none.
  std::optional<size_t> Expression(const std::string& text, size_t occurrence) const {
    const auto found = expressions.find(text);
    if (found == expressions.end() || occurrence >= found->second.size()) return std::nullopt;
    return found->second[occurrence];
  }
};

}  // namespace

SessionState StateOf(const Session& session, const WatchList& watches) {
  SessionState state;
  const std::vector<uint32_t>& breakpoints = session.Breakpoints();
  state.breakpoints.reserve(breakpoints.size());
  for (size_t i = 0; i < breakpoints.size(); ++i) {
    const BreakpointSettings& settings = session.Settings(i + 1);
    state.breakpoints.push_back(
        {breakpoints[i], settings.enabled, settings.stopAtHit, ConditionText(settings)});
  }
  state.watchpoints.reserve(session.Watchpoints().size());
  for (const Watchpoint& w : session.Watchpoints()) {
    state.watchpoints.push_back({w.first, w.last, w.access, w.settings.enabled,
                                 w.settings.stopAtHit, ConditionText(w.settings)});
  }
  // As the file gives them back: without the blanks around them; an empty one is not kept.
  for (const WatchItem& item : watches.Items()) {
    if (const std::string_view text = Trimmed(item.text); !text.empty()) {
      state.expressions.emplace_back(text);
    }
  }
  return state;
}

SessionChanges Changes(const SessionState& base, const SessionState& now) {
  SessionChanges changes;

  std::unordered_map<uint32_t, const BreakpointState*> breakpointsBefore;
  for (const BreakpointState& b : base.breakpoints) breakpointsBefore.emplace(b.address, &b);
  std::unordered_map<uint32_t, bool> breakpointsNow;
  for (const BreakpointState& b : now.breakpoints) {
    breakpointsNow.emplace(b.address, true);
    const auto before = breakpointsBefore.find(b.address);
    if (before == breakpointsBefore.end() || !(*before->second == b)) {
      changes.breakpoints.push_back(b);
    }
  }
  for (const BreakpointState& b : base.breakpoints) {
    if (!breakpointsNow.contains(b.address)) changes.removedBreakpoints.push_back(b.address);
  }

  std::map<WatchKey, const WatchpointState*> watchpointsBefore;
  for (const WatchpointState& w : base.watchpoints) watchpointsBefore.emplace(KeyOf(w), &w);
  std::map<WatchKey, bool> watchpointsNow;
  for (const WatchpointState& w : now.watchpoints) {
    if (!watchpointsNow.emplace(KeyOf(w), true).second) continue;
    const auto before = watchpointsBefore.find(KeyOf(w));
    if (before == watchpointsBefore.end() || !(*before->second == w)) {
      changes.watchpoints.push_back(w);
    }
  }
  for (const WatchpointState& w : base.watchpoints) {
    if (!watchpointsNow.contains(KeyOf(w))) changes.removedWatchpoints.push_back(w);
  }

  // The watch list changes one item at a time (added at the end, edited or removed in place):
  // what lies between the common start and the common end was edited, removed or added.
  const std::vector<std::string>& before = base.expressions;
  const std::vector<std::string>& after = now.expressions;
  size_t head = 0;
  while (head < before.size() && head < after.size() && before[head] == after[head]) ++head;
  size_t tail = 0;
  while (tail < before.size() - head && tail < after.size() - head &&
         before[before.size() - 1 - tail] == after[after.size() - 1 - tail]) {
    ++tail;
  }
  const size_t oldCount = before.size() - head - tail;
  const size_t newCount = after.size() - head - tail;
  std::unordered_map<std::string_view, size_t> seen;  // occurrences of each text so far
  for (size_t i = 0; i < head + oldCount; ++i) {
    const size_t occurrence = seen[before[i]]++;
    if (i < head) continue;
    const size_t k = i - head;
    changes.editedExpressions.push_back(
        {before[i], occurrence, k < newCount ? after[head + k] : std::string()});
  }
  for (size_t k = oldCount; k < newCount; ++k) {
    changes.addedExpressions.push_back(after[head + k]);
  }
  // Added ones follow the last old expression before them, or precede the first after them.
  const size_t anchor = head + oldCount;
  if (anchor > 0) {
    changes.addedAfter = {before[anchor - 1], seen[before[anchor - 1]] - 1, {}};
  }
  if (anchor < before.size()) {
    changes.addedBefore = {before[anchor], seen[before[anchor]], {}};
  }
  return changes;
}

SessionDocument::SessionDocument(std::string_view text) {
  while (!text.empty()) {
    const size_t end = text.find('\n');
    lines_.emplace_back(text.substr(0, end));
    if (end == std::string_view::npos) {
      finalNewline_ = false;
      break;
    }
    text.remove_prefix(end + 1);
  }
}

std::string SessionDocument::Text() const {
  size_t size = 0;
  for (const std::string& line : lines_) size += line.size() + 1;
  std::string text;
  text.reserve(size);
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (i != 0) text += '\n';
    text += lines_[i];
  }
  if (finalNewline_ && !lines_.empty()) text += '\n';
  return text;
}

void SessionDocument::Apply(const SessionChanges& changes, const Session& session) {
  LineIndex index(lines_, session);
  std::vector<bool> gone(lines_.size(), false);
  std::vector<std::string> appended;
  const SymbolTable& symbols = session.Symbols();

  for (const uint32_t address : changes.removedBreakpoints) {
    const auto found = index.breakpoints.find(address);
    if (found == index.breakpoints.end()) continue;
    for (const size_t i : found->second) gone[i] = true;
  }
  for (const BreakpointState& b : changes.breakpoints) {
    const auto found = index.breakpoints.find(b.address);
    if (found == index.breakpoints.end()) {
      appended.push_back(
          BreakpointLine({AddressText(b.address, symbols), b.enabled, b.stopAtHit, b.condition}));
      continue;
    }
    // The first line for the address is the one the reader uses; it keeps its address text.
    const std::vector<size_t>& at = found->second;
    const SavedBreakpoint was = ReadSessionLine(lines_[at[0]]).breakpoint;
    const SavedBreakpoint wanted{was.address, b.enabled, b.stopAtHit, b.condition};
    if (!(wanted == was)) lines_[at[0]] = BreakpointLine(wanted);
    for (size_t k = 1; k < at.size(); ++k) gone[at[k]] = true;
  }

  for (const WatchpointState& w : changes.removedWatchpoints) {
    const auto found = index.watchpoints.find(KeyOf(w));
    if (found == index.watchpoints.end()) continue;
    for (const size_t i : found->second) gone[i] = true;
  }
  for (const WatchpointState& w : changes.watchpoints) {
    const auto found = index.watchpoints.find(KeyOf(w));
    if (found == index.watchpoints.end()) {
      appended.push_back(
          WatchpointLine({AddressText(w.first, symbols), AddressText(w.last, symbols), w.access,
                          w.enabled, w.stopAtHit, w.condition}));
      continue;
    }
    const std::vector<size_t>& at = found->second;
    const SavedWatchpoint was = ReadSessionLine(lines_[at[0]]).watchpoint;
    const SavedWatchpoint wanted{was.first, was.last,    w.access,
                                 w.enabled, w.stopAtHit, w.condition};
    if (!(wanted == was)) lines_[at[0]] = WatchpointLine(wanted);
    for (size_t k = 1; k < at.size(); ++k) gone[at[k]] = true;
  }

  for (const ExpressionEdit& edit : changes.editedExpressions) {
    const std::optional<size_t> i = index.Expression(edit.text, edit.occurrence);
    if (edit.after.empty()) {
      if (i) gone[*i] = true;
    } else if (!i) {
      appended.push_back(ExpressionLine(edit.after));
    } else if (edit.after != edit.text) {
      lines_[*i] = ExpressionLine(edit.after);
    }
  }
  // Lines inserted before line i (the end: lines_.size()).
  size_t insertAt = lines_.size();
  if (!changes.addedAfter.text.empty()) {
    if (const auto i = index.Expression(changes.addedAfter.text, changes.addedAfter.occurrence)) {
      insertAt = *i + 1;
    }
  } else if (!changes.addedBefore.text.empty()) {
    if (const auto i = index.Expression(changes.addedBefore.text, changes.addedBefore.occurrence)) {
      insertAt = *i;
    }
  }
  std::vector<std::string> inserted;
  for (const std::string& text : changes.addedExpressions) inserted.push_back(ExpressionLine(text));
  if (insertAt == lines_.size()) {
    appended.insert(appended.end(), inserted.begin(), inserted.end());
    inserted.clear();
  }

  std::vector<std::string> kept;
  kept.reserve(lines_.size() + inserted.size() + appended.size() + 1);
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (i == insertAt) {
      for (std::string& line : inserted) kept.push_back(std::move(line));
    }
    if (!gone[i]) kept.push_back(std::move(lines_[i]));
  }
  if (!appended.empty()) {
    if (kept.empty()) kept.emplace_back(kSessionHeading);
    for (std::string& line : appended) kept.push_back(std::move(line));
    finalNewline_ = true;
  }
  lines_ = std::move(kept);
}

}  // namespace tervik::debug
