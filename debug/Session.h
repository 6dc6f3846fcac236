// The debugging session: the processor with the loaded program's listing comments, the
// breakpoints and the watchpoints, and a debugger's run operations (run, step over, step out, run
// to an address), each ending with the reason it stopped. Plain C++: windows and command-line tools
// drive it and show its results; it calls none of them.
//
// Threading: a session is used from one thread at a time, like its processor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "LineShifts.h"
#include "LineTable.h"
#include "ListingMap.h"
#include "Processor.h"
#include "ProcessorContext.h"
#include "Recorder.h"
#include "SymbolFile.h"
#include "Translator.h"

namespace tervik::debug {

// Why a run operation ended.
enum class StopKind : uint8_t {
  Done,        // it reached what it was asked to reach (step over, step out, run to)
  Breakpoint,  // pc reached a breakpoint
  Watchpoint,  // an instruction loaded or stored a watched word
  Halted,      // an instruction left pc where it was, and the operation stops on that
  StepLimit,   // the operation's instruction limit was reached
  Stopped,     // the user stopped it
};

// What a run operation goes on toward.
enum class RunKind : uint8_t {
  Run,       // until a breakpoint, a halt (when asked) or the limit
  StepOver,  // until the CALL at the start has returned
  StepOut,   // until a RET leaves the subroutine the run started in
  RunTo,     // until pc reaches an address
  // In source lines, by the line table; without one they work as Step, StepOver and StepOut.
  StepLine,      // until pc has left the words of its line and stands at the start of a line
  StepLineOver,  // StepLine, with each CALL the line makes run until it has returned
  StepLineOut,   // StepOut, then StepLineOver when pc came back into the middle of a line
};

struct StopReason {
  StopKind kind = StopKind::Done;
  RunKind run = RunKind::Run;
  uint64_t instructions = 0;  // executed by the whole operation
  uint32_t pc = 0;            // where it ended
  size_t breakpoint = 0;      // for Breakpoint: its number, counting from 1 in the list's order
  size_t watchpoint = 0;      // for Watchpoint: its number, counting from 1 in its list's order
  std::optional<Processor::WatchHit> access;  // for Watchpoint: the access it saw
  std::string conditionError;  // for either: why its condition could not be evaluated
};

// What a breakpoint asks for besides its address. A run stops at an enabled breakpoint when its
// condition holds (or it has none) and it has then been hit at least `stopAtHit` times.
struct BreakpointSettings {
  bool enabled = true;
  std::optional<Expression> condition;  // nothing: always
  uint64_t stopAtHit = 1;               // stop on this hit and every later one
  uint64_t hits = 0;                    // times it was reached with its condition holding
};
// Parses and sets a condition; an empty text removes it. On an error nothing changes.
Result<bool> SetCondition(BreakpointSettings& settings, std::string_view text);
// Stop on the nth hit (at least 1); the count starts again from 0.
void SetStopAtHit(BreakpointSettings& settings, uint64_t n);

// Which accesses a watchpoint stops on.
enum class WatchAccess : uint8_t { Write, Read, ReadWrite };

// A range of words whose loads or stores by instructions stop a run, after the instruction, when
// its settings say so (its condition is evaluated then).
struct Watchpoint {
  uint32_t first = 0;
  uint32_t last = 0;
  WatchAccess access = WatchAccess::Write;
  BreakpointSettings settings;
};

// A watchpoint as a user types it: "FIRST" or "FIRST..LAST", each an expression, then optionally
// ", w" (stores, the default), ", r" (loads) or ", rw" (both). FIRST may not lie above LAST: a
// range never wraps past FFFFFFFF. Errors give the column in the whole text.
struct WatchRequest {
  uint32_t first = 0;
  uint32_t last = 0;
  WatchAccess access = WatchAccess::Write;
};
Result<WatchRequest> ParseWatch(std::string_view text, EvalContext& context);
// The range and access as ParseWatch reads them, e.g. "00001000..0000100F, rw".
std::string WatchText(uint32_t first, uint32_t last, WatchAccess access);

// A run operation in progress. Made by one of the session's Start functions and carried on by
// Continue, in as many slices as the caller likes (the window handles its events in between).
struct RunOperation {
  RunKind kind = RunKind::Run;
  bool stopWhenHalted = true;
  uint64_t limit = 0;           // instructions at most
  uint64_t done = 0;            // instructions so far
  uint32_t spAtStart = 0;       // sp when it started
  std::vector<uint32_t> goals;  // addresses where it checks whether it is done
  // For the line kinds: the words of the line pc started in (count 0: no line), and, while a
  // CALL made by that line runs (or StepLineOut's subroutine has not returned yet), the sp the
  // return must bring back.
  uint32_t lineFirst = 0;
  uint32_t lineCount = 0;
  bool returning = false;
  uint32_t returnSp = 0;
  std::optional<StopReason> end;  // set once it has ended
};

class Session {
 public:
  // A free run ends after this many instructions at the most (0xF0000000 + 1).
  static constexpr uint64_t kRunLimit = 0xF0000001u;
  // Step out looks this many stack words below sp for the addresses a RET may return to.
  static constexpr uint32_t kReturnDepth = 64;

