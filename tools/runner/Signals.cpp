// The signal handler only stores the signal's number in a flag (async-signal-safe); everything
// else happens in the run loop that reads it.
#include "Signals.h"

#include <cstdio>

namespace tervik::runner {
namespace {

// The one flag a handler may write: a signal handler can reach nothing else.
volatile std::sig_atomic_t caughtSignal = 0;

extern "C" void OnSignal(int signal) {
  caughtSignal = signal;
}

}  // namespace

SignalCatcher::SignalCatcher() {
  caughtSignal = 0;
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  // SA_RESETHAND: a second signal ends the process even when a run does not get to look.
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  sigaction(SIGTERM, &action, &oldTerm_);
  sigaction(SIGINT, &action, &oldInt_);
}

SignalCatcher::~SignalCatcher() {
  sigaction(SIGTERM, &oldTerm_, nullptr);
  sigaction(SIGINT, &oldInt_, nullptr);
}

void SignalCatcher::KeepCatching() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

const volatile std::sig_atomic_t* SignalCatcher::Flag() const {
  return &caughtSignal;
}

void SignalCatcher::EndBySignal() {
  const int signal = caughtSignal;
  if (signal == 0) return;
  std::fflush(nullptr);
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
  std::raise(signal);
}

}  // namespace tervik::runner
