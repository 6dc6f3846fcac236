// The history of a processor's run: snapshots of its registers and the pages of memory written
// since the one before, taken every so many instructions, and the values the program read from
// module words. Going back to an instruction restores the snapshot before it and replays from
// there at the batched run's speed, feeding the program the recorded module values and calling
// no module, so that nothing a module does happens twice. Plain C++.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>

#include "ModuleLog.h"
#include "PageStore.h"
#include "Processor.h"

namespace tervik::history {

// The change markers of the last cycle, as the views show them.
struct Markers {
  bool pcChanged, srChanged, imChanged, spChanged, cChanged, oChanged, nChanged, zChanged;
  std::array<bool, 32> regChanged;
  bool lfsrChanged, memWritten;
  uint32_t lastWriteAddress;

  static Markers Of(const Processor& cpu);
  void ApplyTo(Processor& cpu) const;
  bool operator==(const Markers&) const = default;
};

class Recorder final : public RunTap {
 public:
  static constexpr uint64_t kDefaultBudget = uint64_t{256} << 20;
  // Instructions between snapshots at the least; more when taking them costs noticeable time.
  static constexpr uint64_t kDefaultInterval = uint64_t{1} << 22;

  // Records nothing until enabled.
  explicit Recorder(Processor& cpu);
  ~Recorder();
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // Starts or stops recording. Either way the history starts again empty.
  void SetEnabled(bool on);
  bool Enabled() const { return enabled_; }
  // The most bytes the history may take; when full, the oldest history is dropped.
  void SetBudget(uint64_t bytes) { budget_ = bytes; }
  uint64_t Budget() const { return budget_; }
  // Instructions between snapshots (at least 1).
  void SetInterval(uint64_t instructions);

  // Forgets the history: it starts again at instruction 0 with the processor as it is.
  void Clear();

  // Instructions since the history started: where the processor is, the present (the furthest
  // it has run), and the oldest instruction still recorded.
  uint64_t Now() const { return now_; }
  uint64_t Present() const { return present_; }
  uint64_t First() const { return snapshots_.empty() ? now_ : snapshots_.front().count; }
  // Whether the processor shows a past state: edits are refused and a run replays until the
  // present, then goes on live.
  bool InPast() const { return replaying; }

  // Puts the processor in exactly the state it had after instruction `count` (registers, flags,
  // markers and memory), First() <= count <= Present(). False, changing nothing, otherwise.
  bool Seek(uint64_t count);
  // The start of the stretch of history that a search going backwards from `end` covers next:
  // the last snapshot before `end`, or First().
  uint64_t StretchStart(uint64_t end) const;

  // Bytes the history takes now.
  size_t Bytes() const;
  // Whether a replay asked for more module values than were recorded, which means the run went
  // differently than when it was recorded (a fault): the values read 0xFFFFFFFF then.
  bool Diverged() const { return diverged_; }

  // ---- RunTap ----
  uint64_t BeforeRun(uint64_t maxSteps) override;
  void Ran(uint64_t cycles) override;
  void Record(uint32_t address, uint32_t value) override;
  uint32_t Replay(uint32_t address) override;
  void Changed(Change change) override;

 private:
  struct Snapshot {
    uint64_t count;
    uint64_t seq;
    CpuState cpu;
    Markers markers;
    ModuleLog::Position log;
    bool edit;  // taken after an edit: a replay that reaches it takes its state
  };

  // Takes a snapshot of the present; `edit` after the user changed the state.
  void Take(bool edit);
  void Restore(const Snapshot& s);
  // Notes an edit made since the last run, if any, with a snapshot.
  void CatchUpEdits();
  bool Edited() const;
  // The next snapshot after `count` taken after an edit, or nothing.
  const Snapshot* NextEdit(uint64_t count) const;
  void DropOldest();

  Processor& cpu_;
  bool enabled_ = false;
  bool started_ = false;  // the first snapshot was taken
  bool editPending_ = false;
  bool diverged_ = false;
  uint64_t now_ = 0;
  uint64_t present_ = 0;
  uint64_t next_ = 0;  // the instruction count of the next snapshot
  uint64_t seq_ = 0;
  uint64_t interval_ = kDefaultInterval;
  uint64_t baseInterval_ = kDefaultInterval;
  uint64_t budget_ = kDefaultBudget;
  std::deque<Snapshot> snapshots_;
  CpuState seen_;  // the registers as the last run or snapshot left them
  PageStore pages_;
  ModuleLog log_;
  std::chrono::steady_clock::time_point lastTake_{};
};

}  // namespace tervik::history
