// The runner's trace: one line per step, formatted straight into a large buffer that goes out
// in large writes, so that a traced run keeps up with the processor (see Runner.h for the
// line's text, which this writes byte for byte). A run may trace only a stretch of its steps
// and run the rest at the speed of the untraced run.
#pragma once

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <optional>

#include "Processor.h"

namespace tervik::runner {

// The steps to trace, counted from 1 as the trace counts them, first to last inclusive.
struct TraceRange {
  uint64_t from = 1;
  uint64_t to = std::numeric_limits<uint64_t>::max();

  bool operator==(const TraceRange&) const = default;
};

enum class StopReason : uint8_t {
  Until,      // pc reached the --until address after a step
  Halted,     // a step left pc where it was: the processor would repeat it forever
  StepLimit,  // the step limit ran out
  // Checked between batches of steps (every few milliseconds), so the run ends soon after:
  TimedOut,      // the deadline passed
  Interrupted,   // the interrupt flag was set (by a signal handler)
  OutputFailed,  // a trace line could not be written
};

struct RunLimits {
  uint64_t maxSteps = std::numeric_limits<uint64_t>::max();
  std::optional<uint32_t> until;
};

// What may end a run from outside, looked at between batches of steps.
struct RunGuard {
  std::optional<std::chrono::steady_clock::time_point> deadline;
  // Not 0 once the run is to end; set from a signal handler, so only read, never cleared here.
  const volatile std::sig_atomic_t* interrupt = nullptr;
};

struct RunOutcome {
  StopReason reason = StopReason::StepLimit;
  uint64_t steps = 0;
  int error = 0;  // for OutputFailed: the errno of the write that failed

  bool operator==(const RunOutcome&) const = default;
};

// Paces a run's batches for the deadline and the interrupt: each batch takes about
// kBatchTarget, so the checks between them cost nothing measurable and come soon enough. Without
// a deadline or an interrupt flag a batch is unbounded and nothing is checked.
class BatchPacer {
 public:
  static constexpr std::chrono::milliseconds kBatchTarget{5};

  explicit BatchPacer(const RunGuard& guard);
  // How many steps the next batch may take.
  uint64_t Slice() const { return slice_; }
  // After a batch: TimedOut or Interrupted when the run must end now.
  std::optional<StopReason> Check();

 private:
  const RunGuard& guard_;
  uint64_t slice_;
  std::chrono::steady_clock::time_point last_;
};

// Collects trace lines and writes them to a stream in pieces of about a megabyte.
class TraceWriter {
 public:
  explicit TraceWriter(std::FILE* out);
  ~TraceWriter();  // writes what is left; a failure then goes unreported (call Flush first)
  TraceWriter(const TraceWriter&) = delete;
  TraceWriter& operator=(const TraceWriter&) = delete;

  // The line of the step that went from `before` to the state of `after`, executing `word`
  // fetched at before.pc (nullopt: fetched from a peripheral).
  void Line(uint64_t step, const CpuState& before, std::optional<uint32_t> word,
            const Processor& after);
  // Writes what has collected. False when a write failed, now or before.
  bool Flush();
  // Whether a write has failed, and its errno.
  bool Failed() const { return failed_; }
  int Error() const { return error_; }

 private:
  static constexpr size_t kCapacity = size_t{1} << 20;
  static constexpr size_t kLineMax = 512;  // far more than the longest line

  // The word's disassembly with the tab replaced, padded with blanks to 24 characters.
  const char* DisassemblyField(uint32_t word);

  std::FILE* out_;
  std::unique_ptr<char[]> buffer_;
  char* end_;  // where the next character goes
  bool failed_ = false;
  int error_ = 0;
  struct CachedText {
    uint32_t word;
    bool valid;
    char text[24];
  };
  std::unique_ptr<CachedText[]> cache_;  // direct-mapped by the word's hash
};

// Whether a word is served by a peripheral, without reading it, remembering the stretch of
// addresses where the answer stays the same (the regions do not change during a run).
class PeripheralLookup {
 public:
  explicit PeripheralLookup(const Processor& processor) : processor_(processor) {}
  bool IsPeripheral(uint32_t a) {
    if (a - lo_ > span_ || !known_) Locate(a);
    return peripheral_;
  }

 private:
  void Locate(uint32_t a);

  const Processor& processor_;
  bool known_ = false;
  uint32_t lo_ = 0;
  uint32_t span_ = 0;
  bool peripheral_ = false;
};

// Runs and writes one trace line per step of `range` to `out`; ends exactly where
// Run would. The steps of the range go one at a time; those before and after it run in batches.
// A write to `out` that fails ends the run at once (OutputFailed).
RunOutcome RunTraced(Processor& processor, const RunLimits& limits, std::FILE* out,
                     const TraceRange& range = {}, const RunGuard& guard = {});

}  // namespace tervik::runner