  // The processor's batches run on the default engine (jit::DefaultEngine).
  Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  Processor& Cpu() { return cpu_; }
  const Processor& Cpu() const { return cpu_; }
  // The engine the processor's batches (runs, step over and out, run to) run on; single steps
  // are always interpreted. SetEngine returns the engine installed: the interpreter where the
  // translator is not available.
  jit::EngineKind Engine() const { return engine_; }
  jit::EngineKind SetEngine(jit::EngineKind kind);
  ListingMap& Listing() { return listing_; }
  // The history of the processor's run, for the reverse commands (see Reverse.h); off unless
  // enabled.
  history::Recorder& History() { return history_; }
  const history::Recorder& History() const { return history_; }
  const ListingMap& Listing() const { return listing_; }
  // The ListingFingerprint of the listing loaded last (nullopt: none), which symbol files are
  // checked against.
  std::optional<uint64_t> ListingFingerprint() const { return listingFingerprint_; }
  void SetListingFingerprint(std::optional<uint64_t> fingerprint) {
    listingFingerprint_ = fingerprint;
  }

  // ---- Symbols of the loaded program ----
  const SymbolTable& Symbols() const { return symbols_; }
  // Takes the symbols of a newly loaded program. With `moveBreakpoints`, every breakpoint and
  // watchpoint whose address the old symbols name as a label (or "label+n", within
  // kFollowDistance words) moves to where the new symbols put that label, so a reassembled
  // program keeps its breakpoints where the source has them.
  void SetSymbols(SymbolTable symbols, bool moveBreakpoints = false);
  static constexpr uint32_t kFollowDistance = 0x1000;
  // The symbols as an expression's context looks them up.
  SymbolLookup Lookup() const;

  // ---- Source lines of the loaded program (empty without a line table) ----
  const LineTable& Lines() const { return lines_; }
  // Takes the line table of a newly loaded program. With `moveBreakpoints`, the SetSymbols that
  // follows moves every breakpoint and watchpoint on a word the old table places to the same
  // word of the same source line in the new one, before it tries the labels' addresses: the
  // line is the one as many lines below the same label (a line inserted above the label moves
  // it; one inserted between the label and it does not), so a pseudo-instruction above it that
  // grows or shrinks does not move it off its line. For a file whose edits since the old table
  // are known (SetLineMoves), the line is where those edits put it instead.
  void SetLines(LineTable lines, bool moveBreakpoints = false);
  // The lines added and removed in source files (by path) since the line table was made, as an
  // editor saw them; the next SetLines that moves breakpoints follows them, and drops them.
  using LineMoves = std::map<std::string, assembler::LineShifts, std::less<>>;
  void SetLineMoves(LineMoves moves) { pendingMoves_ = std::move(moves); }

