// The reverse debugging commands: searches of the history, stretch by stretch from the latest.
#include "Reverse.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "Recorder.h"

namespace tervik::debug {

namespace {

std::string Hex(uint32_t v) {
  char text[12];
  std::snprintf(text, sizeof text, "%08" PRIX32, v);
  return text;
}

std::string Back(uint64_t n) {
  return ", " + GroupThousands(n) + (n == 1 ? " instruction back" : " instructions back");
}

}  // namespace

ReverseStop Reverse::Start(ReverseKind kind) const {
  ReverseStop stop;
  stop.kind = kind;
  stop.from = stop.to = session_.History().Now();
  stop.pc = session_.Cpu().pc;
  stop.sp = session_.Cpu().sp;
  if (!session_.History().Enabled()) stop.why = ReverseWhy::NoHistory;
  return stop;
}

ReverseStop Reverse::Finish(ReverseStop stop, uint64_t count) {
  session_.History().Seek(count);
  stop.to = session_.History().Now();
  stop.pc = session_.Cpu().pc;
  stop.sp = session_.Cpu().sp;
  return stop;
}

bool Reverse::WordIs(uint32_t address, Opcode op) {
  const std::optional<uint32_t> word = session_.PeekWord(address);
  return word && Instruction{*word}.opcode() == op;
}

std::vector<uint32_t> Reverse::Stops() const {
  std::vector<uint32_t> stops;
  for (size_t i = 0; i < session_.Breakpoints().size(); ++i) {
    if (session_.Settings(i + 1).enabled) stops.push_back(session_.Breakpoints()[i]);
  }
  return stops;
}

std::vector<Processor::Watch> Reverse::Watches() const {
  std::vector<Processor::Watch> watches;
  for (const Watchpoint& w : session_.Watchpoints()) {
    if (w.settings.enabled) {
      watches.push_back(
          {w.first, w.last, w.access != WatchAccess::Write, w.access != WatchAccess::Read});
    }
  }
  return watches;
}

std::vector<Reverse::Event> Reverse::Collect(uint64_t from, uint64_t to,
                                             std::span<const uint32_t> stops,
                                             std::span<const Processor::Watch> watches,
                                             bool evaluate) {
  history::Recorder& history = session_.History();
  Processor& cpu = session_.Cpu();
  std::vector<uint32_t> sorted(stops.begin(), stops.end());
  std::sort(sorted.begin(), sorted.end());
  std::vector<Event> events;
  history.Seek(from);
  auto check = [&](const BreakpointSettings& settings, bool watch, size_t number) {
    if (!settings.enabled) return;
    Check c{watch, number, true, {}};
    if (evaluate && settings.condition) {
      ProcessorContext context(cpu, session_.Lookup());
      const Result<bool> holds = settings.condition->EvaluateCondition(context);
      if (!holds.ok()) {
        c.error = holds.error().Text();
      } else {
        c.held = holds.value();
      }
    }
    events.back().checks.push_back(std::move(c));
  };
  // A batch leaves the accesses of its last cycle unwatched, so a stretch before the present
  // is run one instruction past its end, whose events the next stretch has; a store in the
  // last cycle before the present is found by its markers.
  const uint64_t present = history.Present();
  while (history.Now() < to) {
    const uint64_t want = to - history.Now() + (to < present ? 1 : 0);
    if (cpu.RunBatch(want, sorted, Processor::OnStall::Continue, watches) == 0) break;
    if (history.Now() > to) break;
    std::optional<Processor::WatchHit> hit = cpu.LastWatchHit();
    if (!hit && cpu.memWritten) hit = LastCycleStore(watches);
    const bool atStop = std::binary_search(sorted.begin(), sorted.end(), cpu.pc);
    if (!hit && !atStop) continue;
    events.push_back({history.Now(), cpu.pc, cpu.sp, hit, {}});
    if (!evaluate) continue;
    if (hit) {
      const auto& list = session_.Watchpoints();
      for (size_t i = 0; i < list.size(); ++i) {
        const Watchpoint& w = list[i];
        const bool kind =
            hit->write ? w.access != WatchAccess::Read : w.access != WatchAccess::Write;
        if (kind && hit->address >= w.first && hit->address <= w.last)
          check(w.settings, true, i + 1);
      }
    }
    if (const size_t number = session_.BreakpointNumber(cpu.pc)) {
      check(session_.Settings(number), false, number);
    }
  }
  return events;
}

std::optional<Processor::WatchHit> Reverse::LastCycleStore(
    std::span<const Processor::Watch> watches) {
  Processor& cpu = session_.Cpu();
  const uint32_t a = cpu.lastWriteAddress;
  for (size_t i = 0; i < watches.size(); ++i) {
    const Processor::Watch& w = watches[i];
    if (!w.onWrite || a < std::min(w.first, w.last) || a > std::max(w.first, w.last)) continue;
    history::Recorder& history = session_.History();
    const uint64_t at = history.Now();
    history.Seek(at - 1);
    Processor::WatchHit hit{i, a, cpu.pc, true, session_.PeekWord(a), 0, false};
    history.Seek(at);
    hit.value = session_.PeekWord(a).value_or(0);
    return hit;
  }
  return std::nullopt;
}

std::optional<ReverseStop> Reverse::Backwards(uint64_t lo, uint64_t hi, bool includeHi,
                                              std::span<const uint32_t> stops,
                                              std::span<const Processor::Watch> watches,
                                              bool evaluate, const Decide& decide) {
  history::Recorder& history = session_.History();
  uint64_t end = hi;
  while (end > lo) {
    const uint64_t start = std::max(lo, history.StretchStart(end));
    const std::vector<Event> events = Collect(start, end, stops, watches, evaluate);
    for (auto it = events.rbegin(); it != events.rend(); ++it) {
      if (it->count <= lo || it->count > hi || (!includeHi && it->count == hi)) continue;
      if (std::optional<ReverseStop> stop = decide(*it)) return stop;
    }
    if (start >= end) break;
    end = start;
  }
  return std::nullopt;
}

std::optional<ReverseStop> Reverse::Verdict(const Event& e, const ReverseStop& base) {
  // Every watchpoint that saw the access counts it, then the breakpoint; the first that stops
  // is named, as forwards.
  std::optional<ReverseStop> stop;
  for (const Check& c : e.checks) {
    BreakpointSettings& settings =
        c.watch ? session_.WatchpointAt(c.number).settings : session_.Settings(c.number);
    bool stops = !c.error.empty();
    if (c.error.empty() && c.held) stops = ++settings.hits >= settings.stopAtHit;
    if (!stops || stop) continue;
    stop = base;
    stop->why = c.watch ? ReverseWhy::Watchpoint : ReverseWhy::Breakpoint;
    (c.watch ? stop->watchpoint : stop->breakpoint) = c.number;
    if (c.watch) stop->access = e.hit;
    stop->conditionError = c.error;
    stop->to = e.count;
  }
  return stop;
}

ReverseStop Reverse::StepBack() {
  ReverseStop stop = Start(ReverseKind::StepBack);
  if (stop.why == ReverseWhy::NoHistory) return stop;
  history::Recorder& history = session_.History();
  if (history.Now() <= history.First()) {
    stop.why = ReverseWhy::StartOfHistory;
    return Finish(stop, history.First());
  }
  return Finish(stop, history.Now() - 1);
}

ReverseStop Reverse::StepOverBack() {
  ReverseStop stop = Start(ReverseKind::StepOverBack);
  if (stop.why == ReverseWhy::NoHistory) return stop;
  history::Recorder& history = session_.History();
  const uint64_t now = history.Now();
  if (now <= history.First()) {
    stop.why = ReverseWhy::StartOfHistory;
    return Finish(stop, history.First());
  }
  const uint32_t pcNow = session_.Cpu().pc, spNow = session_.Cpu().sp;
  history.Seek(now - 1);
  // Back over anything but a RET is one instruction; back over a RET, to the CALL before the
  // address it returned to, where sp was as it is now.
  if (!WordIs(session_.Cpu().pc, Opcode::RET) || session_.Cpu().sp != spNow + 1) {
    return Finish(stop, now - 1);
  }
  const uint32_t call = pcNow - 1;
  std::vector<uint32_t> stops = Stops();
  stops.push_back(call);
  const std::vector<Processor::Watch> watches = Watches();
  std::optional<ReverseStop> found =
      Backwards(history.First(), now, false, stops, watches, true, [&](const Event& e) {
        std::optional<ReverseStop> s = Verdict(e, stop);
        if (!s && e.pc == call && e.sp == spNow && WordIs(call, Opcode::CALL)) {
          s = stop;
          s->to = e.count;
        }
        return s;
      });
  if (!found) {
    stop.why = ReverseWhy::StartOfHistory;
    return Finish(stop, history.First());
  }
  return Finish(*found, found->to);
}

ReverseStop Reverse::StepOutBack() {
  ReverseStop stop = Start(ReverseKind::StepOutBack);
  if (stop.why == ReverseWhy::NoHistory) return stop;
  history::Recorder& history = session_.History();
  Processor& cpu = session_.Cpu();
  const uint64_t now = history.Now();
  // The CALL that entered the subroutine left its return address in a stack word below sp,
  // where it still is while the subroutine runs: the innermost such word names the CALL (the
  // word before the address) and the sp it ran with. Its last run with that sp before now is the
  // one that has not returned.
  struct Call {
    uint32_t at;
    uint32_t sp;
  };
  std::vector<Call> calls;
  const uint32_t spNow = cpu.sp;
  for (uint32_t i = 1; i <= std::min(spNow, Session::kReturnDepth); ++i) {
    const std::optional<uint32_t> back = session_.PeekWord(spNow - i);
    if (back && WordIs(*back - 1, Opcode::CALL)) calls.push_back({*back - 1, spNow - i});
  }
  std::optional<uint64_t> target;
  for (const Call& call : calls) {
    const uint32_t stops[] = {call.at};
    const std::optional<ReverseStop> found =
        Backwards(history.First(), now, false, stops, {}, false,
                  [&](const Event& e) -> std::optional<ReverseStop> {
                    if (e.pc != call.at || e.sp != call.sp) return std::nullopt;
                    ReverseStop s = stop;
                    s.to = e.count;
                    return s;
                  });
    if (found) {
      target = found->to;
      break;
    }
  }
  // Breakpoints and watchpoints between stop it first, as they stop a step out.
  const uint64_t lo = target.value_or(history.First());
  const std::vector<uint32_t> stops = Stops();
  const std::vector<Processor::Watch> watches = Watches();
  if (std::optional<ReverseStop> hit = Backwards(
          lo, now, false, stops, watches, true, [&](const Event& e) { return Verdict(e, stop); })) {
    return Finish(*hit, hit->to);
  }
  if (!target) stop.why = ReverseWhy::StartOfHistory;
  return Finish(stop, lo);
}

ReverseStop Reverse::ContinueBack() {
  ReverseStop stop = Start(ReverseKind::ContinueBack);
  if (stop.why == ReverseWhy::NoHistory) return stop;
  history::Recorder& history = session_.History();
  const std::vector<uint32_t> stops = Stops();
  const std::vector<Processor::Watch> watches = Watches();
  if (std::optional<ReverseStop> hit =
          Backwards(history.First(), history.Now(), false, stops, watches, true,
                    [&](const Event& e) { return Verdict(e, stop); })) {
    return Finish(*hit, hit->to);
  }
  stop.why = ReverseWhy::StartOfHistory;
  return Finish(stop, history.First());
}

ReverseStop Reverse::RunBackTo(uint32_t address) {
  ReverseStop stop = Start(ReverseKind::RunBackTo);
  if (stop.why == ReverseWhy::NoHistory) return stop;
  history::Recorder& history = session_.History();
  std::vector<uint32_t> stops = Stops();
  stops.push_back(address);
  const std::vector<Processor::Watch> watches = Watches();
  if (std::optional<ReverseStop> hit = Backwards(history.First(), history.Now(), false, stops,
                                                 watches, true, [&](const Event& e) {
                                                   std::optional<ReverseStop> s = Verdict(e, stop);
                                                   if (!s && e.pc == address) {
                                                     s = stop;
                                                     s->to = e.count;
                                                   }
                                                   return s;
                                                 })) {
    return Finish(*hit, hit->to);
  }
  stop.why = ReverseWhy::StartOfHistory;
  return Finish(stop, history.First());
}

ReverseStop Reverse::LastWrite(uint32_t address) {
  ReverseStop stop = Start(ReverseKind::LastWrite);
  stop.address = address;
  if (stop.why == ReverseWhy::NoHistory) return stop;
  history::Recorder& history = session_.History();
  const uint64_t now = history.Now();
  const Processor::Watch watch{address, address, false, true};
  std::optional<ReverseStop> found =
      Backwards(history.First(), now, true, {}, std::span(&watch, 1), false, [&](const Event& e) {
        std::optional<ReverseStop> s;
        if (e.hit && e.hit->write && !e.hit->dropped) {
          s = stop;
          s->to = e.count;
          s->access = e.hit;
        }
        return s;
      });
  if (!found) {
    stop.why = ReverseWhy::NotFound;
    return Finish(stop, now);
  }
  return Finish(*found, found->to);
}

ReverseStop Reverse::LastRegisterWrite(unsigned n) {
  ReverseStop stop = Start(ReverseKind::LastWrite);
  stop.reg = n % 32;
  if (stop.why == ReverseWhy::NoHistory) return stop;
  history::Recorder& history = session_.History();
  Processor& cpu = session_.Cpu();
  const uint64_t now = history.Now();
  std::optional<uint64_t> found;
  uint64_t end = now;
  while (end > history.First() && !found) {
    const uint64_t start = history.StretchStart(end);
    history.Seek(start);
    while (history.Now() < end) {
      const uint32_t pc = cpu.pc, before = cpu.r[*stop.reg];
      cpu.Step();
      if (cpu.regChanged[*stop.reg]) {
        found = history.Now();
        stop.writer = pc;
        stop.before = before;
        stop.after = cpu.r[*stop.reg];
      }
    }
    end = start;
  }
  if (!found) {
    stop.why = ReverseWhy::NotFound;
    return Finish(stop, now);
  }
  return Finish(stop, *found);
}

ReverseStop Reverse::Present() {
  ReverseStop stop = Start(ReverseKind::Present);
  if (stop.why == ReverseWhy::NoHistory) return stop;
  return Finish(stop, session_.History().Present());
}

std::string Reverse::Describe(const ReverseStop& stop) {
  const std::string at = Hex(stop.pc);
  const uint64_t back = stop.from >= stop.to ? stop.from - stop.to : 0;
  switch (stop.why) {
    case ReverseWhy::NoHistory: return "History is off (Debug menu, Record history)";
    case ReverseWhy::StartOfHistory:
      return "Start of history at " + at + " (instruction " + GroupThousands(stop.to) + ")" +
             Back(back);
    case ReverseWhy::NotFound:
      if (stop.reg) {
        return "No change of R" + std::to_string(*stop.reg) + " since the start of history";
      }
      return "No write of M[" + Hex(stop.address) + "] since the start of history";
    case ReverseWhy::Breakpoint:
      if (!stop.conditionError.empty()) {
        return "Breakpoint " + std::to_string(stop.breakpoint) + " at " + at +
               ": its condition failed: " + stop.conditionError;
      }
      return "Breakpoint " + std::to_string(stop.breakpoint) + " at " + at + Back(back);
    case ReverseWhy::Watchpoint: {
      StopReason reason;
      reason.kind = StopKind::Watchpoint;
      reason.pc = stop.pc;
      reason.watchpoint = stop.watchpoint;
      reason.access = stop.access;
      reason.conditionError = stop.conditionError;
      return session_.Describe(reason) + (stop.conditionError.empty() ? Back(back) : "");
    }
    case ReverseWhy::Done: break;
  }
  switch (stop.kind) {
    case ReverseKind::StepBack: return {};
    case ReverseKind::StepOverBack: return "Stepped back over to " + at + Back(back);
    case ReverseKind::StepOutBack: return "Stepped back out to " + at + Back(back);
    case ReverseKind::ContinueBack:
    case ReverseKind::RunBackTo: return "Reached " + at + Back(back);
    case ReverseKind::Present:
      return "Present at " + at + " after " + GroupThousands(stop.to) + " instructions";
    case ReverseKind::LastWrite: {
      std::string word;
      uint32_t writer = stop.writer;
      std::string change;
      if (stop.reg) {
        change =
            "R" + std::to_string(*stop.reg) + " " + Hex(stop.before) + " -> " + Hex(stop.after);
      } else if (stop.access) {
        writer = stop.access->pc;
        change = "M[" + Hex(stop.address) + "] " +
                 (stop.access->before ? Hex(*stop.access->before) + " -> " : "<- ") +
                 Hex(stop.access->value);
      }
      if (const std::optional<uint32_t> w = session_.PeekWord(writer)) {
        word = Processor::Disassemble(*w);
        std::replace(word.begin(), word.end(), '\t', ' ');
        while (!word.empty() && word.back() == ' ') word.pop_back();
        word = " (" + word + ")";
      }
      return "Last write: " + change + " by the word at " + Hex(writer) + word + Back(back);
    }
  }
  return {};
}

}  // namespace tervik::debug
