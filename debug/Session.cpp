// The debugging session's breakpoints and run operations.
#include "Session.h"

#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <utility>

#include "DynamicLibrary.h"
#include "Inspection.h"
#include "Text.h"

namespace tervik::debug {

Session::Session() {
  engine_ = jit::InstallEngine(cpu_, jit::DefaultEngine());
}

jit::EngineKind Session::SetEngine(jit::EngineKind kind) {
  engine_ = jit::InstallEngine(cpu_, kind);
  return engine_;
}

// ---- Breakpoints ----

void Session::ToggleBreakpoint(uint32_t address) {
  const auto found = breakpointIndex_.find(address);
  if (found == breakpointIndex_.end()) {
    breakpointIndex_.emplace(address, breakpoints_.size());
    breakpoints_.push_back(address);
    settings_.emplace_back();
    return;
  }
  const size_t at = found->second;
  breakpointIndex_.erase(found);
  breakpoints_.erase(breakpoints_.begin() + static_cast<ptrdiff_t>(at));
  settings_.erase(settings_.begin() + static_cast<ptrdiff_t>(at));
  IndexBreakpoints(at);
}

void Session::IndexBreakpoints(size_t from) {
  for (size_t i = from; i < breakpoints_.size(); ++i) breakpointIndex_[breakpoints_[i]] = i;
}

Result<bool> SetCondition(BreakpointSettings& settings, std::string_view text) {
  if (text.find_first_not_of(" \t") == std::string_view::npos) {
    settings.condition.reset();
    return true;
  }
  Result<Expression> parsed = Expression::Parse(text);
  if (!parsed.ok()) return parsed.error();
  settings.condition = std::move(parsed).value();
  return true;
}

void SetStopAtHit(BreakpointSettings& settings, uint64_t n) {
  settings.stopAtHit = std::max<uint64_t>(n, 1);
  settings.hits = 0;
}

Result<bool> Session::SetCondition(size_t number, std::string_view text) {
  return debug::SetCondition(settings_.at(number - 1), text);
}

void Session::SetStopAtHit(size_t number, uint64_t n) {
  debug::SetStopAtHit(settings_.at(number - 1), n);
}

void Session::ResetHits() {
  for (BreakpointSettings& settings : settings_) settings.hits = 0;
  for (Watchpoint& w : watchpoints_) w.settings.hits = 0;
}

void Session::ClearBreakpoints() {
  breakpoints_.clear();
  settings_.clear();
  breakpointIndex_.clear();
}

bool Session::SettingsStop(BreakpointSettings& settings, std::string& conditionError) {
  if (!settings.enabled) return false;
  if (settings.condition) {
    ProcessorContext context(cpu_, Lookup());
    const Result<bool> holds = settings.condition->EvaluateCondition(context);
    if (!holds.ok()) {
      // A condition that cannot be evaluated stops the run, so the user sees why.
      conditionError = holds.error().Text();
      return true;
    }
    if (!holds.value()) return false;
  }
  ++settings.hits;
  return settings.hits >= settings.stopAtHit;
}

bool Session::IsBreakpoint(uint32_t address) const {
  return BreakpointNumber(address) != 0;
}

size_t Session::BreakpointNumber(uint32_t address) const {
  const auto found = breakpointIndex_.find(address);
  return found == breakpointIndex_.end() ? 0 : found->second + 1;
}

// ---- Symbols ----

SymbolLookup Session::Lookup() const {
  return [this](std::string_view name) -> std::optional<int64_t> {
    if (const std::optional<uint32_t> v = symbols_.Value(name)) return *v;
    return std::nullopt;
  };
}

void Session::SetLines(LineTable lines, bool moveBreakpoints) {
  linesBefore_ = moveBreakpoints ? std::move(lines_) : LineTable();
  movesBefore_ = moveBreakpoints ? std::move(pendingMoves_) : LineMoves();
  pendingMoves_.clear();
  lines_ = std::move(lines);
}

std::optional<uint32_t> Session::FollowLine(uint32_t address, const SymbolTable& symbols) const {
  const LineRange* before = linesBefore_.At(address);
  if (before == nullptr) return std::nullopt;
  const std::string& path = linesBefore_.Files()[before->file];
  const std::optional<uint32_t> file = lines_.FileIndex(path);
  if (!file) return std::nullopt;
  unsigned line = before->line;
  // An editor saw where the file's lines went.
  bool edited = false;
  for (const auto& [movedFile, shifts] : movesBefore_) {
    if (linesBefore_.FileIndex(movedFile) != before->file) continue;
    const std::optional<int> now = shifts.Now(static_cast<int>(before->line));
    if (!now) return std::nullopt;  // the line was removed: the labels decide
    line = static_cast<unsigned>(*now);
    edited = true;
    break;
  }
  // Otherwise the line is found again as so many lines below the nearest label above it (in the
  // same file), so that lines inserted above the label move it; without such a label, by its
  // number.
  const std::string place = edited ? std::string() : symbols_.Locate(address, kFollowDistance);
  const std::string label = place.substr(0, place.find('+'));
  const std::optional<uint32_t> labelBefore = symbols_.Value(label);
  const std::optional<uint32_t> labelNow = symbols.Value(label);
  if (!label.empty() && labelBefore && labelNow) {
    const LineRange* from = linesBefore_.At(*labelBefore);
    const LineRange* to = lines_.At(*labelNow);
    if (from != nullptr && to != nullptr && from->file == before->file && to->file == *file &&
        from->line <= before->line) {
      line = to->line + (before->line - from->line);
    }
  }
  const std::optional<uint32_t> first = lines_.FirstAddress(*file, line);
  if (!first) return std::nullopt;
  const LineRange* now = lines_.At(*first);
  const uint32_t offset = address - before->first;
  if (now == nullptr || offset >= now->count) return std::nullopt;
  return *first + offset;
}

void Session::SetSymbols(SymbolTable symbols, bool moveBreakpoints) {
  if (moveBreakpoints) {
    // Where `address` lies by the old source lines or else the old symbols, found again in the
    // new ones.
    auto follow = [&](uint32_t address) {
      if (const std::optional<uint32_t> moved = FollowLine(address, symbols)) return *moved;
      const std::string place = symbols_.Locate(address, kFollowDistance);
      if (place.empty()) return address;
      const size_t plus = place.find('+');
      const std::optional<uint32_t> at = symbols.Value(place.substr(0, plus));
      if (!at) return address;
      const uint32_t offset =
          plus == std::string::npos ? 0 : static_cast<uint32_t>(std::stoul(place.substr(plus + 1)));
      return *at + offset;
    };
    // Two breakpoints that land on one address become one; the first keeps its settings.
    breakpointIndex_.clear();
    size_t kept = 0;
    for (size_t i = 0; i < breakpoints_.size(); ++i) {
      const uint32_t to = follow(breakpoints_[i]);
      if (!breakpointIndex_.emplace(to, kept).second) continue;
      breakpoints_[kept] = to;
      if (kept != i) settings_[kept] = std::move(settings_[i]);
      ++kept;
    }
    breakpoints_.resize(kept);
    settings_.resize(kept);
    for (Watchpoint& w : watchpoints_) {
      const uint32_t first = follow(w.first);
      // A range that would run past FFFFFFFF where its label went stays where it was.
      if (first > UINT32_MAX - (w.last - w.first)) continue;
      w.last = first + (w.last - w.first);
      w.first = first;
    }
    // Two watchpoints that land on one range may both stay: the index names the first.
    watchpointIndex_.clear();
    for (size_t i = watchpoints_.size(); i-- > 0;) {
      const Watchpoint& w = watchpoints_[i];
      watchpointIndex_[{w.first, w.last, w.access}] = i;
    }
  }
  symbols_ = std::move(symbols);
  linesBefore_ = LineTable();
}

// ---- Watchpoints ----

size_t Session::AddWatchpoint(uint32_t first, uint32_t last, WatchAccess access) {
  if (first > last) std::swap(first, last);
  const auto [at, added] =
      watchpointIndex_.emplace(WatchKey{first, last, access}, watchpoints_.size());
  if (!added) return at->second + 1;
  watchpoints_.push_back({first, last, access, {}});
  return watchpoints_.size();
}

void Session::RemoveWatchpoint(size_t number) {
  const size_t at = number - 1;
  const Watchpoint& w = watchpoints_.at(at);
  const auto found = watchpointIndex_.find({w.first, w.last, w.access});
  if (found != watchpointIndex_.end() && found->second == at) watchpointIndex_.erase(found);
  watchpoints_.erase(watchpoints_.begin() + static_cast<ptrdiff_t>(at));
  IndexWatchpoints(at);
}

void Session::ClearWatchpoints() {
  watchpoints_.clear();
  watchpointIndex_.clear();
}

void Session::IndexWatchpoints(size_t from) {
  // Places after a removal move down by one; a range that two watchpoints share (after a
  // reload moved one onto the other) keeps naming the first.
  for (auto& [key, at] : watchpointIndex_) {
    if (at > from) --at;
  }
  for (size_t i = from; i < watchpoints_.size(); ++i) {
    const Watchpoint& w = watchpoints_[i];
    watchpointIndex_.emplace(WatchKey{w.first, w.last, w.access}, i);
  }
}

namespace {

using lang::Trim;

// The word `part` gives, which starts at byte `offset` of the whole text; errors point into the
// whole text.
Result<uint32_t> PartWord(std::string_view part, size_t offset, EvalContext& context) {
  Result<uint32_t> word = EvaluateWord(part, context);
  if (word.ok()) return word;
  Error error = word.error();
  error.column += offset;
  return error;
}

}  // namespace

Result<WatchRequest> ParseWatch(std::string_view text, EvalContext& context) {
  WatchRequest request;
  std::string_view range = text;
  if (const size_t comma = text.rfind(','); comma != std::string_view::npos) {
    range = text.substr(0, comma);
    std::string kind(Trim(text.substr(comma + 1)));
    std::transform(kind.begin(), kind.end(), kind.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (kind == "w") {
      request.access = WatchAccess::Write;
    } else if (kind == "r") {
      request.access = WatchAccess::Read;
    } else if (kind == "rw" || kind == "wr") {
      request.access = WatchAccess::ReadWrite;
    } else {
      const size_t at = text.find_first_not_of(" \t", comma + 1);
      return Error{(at == std::string_view::npos ? text.size() : at) + 1,
                   "expected w, r or rw after ','"};
    }
  }
  const size_t dots = range.find("..");
  Result<uint32_t> first = PartWord(range.substr(0, dots), 0, context);
  if (!first.ok()) return first.error();
  request.first = request.last = first.value();
  if (dots != std::string_view::npos) {
    Result<uint32_t> last = PartWord(range.substr(dots + 2), dots + 2, context);
    if (!last.ok()) return last.error();
    request.last = last.value();
  }
  // A range runs upwards and never wraps past FFFFFFFF: "SP-1..SP+1" with SP 0 would otherwise
  // cover every word but one.
  if (request.first > request.last) {
    char text[128];
    std::snprintf(text, sizeof text,
                  "the range's first address %08" PRIX32 " is above its last %08" PRIX32
                  " (a range does not wrap past FFFFFFFF)",
                  request.first, request.last);
    return Error{dots + 1, text};
  }
  return request;
}

std::string WatchText(uint32_t first, uint32_t last, WatchAccess access) {
  char text[40];
  static constexpr const char* kAccess[] = {"w", "r", "rw"};
  const char* kind = kAccess[static_cast<size_t>(access)];
  if (first == last) {
    std::snprintf(text, sizeof text, "%08" PRIX32 ", %s", first, kind);
  } else {
    std::snprintf(text, sizeof text, "%08" PRIX32 "..%08" PRIX32 ", %s", first, last, kind);
  }
  return text;
}

std::optional<StopReason> Session::WatchStops(const RunOperation& op,
                                              const Processor::WatchHit& hit) {
  // Every enabled watchpoint that covers the access counts it; the first that stops is named.
  std::optional<StopReason> reason;
  for (size_t i = 0; i < watchpoints_.size(); ++i) {
    Watchpoint& w = watchpoints_[i];
    const bool kind = hit.write ? w.access != WatchAccess::Read : w.access != WatchAccess::Write;
    if (!kind || hit.address < w.first || hit.address > w.last) continue;
    std::string conditionError;
    if (SettingsStop(w.settings, conditionError) && !reason) {
      reason = MakeReason(op, StopKind::Watchpoint);
      reason->watchpoint = i + 1;
      reason->access = hit;
      reason->conditionError = std::move(conditionError);
    }
  }
  return reason;
}

// ---- Run operations ----

std::optional<uint32_t> Session::PeekWord(uint32_t address) {
  return Peek(cpu_, address);
}

bool Session::IsCallAt(uint32_t address) {
  const std::optional<uint32_t> word = PeekWord(address);
  return word && DescribeInstruction(Instruction{*word}).flow == Flow::Call;
}

RunOperation Session::StartRun(bool stopWhenHalted, uint64_t limit) const {
  RunOperation op;
  op.kind = RunKind::Run;
  op.stopWhenHalted = stopWhenHalted;
  op.limit = limit;
  op.spAtStart = cpu_.sp;
  return op;
}

RunOperation Session::StartStepOver(bool stopWhenHalted, uint64_t limit) {
  RunOperation op = StartRun(stopWhenHalted, limit);
  op.kind = RunKind::StepOver;
  if (IsCallAt(cpu_.pc)) {
    op.goals.push_back(cpu_.pc + 1);
  } else {
    op.limit = std::min<uint64_t>(limit, 1);  // any other word is one step
  }
  return op;
}

RunOperation Session::StartStepOut(bool stopWhenHalted, uint64_t limit) {
  RunOperation op = StartRun(stopWhenHalted, limit);
  op.kind = RunKind::StepOut;
  // The return addresses a RET that leaves the subroutine may pop lie below sp. Reading them
  // through a module would act on the module, so only ROM and RAM stack words are used.
  const uint32_t depth = std::min(cpu_.sp, kReturnDepth);
  for (uint32_t i = 1; i <= depth; ++i) {
    if (const std::optional<uint32_t> word = PeekWord(cpu_.sp - i)) op.goals.push_back(*word);
  }
  std::sort(op.goals.begin(), op.goals.end());
  op.goals.erase(std::unique(op.goals.begin(), op.goals.end()), op.goals.end());
  return op;
}

RunOperation Session::StartRunTo(uint32_t address, bool stopWhenHalted, uint64_t limit) const {
  RunOperation op = StartRun(stopWhenHalted, limit);
  op.kind = RunKind::RunTo;
  op.goals.push_back(address);
  return op;
}

StopReason Session::MakeReason(const RunOperation& op, StopKind kind) const {
  StopReason reason;
  reason.kind = kind;
  reason.run = op.kind;
  reason.instructions = op.done;
  reason.pc = cpu_.pc;
  if (kind == StopKind::Breakpoint) reason.breakpoint = BreakpointNumber(cpu_.pc);
  return reason;
}

// Called after a slice that ran at least one instruction: the last one decides.
std::optional<StopReason> Session::Ended(const RunOperation& op) {
  const uint32_t pc = cpu_.pc;
  if (const std::optional<Processor::WatchHit>& hit = cpu_.LastWatchHit()) {
    if (std::optional<StopReason> reason = WatchStops(op, *hit)) return reason;
  }
  // A step over a word that is not a CALL is one instruction, whatever it did.
  if (op.kind == RunKind::StepOver && op.goals.empty()) return MakeReason(op, StopKind::Done);
  if (std::binary_search(op.goals.begin(), op.goals.end(), pc)) {
    bool done = true;
    if (op.kind == RunKind::StepOver) done = cpu_.sp == op.spAtStart;
    if (op.kind == RunKind::StepOut) done = cpu_.sp < op.spAtStart;
    if (done) return MakeReason(op, StopKind::Done);
  }
  return EndedOtherwise(op);
}

std::optional<StopReason> Session::EndedOtherwise(const RunOperation& op) {
  const uint32_t pc = cpu_.pc;
  if (const size_t number = BreakpointNumber(pc)) {
    std::string conditionError;
    if (SettingsStop(settings_[number - 1], conditionError)) {
      StopReason reason = MakeReason(op, StopKind::Breakpoint);
      reason.conditionError = std::move(conditionError);
      return reason;
    }
  }
  if (op.stopWhenHalted && !cpu_.pcChanged) return MakeReason(op, StopKind::Halted);
  if (op.done >= op.limit) return MakeReason(op, StopKind::StepLimit);
  return std::nullopt;
}

std::optional<StopReason> Session::Continue(RunOperation& op, uint64_t maxSteps) {
  if (op.end) return op.end;
  if (op.done >= op.limit) {
    op.end = MakeReason(op, StopKind::StepLimit);
    return op.end;
  }
  // The breakpoints may have changed since the last slice (the window lets them be toggled
  // during a run), so the stop list is made anew each time; it is short.
  MakeStops(op);
  watches_.clear();
  for (const Watchpoint& w : watchpoints_) {
    if (w.settings.enabled) {
      watches_.push_back(
          {w.first, w.last, w.access != WatchAccess::Write, w.access != WatchAccess::Read});
    }
  }
  const Processor::OnStall onStall =
      op.stopWhenHalted ? Processor::OnStall::Stop : Processor::OnStall::Continue;
  if (op.kind == RunKind::StepLine || op.kind == RunKind::StepLineOver ||
      op.kind == RunKind::StepLineOut) {
    return ContinueLine(op, maxSteps, onStall);
  }
  while (maxSteps > 0) {
    const uint64_t slice = std::min(maxSteps, op.limit - op.done);
    const uint64_t ran = cpu_.RunBatch(slice, stops_, onStall, watches_);
    op.done += ran;
    maxSteps -= ran;
    if (ran == 0) break;
    // A batch also ends early at a goal whose check fails (a recursive call's return): then
    // the run goes on from there.
    if (std::optional<StopReason> reason = Ended(op)) {
      op.end = reason;
      return op.end;
    }
  }
  return std::nullopt;
}

void Session::MakeStops(const RunOperation& op) {
  stops_.clear();
  for (size_t i = 0; i < breakpoints_.size(); ++i) {
    if (settings_[i].enabled) stops_.push_back(breakpoints_[i]);
  }
  stops_.insert(stops_.end(), op.goals.begin(), op.goals.end());
}

StopReason Session::Stop(RunOperation& op) const {
  if (!op.end) op.end = MakeReason(op, StopKind::Stopped);
  return *op.end;
}

StopReason Session::Finish(RunOperation& op) {
  while (true) {
    if (std::optional<StopReason> reason = Continue(op, UINT64_MAX)) return *reason;
  }
}

std::string Session::DescribeModuleFault(const std::string& what) const {
  char text[96];
  const std::optional<Processor::ModuleFault>& fault = cpu_.LastModuleFault();
  if (!fault || fault->region >= cpu_.Regions().size()) {
    std::snprintf(text, sizeof text, "Run failed at %08" PRIX32 ": ", cpu_.pc);
    std::string line = text;
    line += what;
    return line;
  }
  const MemoryRegion& region = cpu_.Regions()[fault->region];
  const uint32_t last = region.size == 0 ? region.start
                        : region.start > UINT32_MAX - (region.size - 1)
                            ? UINT32_MAX
                            : region.start + (region.size - 1);
  std::string name =
      platform::LibraryFileOf(reinterpret_cast<platform::SymbolAddress>(region.entry.About))
          .filename()
          .string();
  if (name.empty()) name.push_back('?');  // not = "?": GCC 12 -Wrestrict misfires
  std::snprintf(text, sizeof text,
                " (%08" PRIX32 "..%08" PRIX32 ") failed in %s at %08" PRIX32 ": ", region.start,
                last, fault->entry, cpu_.pc);
  // Built in place: GCC 12 at -O2 misreads a literal plus a string as an overlapping copy
  // (-Wrestrict).
  std::string line = "Module ";
  line += name;
  line += text;
  line += what;
  return line;
}

std::string GroupThousands(uint64_t n) {
  std::string digits = std::to_string(n);
  for (size_t i = digits.size(); i > 3; i -= 3) digits.insert(i - 3, 1, ',');
  return digits;
}

std::string Session::Describe(const StopReason& reason) {
  char at[16];
  std::snprintf(at, sizeof at, "%08" PRIX32, reason.pc);
  const std::string after = " after " + GroupThousands(reason.instructions) +
                            (reason.instructions == 1 ? " instruction" : " instructions");
  switch (reason.kind) {
    case StopKind::Breakpoint:
      if (!reason.conditionError.empty()) {
        return "Breakpoint " + std::to_string(reason.breakpoint) + " at " + at +
               ": its condition failed: " + reason.conditionError;
      }
      return "Breakpoint " + std::to_string(reason.breakpoint) + " at " + at + after;
    case StopKind::Watchpoint: {
      std::string text = "Watchpoint " + std::to_string(reason.watchpoint);
      if (!reason.conditionError.empty()) {
        return text + " at " + at + ": its condition failed: " + reason.conditionError;
      }
      if (!reason.access) return text + " at " + at + after;
      const Processor::WatchHit& hit = *reason.access;
      char line[96];
      if (!hit.write) {
        std::snprintf(line, sizeof line, ": M[%08" PRIX32 "] read %08" PRIX32, hit.address,
                      hit.value);
      } else if (hit.dropped) {
        std::snprintf(line, sizeof line, ": M[%08" PRIX32 "] store of %08" PRIX32 " ignored",
                      hit.address, hit.value);
      } else if (hit.before) {
        std::snprintf(line, sizeof line, ": M[%08" PRIX32 "] %08" PRIX32 " -> %08" PRIX32,
                      hit.address, *hit.before, hit.value);
      } else {  // a module's word, which is not read
        std::snprintf(line, sizeof line, ": M[%08" PRIX32 "] <- %08" PRIX32, hit.address,
                      hit.value);
      }
      char by[40];
      std::snprintf(by, sizeof by, " by the word at %08" PRIX32, hit.pc);
      return text + line + by;
    }
    case StopKind::Halted: {
      std::string text = std::string("Halted at ") + at;
      // A fetch no region serves reads the unmapped word, which is undefined too: say which.
      if (!IsMapped(cpu_, reason.pc)) return text + ": no memory is mapped there";
      if (const std::optional<uint32_t> word = PeekWord(reason.pc)) {
        if (DescribeInstruction(Instruction{*word}).format == OperandFormat::Undefined) {
          char hex[9];
          std::snprintf(hex, sizeof hex, "%08" PRIX32, *word);
          return text + " on an undefined word (" + hex + ")";
        }
        std::string words = Processor::Disassemble(*word);
        std::replace(words.begin(), words.end(), '\t', ' ');
        while (!words.empty() && words.back() == ' ') words.pop_back();
        text += " (" + words + ")";
      }
      return text;
    }
    case StopKind::StepLimit: return "Instruction limit reached";
    case StopKind::Stopped: {
      // Where the user stopped it, by the symbols too: "Stopped at 0000000F (loop+2) after ...".
      std::string text = std::string("Stopped at ") + at;
      if (const std::string place = symbols_.Locate(reason.pc); !place.empty()) {
        text += " (" + place + ")";
      }
      return text + after;
    }
    case StopKind::Done:
      switch (reason.run) {
        case RunKind::StepOver: return std::string("Stepped over to ") + at + after;
        case RunKind::StepOut: return std::string("Stepped out to ") + at + after;
        case RunKind::RunTo: return std::string("Reached ") + at + after;
        case RunKind::StepLine:
        case RunKind::StepLineOver:
        case RunKind::StepLineOut: {
          std::string text = std::string("Stepped to ") + at;
          // The source line, by its file's name: "Stepped to 00000003 (main.asm:4) after ...".
          if (const LineRange* r = lines_.At(reason.pc)) {
            text += " (" + std::filesystem::path(lines_.Files()[r->file]).filename().string() +
                    ":" + std::to_string(r->line) + ")";
          }
          return text + after;
        }
        case RunKind::Run: return std::string("Ended at ") + at + after;
      }
  }
  return {};
}

}  // namespace tervik::debug
