// The high-resolution clock the run control measures emulation speed with.
#pragma once

namespace tervik::platform {

// Seconds since an arbitrary fixed point; only differences of two readings mean anything.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual double SecondsNow() = 0;
};

// The monotonic clock of the operating system (std::chrono::steady_clock).
class SteadyClock final : public Clock {
 public:
  double SecondsNow() override;
};

// The process-wide steady clock.
Clock& SystemClock();

}  // namespace tervik::platform
