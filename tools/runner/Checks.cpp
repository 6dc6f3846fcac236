// Halt causes, expectations and exit statuses of the runner.
#include "Checks.h"

#include <algorithm>
#include <cstdio>

#include "Inspection.h"
#include "Instruction.h"

namespace tervik::runner {

HaltCause ClassifyHalt(Processor& processor) {
  const uint32_t pc = processor.pc;
  if (!IsMapped(processor, pc)) {
    return HaltCause::UnmappedFetch;
  }
  const std::optional<uint32_t> word = PeekWord(processor, pc);
  return word && !IsDefinedInstruction(*word) ? HaltCause::UndefinedWord : HaltCause::Stayed;
}

std::string DescribeFault(HaltCause cause, uint32_t pc) {
  char address[9];
  std::snprintf(address, sizeof address, "%08X", pc);
  switch (cause) {
    case HaltCause::Stayed: return {};
    case HaltCause::UndefinedWord: return std::string("halted on an undefined word at ") + address;
    case HaltCause::UnmappedFetch:
      return std::string("halted on a fetch from unmapped memory at ") + address;
  }
  return {};
}

int RunStatus(const RunOutcome& outcome, bool untilGiven, HaltCause cause, bool expectationsHeld) {
  int status = kExitSuccess;
  switch (outcome.reason) {
    case StopReason::Until: status = kExitSuccess; break;
    case StopReason::Halted:
      status = cause != HaltCause::Stayed ? kExitFault
               : untilGiven               ? kExitHaltedEarly
                                          : kExitSuccess;
      break;
    case StopReason::StepLimit: status = kExitStepLimit; break;
    case StopReason::TimedOut: status = kExitTimeout; break;
    case StopReason::Interrupted: status = kExitSignal; break;
    case StopReason::OutputFailed: status = kExitFailed; break;
  }
  return status == kExitSuccess && !expectationsHeld ? kExitExpectation : status;
}

Verdict VerdictOf(int status) {
  switch (status) {
    case kExitSuccess: return Verdict::Passed;
    case kExitHaltedEarly:
    case kExitStepLimit:
    case kExitExpectation:
    case kExitTimeout: return Verdict::Failed;
    default: return Verdict::Error;
  }
}

debug::Result<Expectation> ParseExpectation(std::string_view text) {
  debug::Result<debug::Expression> parsed = debug::Expression::Parse(text);
  if (!parsed.ok()) return parsed.error();
  return Expectation{std::string(text), parsed.value()};
}

std::vector<std::string> FailedExpectations(Processor& processor,
                                            const debug::SymbolLookup& symbols,
                                            const std::vector<Expectation>& expectations) {
  std::vector<std::string> failed;
  debug::ProcessorContext context(processor, symbols);
  for (const Expectation& expectation : expectations) {
    const debug::Result<bool> held = expectation.expression.EvaluateCondition(context);
    std::string message = "--expect '";
    message += expectation.text;
    if (!held.ok()) {
      message += "': ";
      message += held.error().Text();
    } else if (!held.value()) {
      message += "' does not hold";
    } else {
      continue;
    }
    failed.push_back(std::move(message));
  }
  return failed;
}

}  // namespace tervik::runner
