// What a finished run means for a script: why the processor halted, the --expect conditions and
// the exit status that tells the outcomes apart.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Expression.h"
#include "Processor.h"
#include "Runner.h"

namespace tervik::runner {

// The exit statuses of tervik-run (documented in docs/manual/fragments/tervik-run-exit.md).
enum ExitStatus : int {
  kExitSuccess = 0,      // --until reached; without --until, halted at a jump to itself
  kExitHaltedEarly = 1,  // halted normally before the --until address
  kExitStepLimit = 2,    // the --steps limit ran out
  kExitCannotRead = 3,   // the map, the listing or the symbol file cannot be read
  kExitFailed = 4,       // the output cannot be written, or the runner failed otherwise
  kExitFault = 5,        // halted on an undefined word or a fetch from unmapped memory
  kExitExpectation = 6,  // the run ended well, but an --expect condition does not hold
  kExitTimeout = 7,      // the --timeout ran out
  kExitUsage = 64,       // a command-line error
  kExitSignal = 128,     // plus the signal's number: SIGTERM or SIGINT interrupted the run
};

// A run's status as a test report sees it: an error when the run could not run, faulted or was
// interrupted (3, 4, 5, 64, 128 and above), a failure when a check failed (1, 2, 6, 7).
enum class Verdict : uint8_t { Passed, Failed, Error };
Verdict VerdictOf(int status);

enum class HaltCause : uint8_t {
  Stayed,         // a jump to itself, RETI to itself: a word the processor performs
  UndefinedWord,  // the word at pc is not an instruction the processor performs
  UnmappedFetch,  // pc lies in no region of the map
};

// Why a halted processor stays where it is, from pc and the word there (a peripheral's word is
// not read again, and counts as performed).
HaltCause ClassifyHalt(Processor& processor);

// "halted on an undefined word at 00000005", "halted on a fetch from unmapped memory at ...";
// empty for Stayed.
std::string DescribeFault(HaltCause cause, uint32_t pc);

// The status of a run: the run's own when it is not success, else kExitExpectation when an
// expectation failed.
int RunStatus(const RunOutcome& outcome, bool untilGiven, HaltCause cause, bool expectationsHeld);

// One --expect condition: an expression of the debugger's language, true when not 0.
struct Expectation {
  std::string text;
  debug::Expression expression;
};

// Parses --expect's text; the error names the column.
debug::Result<Expectation> ParseExpectation(std::string_view text);

// A message for each expectation that does not hold after the run, in the order given:
// "--expect 'R31 == 0x600D' does not hold" or "--expect 'M[x] == 1': unknown symbol 'x'".
std::vector<std::string> FailedExpectations(Processor& processor,
                                            const debug::SymbolLookup& symbols,
                                            const std::vector<Expectation>& expectations);

}  // namespace tervik::runner
