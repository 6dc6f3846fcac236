// The session's run operations in source lines: Step line, and Step over and Step out in line
// terms, by the loaded program's line table.
#include <algorithm>

#include "Session.h"

namespace tervik::debug {

RunOperation Session::StartStepLine(bool over, bool stopWhenHalted, uint64_t limit) {
  RunOperation op = StartRun(stopWhenHalted, limit);
  op.kind = over ? RunKind::StepLineOver : RunKind::StepLine;
  // A word no line placed counts as a line of its own, so without a line table these are a
  // single step and a step over.
  op.lineFirst = cpu_.pc;
  op.lineCount = 1;
  if (const LineRange* r = lines_.At(cpu_.pc)) {
    op.lineFirst = r->first;
    op.lineCount = r->count;
  }
  return op;
}

RunOperation Session::StartStepLineOut(bool stopWhenHalted, uint64_t limit) {
  RunOperation op = StartStepOut(stopWhenHalted, limit);
  op.kind = RunKind::StepLineOut;
  op.returning = true;
  op.returnSp = cpu_.sp;
  return op;
}

bool Session::LineDone(const RunOperation& op) const {
  const uint32_t pc = cpu_.pc;
  if (pc - op.lineFirst < op.lineCount) return false;
  const LineRange* r = lines_.At(pc);
  return r == nullptr || r->first == pc;
}

std::optional<StopReason> Session::ContinueLine(RunOperation& op, uint64_t maxSteps,
                                                Processor::OnStall onStall) {
  while (maxSteps > 0) {
    if (op.done >= op.limit) {
      op.end = MakeReason(op, StopKind::StepLimit);
      return op.end;
    }
    const uint32_t pc = cpu_.pc;
    if (!op.returning && op.kind != RunKind::StepLine && pc - op.lineFirst < op.lineCount &&
        IsCallAt(pc)) {
      // The line calls a subroutine: run it until it returns to the word after the CALL with sp
      // where it was, so that a recursive call of the same subroutine does not end it early.
      op.returning = true;
      op.returnSp = cpu_.sp;
      op.goals.assign(1, pc + 1);
      MakeStops(op);
    }
    // Within the line, one word at a time: any word may leave it.
    const uint64_t slice = op.returning ? std::min(maxSteps, op.limit - op.done) : 1;
    const uint64_t ran = cpu_.RunBatch(slice, stops_, onStall, watches_);
    op.done += ran;
    maxSteps -= ran;
    if (ran == 0) break;
    if (const std::optional<Processor::WatchHit>& hit = cpu_.LastWatchHit()) {
      if (std::optional<StopReason> reason = WatchStops(op, *hit)) {
        op.end = reason;
        return op.end;
      }
    }
    if (op.returning) {
      const bool atGoal = std::binary_search(op.goals.begin(), op.goals.end(), cpu_.pc);
      const bool back = atGoal && (op.kind == RunKind::StepLineOut ? cpu_.sp < op.returnSp
                                                                   : cpu_.sp == op.returnSp);
      if (back) {
        op.returning = false;
        op.goals.clear();
        MakeStops(op);
        if (op.kind == RunKind::StepLineOut) {
          // Back in the caller: done at the start of a line, else on to the next line's start.
          op.lineFirst = cpu_.pc;
          op.lineCount = 0;
          if (const LineRange* r = lines_.At(cpu_.pc); r != nullptr && r->first != cpu_.pc) {
            op.lineFirst = r->first;
            op.lineCount = r->count;
          }
        }
      }
    }
    if (!op.returning && LineDone(op)) {
      op.end = MakeReason(op, StopKind::Done);
      return op.end;
    }
    if (std::optional<StopReason> reason = EndedOtherwise(op)) {
      op.end = reason;
      return op.end;
    }
  }
  return std::nullopt;
}

}  // namespace tervik::debug
