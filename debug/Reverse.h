// The reverse debugging commands over the session's history: step back, step back over a CALL,
// step back out of a subroutine, run back to the previous breakpoint or watchpoint hit, run back
// to an address, go back to the last write of a word or register, and return to the present.
// Each ends with the reason it stopped, which Describe puts in the words of the forward
// commands. Plain C++.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "Session.h"

namespace tervik::debug {

enum class ReverseKind : uint8_t {
  StepBack,
  StepOverBack,
  StepOutBack,
  ContinueBack,
  RunBackTo,
  LastWrite,  // of a memory word or a register
  Present,
};

enum class ReverseWhy : uint8_t {
  Done,            // it reached what it was asked to reach
  Breakpoint,      // pc reached a breakpoint
  Watchpoint,      // an instruction loaded or stored a watched word
  StartOfHistory,  // nothing earlier is recorded
  NoHistory,       // history is off
  NotFound,        // last write: no write of it in the history; nothing moved
};

struct ReverseStop {
  ReverseKind kind = ReverseKind::StepBack;
  ReverseWhy why = ReverseWhy::Done;
  uint64_t from = 0;  // the instruction count where it started
  uint64_t to = 0;    // and where it stopped
  uint32_t pc = 0;
  uint32_t sp = 0;
  size_t breakpoint = 0;  // for Breakpoint: its number
  size_t watchpoint = 0;  // for Watchpoint: its number
  // For Watchpoint and a memory word's LastWrite: the access.
  std::optional<Processor::WatchHit> access;
  std::string conditionError;
  // For a register's LastWrite: which, its value before and after, and the writing word's pc.
  std::optional<unsigned> reg;
  uint32_t before = 0;
  uint32_t after = 0;
  uint32_t writer = 0;
  uint32_t address = 0;  // for a memory word's LastWrite
};

// What an edit of a register or a word says while the views show the past.
inline constexpr const char* kPastEditRefused =
    "This is the past: it cannot be changed. Go to present (Debug menu, Ctrl+F9) first.";

class Reverse {
 public:
  explicit Reverse(Session& session) : session_(session) {}

  ReverseStop StepBack();
  // Back one instruction; when that was a RET, back to the CALL it returned from.
  ReverseStop StepOverBack();
  // Back to the CALL that entered the subroutine pc is in: the one whose return address is the
  // innermost of the stack words below sp (Session::kReturnDepth of them) that follow a CALL,
  // at its last run with the sp it had then.
  ReverseStop StepOutBack();
  // Back to the latest breakpoint or watchpoint hit, with conditions and hit counts as a
  // forward run has them: the hits count going backwards.
  ReverseStop ContinueBack();
  ReverseStop RunBackTo(uint32_t address);
  // Back to right after the latest instruction that stored into `address` (the current
  // position counts: the last instruction may be it).
  ReverseStop LastWrite(uint32_t address);
  // Back to right after the latest instruction that changed register r`n`.
  ReverseStop LastRegisterWrite(unsigned n);
  ReverseStop Present();

  // One console line about the stop, or empty for a plain step back.
  std::string Describe(const ReverseStop& stop);

 private:
  // A point of the history a search stopped at: after a cycle that reached one of its
  // addresses or made a watched access, with the breakpoints' and watchpoints' verdicts there.
  struct Check {
    bool watch;
    size_t number;
    bool held;  // its condition held (or it has none)
    std::string error;
  };
  struct Event {
    uint64_t count;
    uint32_t pc;
    uint32_t sp;
    std::optional<Processor::WatchHit> hit;
    std::vector<Check> checks;
  };
  using Decide = std::function<std::optional<ReverseStop>(const Event&)>;

  // Searches the history from `hi` back to `lo` (neither included; `hi` too with
  // `includeHi`), stretch by stretch, for the latest event `decide` stops at.
  std::optional<ReverseStop> Backwards(uint64_t lo, uint64_t hi, bool includeHi,
                                       std::span<const uint32_t> stops,
                                       std::span<const Processor::Watch> watches, bool evaluate,
                                       const Decide& decide);
  // The events of the stretch from..to, in order.
  std::vector<Event> Collect(uint64_t from, uint64_t to, std::span<const uint32_t> stops,
                             std::span<const Processor::Watch> watches, bool evaluate);
  // The watched store the last cycle made, found by its markers, if any.
  std::optional<Processor::WatchHit> LastCycleStore(std::span<const Processor::Watch> watches);
  // The breakpoints' or watchpoints' verdict on an event, counting hits, or nothing.
  std::optional<ReverseStop> Verdict(const Event& e, const ReverseStop& base);
  // The enabled breakpoints and watchpoints for the processor.
  std::vector<uint32_t> Stops() const;
  std::vector<Processor::Watch> Watches() const;
  // Goes to `count` and fills where and why it stopped.
  ReverseStop Finish(ReverseStop stop, uint64_t count);
  ReverseStop Start(ReverseKind kind) const;
  bool WordIs(uint32_t address, Opcode op);

  Session& session_;
};

}  // namespace tervik::debug