  // ---- Breakpoints, in the order they were set ----
  // An index by address beside the ordered list makes finding one constant time, so a session
  // of 10^5 breakpoints loads in linear time; removing one renumbers those after it.
  const std::vector<uint32_t>& Breakpoints() const { return breakpoints_; }
  // Sets a breakpoint at `address`, or removes it (the others keep their order).
  void ToggleBreakpoint(uint32_t address);
  bool IsBreakpoint(uint32_t address) const;
  // The number a user knows the breakpoint at `address` by (its place in the list from 1), or 0.
  size_t BreakpointNumber(uint32_t address) const;
  // The settings of breakpoint number `number` (from 1), which must exist.
  const BreakpointSettings& Settings(size_t number) const { return settings_.at(number - 1); }
  BreakpointSettings& Settings(size_t number) { return settings_.at(number - 1); }
  void SetEnabled(size_t number, bool enabled) { settings_.at(number - 1).enabled = enabled; }
  // Parses and sets a condition; an empty text removes it. On an error nothing changes.
  Result<bool> SetCondition(size_t number, std::string_view text);
  // Stop on the nth hit (at least 1); the count starts again from 0.
  void SetStopAtHit(size_t number, uint64_t n);
  // Sets every breakpoint's and watchpoint's hit count to 0.
  void ResetHits();
  void ClearBreakpoints();

  // ---- Watchpoints, in the order they were set ----
  const std::vector<Watchpoint>& Watchpoints() const { return watchpoints_; }
  // Adds a watchpoint and returns its number (from 1); the same range and access again gives
  // the number of the one already there (found by an index, in logarithmic time).
  size_t AddWatchpoint(uint32_t first, uint32_t last, WatchAccess access = WatchAccess::Write);
  // Watchpoint number `number` (from 1), which must exist: its settings may be changed, not its
  // range or access.
  Watchpoint& WatchpointAt(size_t number) { return watchpoints_.at(number - 1); }
  void RemoveWatchpoint(size_t number);
  void ClearWatchpoints();

  // ---- Run operations ----
  // The word at `address` when a ROM or RAM region serves it; nothing for a module's word (its
  // ReadMem may act on the read) or an unmapped address. Reading it has no side effect.
  std::optional<uint32_t> PeekWord(uint32_t address);
  // Whether the word at `address` is a CALL, as PeekWord sees it.
  bool IsCallAt(uint32_t address);

  RunOperation StartRun(bool stopWhenHalted = true, uint64_t limit = kRunLimit) const;
  // Over a CALL at pc: until pc is the word after it with sp back where it was, so a recursive
  // call of the same subroutine does not end it. Over any other word: one instruction.
  RunOperation StartStepOver(bool stopWhenHalted = true, uint64_t limit = kRunLimit);
  // Until a RET leaves sp below its value now: the subroutine pc is in has returned. A RET is
  // recognised where it returns to, so the addresses it may return to are taken from the stack
  // words below sp (kReturnDepth of them); a subroutine that rewrites its return address runs on
  // until another stop. With an empty stack (sp 0) nothing can return: it runs like Run.
  RunOperation StartStepOut(bool stopWhenHalted = true, uint64_t limit = kRunLimit);
  RunOperation StartRunTo(uint32_t address, bool stopWhenHalted = true,
                          uint64_t limit = kRunLimit) const;
  // Step line (into calls) or, with `over`, over the calls the line makes. Without a line
  // table: StartStepOver with `over`, one instruction without.
  RunOperation StartStepLine(bool over, bool stopWhenHalted = true, uint64_t limit = kRunLimit);
  // StartStepOut, going on to the start of a line when the return lands inside one.
  RunOperation StartStepLineOut(bool stopWhenHalted = true, uint64_t limit = kRunLimit);

