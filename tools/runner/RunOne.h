// One run of tervik-run: loads the map and the listing into a debugging session, resets, runs,
// writes the dumps and the last line, checks the expectations; every way it can go wrong ends
// in the run's status and report rather than the process's end.
#pragma once

#include <csignal>
#include <functional>
#include <string>

#include "JUnit.h"
#include "RunConsole.h"
#include "RunRecord.h"
#include "Suite.h"
#include "Translator.h"

namespace tervik::runner {

// The mistakes in `r`'s values that need no symbols (counts, --timeout, the trace range, the
// expressions' syntax): "--steps: a count cannot be negative", or empty.
std::string CheckValues(const Request& r);

// Runs `r`. Messages go to standard error as "tervik-run: [ORIGIN: ]MESSAGE"; the status is the
// run's exit status: 64 for a value that cannot be read, 4 when the run threw, 128 + the
// signal's number when `interrupt` ended it. `runEnded`, when given, is called once the program
// stopped running (before the dumps), if it got that far. With `force`, a read-only
// --dump-display file is replaced.
Finished RunOne(const Request& r, RunConsole& console, const volatile std::sig_atomic_t* interrupt,
                jit::EngineKind engine = jit::DefaultEngine(),
                const std::function<void()>& runEnded = {}, bool force = false);

}  // namespace tervik::runner
