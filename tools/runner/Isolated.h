// Each run of tervik-run in a process of its own, which the runner watches: whatever a module
// does (calls exit, aborts, crashes, hangs in Initialize), the run ends in a status and a
// report, --timeout and SIGTERM end it within milliseconds, and the runs after it go on.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "RunOne.h"
#include "Signals.h"

namespace tervik::runner {

// Runs `requests` in order as RunOne does, in a child process (a worker) that hands each run's
// result back through a pipe, and calls `finished` with each result in the runner's process.
// The worker's lines go where RunOne's go (the descriptors are shared). The runner ends the
// worker with SIGKILL a moment after a run's --timeout (counted from the run's start, so a
// module that hangs while loading is covered) unless its program stopped running by then, and a
// moment after passing on a signal that `signals` caught. A run whose worker ends without its
// result is a failed run (status 4) whose message says how it ended; one the runner ended has
// the status of the --timeout (7) or of the signal (128 + its number). A new worker takes the
// runs after it. Once a signal came, no further run starts.
// `announce` is called with each result where it is known first, before `finished`: in the
// worker, in order with the run's own lines, or in the runner for a run the worker did not finish.
void RunIsolated(const std::vector<Request>& requests, RunConsole& console, SignalCatcher& signals,
                 jit::EngineKind engine, bool force,
                 const std::function<void(const Finished&)>& announce,
                 const std::function<void(Finished&&)>& finished);

// "SIGABRT" for SIGABRT; "signal 77" for a number without a name here.
std::string SignalName(int signal);

}  // namespace tervik::runner