  // Runs `op` on for at most `maxSteps` instructions through the processor's batched run.
  // Returns the reason once it has ended (and keeps it in op.end), or nothing while it goes on.
  // The processor's state and change markers are exactly those of as many single steps.
  std::optional<StopReason> Continue(RunOperation& op, uint64_t maxSteps);
  // Ends `op` on the user's word.
  StopReason Stop(RunOperation& op) const;
  // Runs `op` to its end without a break (the command-line runner's way).
  StopReason Finish(RunOperation& op);

  // One line for the console about how `reason` came about, e.g.
  // "Breakpoint 2 at 00000012 after 1,204 instructions".
  std::string Describe(const StopReason& reason);
  // One line for the console about a run or step that a module's exception (saying `what`)
  // cut short, naming the module, its region, the entry point and the instruction, e.g.
  // "Module libuart.so (00009000..00009003) failed in ReadMem at 00001003: no data".
  std::string DescribeModuleFault(const std::string& what) const;

 private:
  // Whether the state after a slice of `op` ends it, and why. Counts a hit of a breakpoint.
  std::optional<StopReason> Ended(const RunOperation& op);
  // The part of Ended every kind shares after its own goal: a breakpoint, a halt, the limit.
  std::optional<StopReason> EndedOtherwise(const RunOperation& op);
  // Makes the list of addresses a batch stops at: enabled breakpoints and `op`'s goals.
  void MakeStops(const RunOperation& op);
  // Continue for the line kinds.
  std::optional<StopReason> ContinueLine(RunOperation& op, uint64_t maxSteps,
                                         Processor::OnStall onStall);
  // Whether a line step is done with pc where it is.
  bool LineDone(const RunOperation& op) const;
  // Where the word at `address` of the old line table's program is in the new one (whose
  // symbols are `symbols`): the same word of the same source line, or nothing.
  std::optional<uint32_t> FollowLine(uint32_t address, const SymbolTable& symbols) const;
  // Renumbers the indexes from list position `from` on, after a removal or a move.
  void IndexBreakpoints(size_t from);
  void IndexWatchpoints(size_t from);
  // Whether a breakpoint or watchpoint with `settings` stops the run now; counts the hit.
  bool SettingsStop(BreakpointSettings& settings, std::string& conditionError);
  // The reason a watched access ends the run with, if one of the watchpoints it matched stops.
  std::optional<StopReason> WatchStops(const RunOperation& op, const Processor::WatchHit& hit);
  StopReason MakeReason(const RunOperation& op, StopKind kind) const;

  Processor cpu_;
  jit::EngineKind engine_ = jit::EngineKind::Interpreter;
  ListingMap listing_;
  std::vector<uint32_t> breakpoints_;
  std::vector<BreakpointSettings> settings_;              // one per breakpoint, in the same order
  std::unordered_map<uint32_t, size_t> breakpointIndex_;  // address -> place in breakpoints_
  std::vector<uint32_t> stops_;  // breakpoints and the goals of the operation running
  std::vector<Watchpoint> watchpoints_;
  using WatchKey = std::tuple<uint32_t, uint32_t, WatchAccess>;
  std::map<WatchKey, size_t> watchpointIndex_;  // range and access -> place in watchpoints_
  std::vector<Processor::Watch> watches_;       // the enabled watchpoints, for the processor
  SymbolTable symbols_;
  std::optional<uint64_t> listingFingerprint_;
  history::Recorder history_{cpu_};  // after cpu_, which it watches
  LineTable lines_;
  LineTable linesBefore_;   // the table SetLines replaced, until SetSymbols has moved by it
  LineMoves pendingMoves_;  // for the next SetLines
  LineMoves movesBefore_;   // the edits since linesBefore_ was made, by file
};

// A count with thousands separators: 1204 -> "1,204".
std::string GroupThousands(uint64_t n);

}  // namespace tervik::debug
