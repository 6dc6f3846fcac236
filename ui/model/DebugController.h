// The one object the windows know of the machine: it owns the debugger (and through it the
// session, the processor and the peripheral modules), runs the run operations in a loop that
// keeps the windows responsive, measures the speed, and turns the debugger's notifications into
// signals. The windows send it commands and repaint on its signals; none of them runs the
// machine itself, so a second front end reuses this loop rather than copying it.
//
// Threading: lives on the GUI thread; a run handles the window events between its batches, so
// Stop and the views' repaints are served while it goes on.
#pragma once

#include <QObject>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Clock.h"
#include "Debugger.h"
#include "DynamicLibrary.h"
#include "Session.h"

class DebugController final : public QObject, private tervik::debug::DebugListener {
  Q_OBJECT

 public:
  // A free run ends after this many instructions at the most (0xF0000000 + 1).
  static constexpr uint64_t kRunLimit = tervik::debug::Session::kRunLimit;
  // Instructions between two speed measurements.
  static constexpr uint64_t kSpeedInterval = 100000;
  // Window events are handled about this often during a run: often enough that Stop and
  // repaints feel immediate, rarely enough that the event handling costs nothing measurable.
  static constexpr double kEventInterval = 0.005;
  // While a run goes on, the views show its progress about this often (when live views are on).
  static constexpr double kLiveViewInterval = 0.1;

  // `clock` measures the speed and paces the loop; it must outlive the controller.
  explicit DebugController(tervik::platform::Clock& clock, QObject* parent = nullptr);
  ~DebugController() override;

  tervik::debug::Debugger& Debugger() { return debugger_; }
  tervik::debug::Session& Session() { return debugger_.GetSession(); }
  const tervik::debug::Session& Session() const { return debugger_.GetSession(); }

  // ---- The run loop ----
  bool Running() const { return running_; }
  // Whether the views follow a run (machineChanged about every kLiveViewInterval).
  void SetLiveViews(bool on) { liveViews_ = on; }
  // Seconds per instruction of the last measurement: a step, or a run's last full interval;
  // 0 until one was made.
  double SecondsPerInstruction() const { return secondsPerInstruction_; }
  // Instructions the last run executed.
  uint64_t LastRunCount() const { return lastRunCount_; }
  // Instructions executed since the processor was last reset (CPU > Reset or a program's fresh
  // start), a run going on included; going back in time counts back.
  uint64_t InstructionsSinceReset() const {
    return sinceReset_ + (current_ != nullptr ? current_->done : 0);
  }
  // The views moved through the recorded history from instruction `from` to `to` (a reverse
  // command, or Go to present): the count follows them.
  void CountTravel(uint64_t from, uint64_t to) {
    sinceReset_ =
        to >= from ? sinceReset_ + (to - from) : sinceReset_ - std::min(sinceReset_, from - to);
  }

  // One instruction, timed.
  void Step();
  // Runs `op` until it ends: runStarted, the loop, the console line that says why it ended
  // (none for a step over a word that is not a CALL, which is a single step), machineChanged,
  // runFinished. Returns why it ended.
  tervik::debug::StopReason Run(tervik::debug::RunOperation op);
  // The loop of a run operation, handling window events between its batches; the reason it
  // ended. Run wraps it.
  tervik::debug::StopReason RunUntilStop(tervik::debug::RunOperation& op);
  // Ends the run going on at its next event handling.
  void RequestStop() { stopRequested_ = true; }
  // Calls `call` now when no run goes on; else ends the run and calls it from the event loop
  // once the run has finished (after runFinished).
  void WhenIdle(std::function<void()> call);

  // The instructions the next batch may take so that it lasts about one event interval, from
  // the `ran` instructions the last batch ran in `seconds`: at least one, at most a speed
  // interval.
  static uint64_t NextBatchLimit(uint64_t ran, double seconds);

 signals:
  // Registers, memory or markers changed: a command, a load, a run's stop or live-view tick.
  void machineChanged();
  void breakpointsChanged();
  void symbolsChanged();
  void regionsChanged();
  // A new speed measurement during a run.
  void speedChanged();
  void consoleLine(const std::string& line);
  void runStarted();
  void runFinished();

 private:
  // The watch expressions follow every notification: a stop when no run goes on, else a
  // live-view tick, whose values are compared with the last stop's.
  void MachineChanged() override {
    debugger_.Watches().Update(Session(), !running_);
    emit machineChanged();
  }
  void BreakpointsChanged() override { emit breakpointsChanged(); }
  void SymbolsChanged() override { emit symbolsChanged(); }
  void RegionsChanged() override { emit regionsChanged(); }
  void ProcessorReset() override { sinceReset_ = 0; }
  void ConsoleLine(std::string_view line) override { emit consoleLine(std::string(line)); }

  tervik::platform::Clock& clock_;
  tervik::platform::PosixLibraryLoader libraries_;
  tervik::debug::Debugger debugger_;
  bool running_ = false;
  bool stopRequested_ = false;
  bool liveViews_ = true;
  double secondsPerInstruction_ = 0.0;
  uint64_t lastRunCount_ = 0;
  uint64_t sinceReset_ = 0;
  const tervik::debug::RunOperation* current_ = nullptr;  // the run going on
  std::vector<std::function<void()>> afterRun_;           // WhenIdle's calls during a run
};
