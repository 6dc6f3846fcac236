// The steady clock behind the speed measurement.
#include "Clock.h"

#include <chrono>

namespace tervik::platform {

double SteadyClock::SecondsNow() {
  using Seconds = std::chrono::duration<double>;
  return std::chrono::duration_cast<Seconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

Clock& SystemClock() {
  static SteadyClock clock;
  return clock;
}

}  // namespace tervik::platform
