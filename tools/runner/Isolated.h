// Each run of tervik-run in a process of its own, which the runner watches: whatever a module
// does (calls exit, aborts, crashes, hangs in Initialize), the run ends in a status and a
// report, --timeout and SIGTERM end it within milliseconds, and the runs after it go on.
#pragma once

#include <string>

#include "RunOne.h"
#include "Signals.h"

namespace tervik::runner {

// Runs `r` as RunOne does, in a child process that hands its result back through a pipe. The
// child's lines go where RunOne's go (the descriptors are shared). The runner ends the child
// with SIGKILL a moment after its --timeout (counted from the start, so a module that hangs
// while loading is covered) unless its program stopped running by then, and a moment after
// passing on a signal that `signals` caught. A child that ends without a result is a failed
// run (status 4) whose message says how it ended; one the runner ended has the status of the
// --timeout (7) or of the signal (128 + its number).
Finished RunIsolated(const Request& r, RunConsole& console, SignalCatcher& signals,
                     jit::EngineKind engine, bool force);

// "SIGABRT" for SIGABRT; "signal 77" for a number without a name here.
std::string SignalName(int signal);

}  // namespace tervik::runner
