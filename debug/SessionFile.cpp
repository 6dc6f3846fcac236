#include "SessionFile.h"

#include <charconv>
#include <cstdio>
#include <filesystem>

namespace tervik::debug {

namespace {

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// The next blank-separated word of `rest`, taken off it.
std::string_view NextWord(std::string_view& rest) {
  rest = Trimmed(rest);
  size_t end = 0;
  while (end < rest.size() && rest[end] != ' ' && rest[end] != '\t') ++end;
  const std::string_view word = rest.substr(0, end);
  rest.remove_prefix(end);
  return word;
}

// The options after an item's address: [off] [hit=N] [if CONDITION]. False on a word it does
// not know.
bool ReadOptions(std::string_view rest, bool& enabled, uint64_t& stopAtHit, std::string& condition,
                 std::string& problem) {
  for (;;) {
    rest = Trimmed(rest);
    if (rest.empty()) return true;
    std::string_view word = NextWord(rest);
    if (word == "off") {
      enabled = false;
    } else if (word.substr(0, 4) == "hit=") {
      const std::string_view digits = word.substr(4);
      uint64_t n = 0;
      const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
      if (ec != std::errc() || end != digits.data() + digits.size() || n == 0) {
        problem = "hit= needs a count from 1";
        return false;
      }
      stopAtHit = n;
    } else if (word == "if") {
      condition = std::string(Trimmed(rest));
      if (condition.empty()) {
        problem = "if needs a condition";
        return false;
      }
      return true;
    } else {
      problem = "unknown word '" + std::string(word) + "'";
      return false;
    }
  }
}

std::string AccessText(WatchAccess access) {
  switch (access) {
    case WatchAccess::Write: return "w";
    case WatchAccess::Read: return "r";
    case WatchAccess::ReadWrite: return "rw";
  }
  return "w";
}

// An address is saved by label when one lies at most this many words below it: near enough to
// belong to that label's code or data, so that it moves with the label when the program changes.
constexpr uint32_t kLabelReach = 256;

void AppendOptions(std::string& line, bool enabled, uint64_t stopAtHit,
                   const std::string& condition) {
  if (!enabled) line += " off";
  if (stopAtHit != 1) line += " hit=" + std::to_string(stopAtHit);
  if (!condition.empty()) line += " if " + condition;
}

// An address saved as text, evaluated with the session's symbols.
Result<uint32_t> Resolve(const std::string& text, const Session& session) {
  SymbolContext context(session.Lookup());
  return EvaluateWord(text, context);
}

}  // namespace

std::optional<uint32_t> ResolveAddress(const std::string& text, const Session& session) {
  const Result<uint32_t> address = Resolve(text, session);
  if (!address.ok()) return std::nullopt;
  return address.value();
}

std::string AddressText(uint32_t address, const SymbolTable& symbols) {
  const std::string name = symbols.Locate(address, kLabelReach);
  if (!name.empty()) return name;
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08X", address);
  return hex;
}

std::string SessionPathFor(const std::string& programPath) {
  return std::filesystem::path(programPath).replace_extension(".session").string();
}

std::string BreakpointLine(const SavedBreakpoint& b) {
  std::string line = "break ";
  line += b.address;
  AppendOptions(line, b.enabled, b.stopAtHit, b.condition);
  return line;
}

std::string WatchpointLine(const SavedWatchpoint& w) {
  std::string line = "watch ";
  line += w.first;
  line += "..";
  line += w.last;
  line += " ";
  line += AccessText(w.access);
  AppendOptions(line, w.enabled, w.stopAtHit, w.condition);
  return line;
}

std::string ExpressionLine(std::string_view expression) {
  std::string line = "expr ";
  line += expression;
  return line;
}

std::string SessionText(const SavedSession& session) {
  std::string text(kSessionHeading);
  text += "\n";
  for (const SavedBreakpoint& b : session.breakpoints) text += BreakpointLine(b) + "\n";
  for (const SavedWatchpoint& w : session.watchpoints) text += WatchpointLine(w) + "\n";
  for (const std::string& e : session.expressions) text += ExpressionLine(e) + "\n";
  return text;
}

SessionLine ReadSessionLine(std::string_view text) {
  SessionLine read;
  std::string_view line = Trimmed(text);
  if (line.empty() || line.front() == ';') return read;
  read.kind = SessionLine::Kind::Unknown;
  std::string& problem = read.problem;
  const std::string_view kind = NextWord(line);
  if (kind == "break") {
    SavedBreakpoint& b = read.breakpoint;
    b.address = std::string(NextWord(line));
    if (b.address.empty()) {
      problem = "break needs an address";
    } else if (ReadOptions(line, b.enabled, b.stopAtHit, b.condition, problem)) {
      read.kind = SessionLine::Kind::Breakpoint;
    }
  } else if (kind == "watch") {
    SavedWatchpoint& w = read.watchpoint;
    const std::string_view range = NextWord(line);
    const size_t dots = range.find("..");
    const std::string_view access = NextWord(line);
    if (dots == std::string_view::npos || dots == 0 || dots + 2 >= range.size()) {
      problem = "watch needs FIRST..LAST";
    } else if (access != "r" && access != "w" && access != "rw") {
      problem = "watch needs r, w or rw after its range";
    } else {
      w.first = std::string(range.substr(0, dots));
      w.last = std::string(range.substr(dots + 2));
      w.access = access == "r"   ? WatchAccess::Read
                 : access == "w" ? WatchAccess::Write
                                 : WatchAccess::ReadWrite;
      if (ReadOptions(line, w.enabled, w.stopAtHit, w.condition, problem)) {
        read.kind = SessionLine::Kind::Watchpoint;
      }
    }
  } else if (kind == "expr") {
    const std::string_view expression = Trimmed(line);
    if (expression.empty()) {
      problem = "expr needs an expression";
    } else {
      read.expression = std::string(expression);
      read.kind = SessionLine::Kind::Expression;
    }
  } else {
    problem = "not a session line";
  }
  return read;
}

SessionRead ReadSessionText(std::string_view text) {
  SessionRead read;
  size_t number = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    SessionLine line = ReadSessionLine(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++number;
    switch (line.kind) {
      case SessionLine::Kind::Comment: break;
      case SessionLine::Kind::Breakpoint:
        read.session.breakpoints.push_back(std::move(line.breakpoint));
        break;
      case SessionLine::Kind::Watchpoint:
        read.session.watchpoints.push_back(std::move(line.watchpoint));
        break;
      case SessionLine::Kind::Expression:
        read.session.expressions.push_back(std::move(line.expression));
        break;
      case SessionLine::Kind::Unknown:
        read.problems.push_back("line " + std::to_string(number) + ": " + line.problem);
        break;
    }
  }
  return read;
}

SavedSession Capture(const Session& session, const WatchList& watches) {
  SavedSession saved;
  const SymbolTable& symbols = session.Symbols();
  for (size_t i = 0; i < session.Breakpoints().size(); ++i) {
    const BreakpointSettings& settings = session.Settings(i + 1);
    saved.breakpoints.push_back(SavedBreakpoint{
        AddressText(session.Breakpoints()[i], symbols), settings.enabled, settings.stopAtHit,
        settings.condition ? settings.condition->Text() : std::string()});
  }
  for (const Watchpoint& w : session.Watchpoints()) {
    saved.watchpoints.push_back(SavedWatchpoint{
        AddressText(w.first, symbols), AddressText(w.last, symbols), w.access, w.settings.enabled,
        w.settings.stopAtHit, w.settings.condition ? w.settings.condition->Text() : std::string()});
  }
  for (const WatchItem& item : watches.Items()) saved.expressions.push_back(item.text);
  return saved;
}

std::vector<std::string> Apply(const SavedSession& saved, Session& session, WatchList& watches) {
  std::vector<std::string> problems;
  session.ClearBreakpoints();
  session.ClearWatchpoints();
  watches.Clear();
  for (const SavedBreakpoint& b : saved.breakpoints) {
    const Result<uint32_t> address = Resolve(b.address, session);
    if (!address.ok()) {
      problems.push_back(b.address + ": " + address.error().message);
      continue;
    }
    if (session.IsBreakpoint(address.value())) continue;
    session.ToggleBreakpoint(address.value());
    const size_t number = session.BreakpointNumber(address.value());
    if (!b.condition.empty()) {
      const Result<bool> set = session.SetCondition(number, b.condition);
      if (!set.ok()) {
        problems.push_back(b.address + ": " + b.condition + ": " + set.error().Text());
        session.ToggleBreakpoint(address.value());
        continue;
      }
    }
    session.SetEnabled(number, b.enabled);
    session.SetStopAtHit(number, b.stopAtHit);
  }
  for (const SavedWatchpoint& w : saved.watchpoints) {
    const Result<uint32_t> first = Resolve(w.first, session);
    const Result<uint32_t> last = Resolve(w.last, session);
    if (!first.ok() || !last.ok()) {
      const Error& error = !first.ok() ? first.error() : last.error();
      problems.push_back(w.first + ".." + w.last + ": " + error.message);
      continue;
    }
    if (first.value() > last.value()) {
      problems.push_back(w.first + ".." + w.last + ": the first address lies above the last");
      continue;
    }
    // A second line for the same words and access would otherwise take over the first one's
    // settings, or remove it when its own condition is bad: the first line is kept whole.
    const size_t count = session.Watchpoints().size();
    const size_t number = session.AddWatchpoint(first.value(), last.value(), w.access);
    if (session.Watchpoints().size() == count) {
      problems.push_back(w.first + ".." + w.last + ": the same watch again; the first one is kept");
      continue;
    }
    BreakpointSettings& settings = session.WatchpointAt(number).settings;
    if (!w.condition.empty()) {
      const Result<bool> set = debug::SetCondition(settings, w.condition);
      if (!set.ok()) {
        problems.push_back(w.first + ".." + w.last + ": " + w.condition + ": " +
                           set.error().Text());
        session.RemoveWatchpoint(number);
        continue;
      }
    }
    settings.enabled = w.enabled;
    debug::SetStopAtHit(settings, w.stopAtHit);
  }
  for (const std::string& e : saved.expressions) watches.Add(e);
  return problems;
}

}  // namespace tervik::debug
