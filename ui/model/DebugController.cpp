// The run loop and the debugger's notifications as signals.
#include "DebugController.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <exception>
#include <utility>

namespace {

// The text of the exception being handled, for the console.
std::string CurrentExceptionText() {
  try {
    throw;
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "an exception of an unknown kind";
  }
}

}  // namespace

DebugController::DebugController(tervik::platform::Clock& clock, QObject* parent)
    : QObject(parent), clock_(clock), debugger_(libraries_) {
  debugger_.AddListener(*this);
}

DebugController::~DebugController() {
  stopRequested_ = true;
  debugger_.RemoveListener(*this);
}

uint64_t DebugController::NextBatchLimit(uint64_t ran, double seconds) {
  const double limit = static_cast<double>(kSpeedInterval);
  if (!(seconds > 0.0)) return kSpeedInterval;
  const double fit = kEventInterval * static_cast<double>(ran) / seconds;
  return fit >= limit ? kSpeedInterval : std::max<uint64_t>(1, static_cast<uint64_t>(fit));
}

void DebugController::Step() {
  const double t0 = clock_.SecondsNow();
  try {
    Session().Cpu().Step();
  } catch (...) {
    // A module that throws cuts the step short: the processor stays before the instruction.
    debugger_.Message(Session().DescribeModuleFault(CurrentExceptionText()));
    debugger_.NotifyMachine();
    return;
  }
  const double t1 = clock_.SecondsNow();
  secondsPerInstruction_ = t1 - t0;
  ++sinceReset_;
  debugger_.NotifyMachine();
}

void DebugController::WhenIdle(std::function<void()> call) {
  if (!running_) {
    call();
    return;
  }
  afterRun_.push_back(std::move(call));
  RequestStop();
}

tervik::debug::StopReason DebugController::Run(tervik::debug::RunOperation op) {
  // The run state lasts as long as the run, however it ends: runFinished always follows
  // runStarted, so the windows never stay with their commands disabled.
  class RunState {
   public:
    RunState(DebugController& c, const tervik::debug::RunOperation& op) : c_(c) {
      c_.stopRequested_ = false;
      c_.running_ = true;
      c_.current_ = &op;
      emit c_.runStarted();
    }
    // The run is over: the stop's notification is a stop, not a live-view tick.
    void End() {
      c_.current_ = nullptr;
      c_.running_ = false;
    }
    ~RunState() {
      End();
      emit c_.runFinished();
      if (!c_.afterRun_.empty()) {
        QTimer::singleShot(0, &c_, [calls = std::exchange(c_.afterRun_, {})] {
          for (const std::function<void()>& call : calls) call();
        });
      }
    }
    RunState(const RunState&) = delete;
    RunState& operator=(const RunState&) = delete;

   private:
    DebugController& c_;
  };
  tervik::debug::StopReason reason;
  {
    RunState state(*this, op);
    std::string fault;
    try {
      reason = RunUntilStop(op);
    } catch (...) {
      // A module that throws ends the run; the processor stays after the last instruction that
      // completed, and the console says which module failed where.
      fault = Session().DescribeModuleFault(CurrentExceptionText());
      reason = Session().Stop(op);
    }
    state.End();
    lastRunCount_ = reason.instructions;
    sinceReset_ += reason.instructions;
    // A step over a word that is not a CALL is a single step, which says nothing, like a trace.
    const bool singleStep = op.kind == tervik::debug::RunKind::StepOver && op.goals.empty();
    if (!fault.empty()) {
      debugger_.Message(fault);
    } else if (!singleStep) {
      debugger_.Message(Session().Describe(reason));
    }
    debugger_.NotifyMachine();
  }
  return reason;
}

// The free run of an operation. The loop keeps the order of its single-instruction form (stop
// test, pending events, instructions, clock, count, speed at every multiple of 100000,
// instruction limit, breakpoint test) but handles events only every few milliseconds and runs
// the instructions between in batches of the core, reading the clock once per batch. A batch
// ends at the next multiple of 100000 at the latest, and early right after an instruction that
// reaches a breakpoint, so the speed and the stopping point are exactly those of the
// single-step loop. A batch is also sized to last about one event interval at the rate of the
// one before it, so slow instructions (a peripheral whose clock takes long) never hold up Stop
// and repaints.
tervik::debug::StopReason DebugController::RunUntilStop(tervik::debug::RunOperation& op) {
  const double t0 = clock_.SecondsNow();
  double lastEvents = -1.0;  // handle events before the first batch, as the first pass would
  // The first batch is short, so that the rate is known before a long one is risked.
  uint64_t batchLimit = kSpeedInterval / 100;
  double lastRefresh = t0;
  while (!stopRequested_) {
    double now = clock_.SecondsNow();
    if (lastEvents < 0.0 || now - lastEvents >= kEventInterval) {
      // The views follow the run (their repaints happen in the event handling below).
      if (liveViews_ && now - lastRefresh >= kLiveViewInterval) {
        debugger_.NotifyMachine();
        lastRefresh = now;
      }
      QCoreApplication::processEvents(QEventLoop::AllEvents);
      now = lastEvents = clock_.SecondsNow();
    }
    const uint64_t before = op.done;
    const uint64_t toMeasurement = kSpeedInterval - before % kSpeedInterval;
    const std::optional<tervik::debug::StopReason> end =
        Session().Continue(op, std::min(toMeasurement, batchLimit));
    const double t = clock_.SecondsNow();
    if (op.done % kSpeedInterval == 0 && op.done > before) {
      secondsPerInstruction_ = (t - t0) / static_cast<double>(op.done);
      emit speedChanged();
    }
    if (end) return *end;
    batchLimit = NextBatchLimit(op.done - before, t - now);
  }
  return Session().Stop(op);
}
