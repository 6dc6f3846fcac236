// SIGTERM and SIGINT as tervik-run takes them: the run in progress ends between two batches of
// steps and the report of the runs so far is written before the process ends by the signal.
#pragma once

#include <csignal>

namespace tervik::runner {

// While it lives, the first SIGTERM or SIGINT sets a flag (to the signal's number) instead of
// ending the process; a second one ends it as usual. One at a time.
class SignalCatcher {
 public:
  SignalCatcher();
  ~SignalCatcher();  // restores what was there
  SignalCatcher(const SignalCatcher&) = delete;
  SignalCatcher& operator=(const SignalCatcher&) = delete;

  // Not 0 once a signal came: its number. The run loops read it between batches.
  const volatile std::sig_atomic_t* Flag() const;
  int Caught() const { return *Flag(); }
  // Ends the process by the signal that came (its default action), as it would have without
  // this catcher: a shell then sees 128 + its number. Returns when none came.
  void EndBySignal();
  // In a run's own process: every SIGTERM or SIGINT only sets the flag (the runner, which sends
  // them on, ends the process with SIGKILL when it does not end soon).
  void KeepCatching();

 private:
  struct sigaction oldTerm_ {};
  struct sigaction oldInt_ {};
};

}  // namespace tervik::runner
