// The debugging session's breakpoints and run operations.
#include "Session.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace tervik::debug {

// ---- Breakpoints ----

void Session::ToggleBreakpoint(uint32_t address) {
  const auto it = std::find(breakpoints_.begin(), breakpoints_.end(), address);
  if (it == breakpoints_.end()) {
    breakpoints_.push_back(address);
    settings_.emplace_back();
  } else {
    settings_.erase(settings_.begin() + (it - breakpoints_.begin()));
    breakpoints_.erase(it);
  }
}

Result<bool> Session::SetCondition(size_t number, std::string_view text) {
  BreakpointSettings& settings = settings_.at(number - 1);
  if (text.find_first_not_of(" \t") == std::string_view::npos) {
    settings.condition.reset();
    return true;
  }
  Result<Expression> parsed = Expression::Parse(text);
  if (!parsed.ok()) return parsed.error();
  settings.condition = std::move(parsed).value();
  return true;
}

void Session::SetStopAtHit(size_t number, uint64_t n) {
  BreakpointSettings& settings = settings_.at(number - 1);
  settings.stopAtHit = std::max<uint64_t>(n, 1);
  settings.hits = 0;
}

void Session::ResetHits() {
  for (BreakpointSettings& settings : settings_) settings.hits = 0;
}

void Session::ClearBreakpoints() {
  breakpoints_.clear();
  settings_.clear();
}

bool Session::BreakpointStops(size_t number, std::string& conditionError) {
  BreakpointSettings& settings = settings_[number - 1];
  if (!settings.enabled) return false;
  if (settings.condition) {
    ProcessorContext context(cpu_);
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
  const auto it = std::find(breakpoints_.begin(), breakpoints_.end(), address);
  return it == breakpoints_.end() ? 0 : static_cast<size_t>(it - breakpoints_.begin()) + 1;
}

// ---- Run operations ----

std::optional<uint32_t> Session::PeekWord(uint32_t address) {
  // The first region that covers an address serves it.
  for (const MemoryRegion& region : cpu_.Regions()) {
    if (!region.Contains(address)) continue;
    if (region.type == RegionType::DLL) return std::nullopt;
    return cpu_.ReadMem(address);
  }
  return std::nullopt;
}

bool Session::IsCallAt(uint32_t address) {
  const std::optional<uint32_t> word = PeekWord(address);
  return word && Instruction{*word}.opcode() == Opcode::CALL;
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
  // A step over a word that is not a CALL is one instruction, whatever it did.
  if (op.kind == RunKind::StepOver && op.goals.empty()) return MakeReason(op, StopKind::Done);
  if (std::binary_search(op.goals.begin(), op.goals.end(), pc)) {
    bool done = true;
    if (op.kind == RunKind::StepOver) done = cpu_.sp == op.spAtStart;
    if (op.kind == RunKind::StepOut) done = cpu_.sp < op.spAtStart;
    if (done) return MakeReason(op, StopKind::Done);
  }
  if (const size_t number = BreakpointNumber(pc)) {
    std::string conditionError;
    if (BreakpointStops(number, conditionError)) {
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
  stops_.clear();
  for (size_t i = 0; i < breakpoints_.size(); ++i) {
    if (settings_[i].enabled) stops_.push_back(breakpoints_[i]);
  }
  stops_.insert(stops_.end(), op.goals.begin(), op.goals.end());
  const Processor::OnStall onStall =
      op.stopWhenHalted ? Processor::OnStall::Stop : Processor::OnStall::Continue;
  while (maxSteps > 0) {
    const uint64_t slice = std::min(maxSteps, op.limit - op.done);
    const uint64_t ran = cpu_.RunBatch(slice, stops_, onStall);
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

StopReason Session::Stop(RunOperation& op) const {
  if (!op.end) op.end = MakeReason(op, StopKind::Stopped);
  return *op.end;
}

StopReason Session::Finish(RunOperation& op) {
  while (true) {
    if (std::optional<StopReason> reason = Continue(op, UINT64_MAX)) return *reason;
  }
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
    case StopKind::Halted: {
      std::string text = std::string("Halted at ") + at;
      if (const std::optional<uint32_t> word = PeekWord(reason.pc)) {
        std::string words = Processor::Disassemble(*word);
        std::replace(words.begin(), words.end(), '\t', ' ');
        while (!words.empty() && words.back() == ' ') words.pop_back();
        text += " (" + words + ")";
      }
      return text;
    }
    case StopKind::StepLimit: return "Instruction limit reached";
    case StopKind::Stopped: return "Stopped";
    case StopKind::Done:
      switch (reason.run) {
        case RunKind::StepOver: return std::string("Stepped over to ") + at + after;
        case RunKind::StepOut: return std::string("Stepped out to ") + at + after;
        case RunKind::RunTo: return std::string("Reached ") + at + after;
        case RunKind::Run: return std::string("Ended at ") + at + after;
      }
  }
  return {};
}

}  // namespace tervik::debug
