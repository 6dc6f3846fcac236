// The run's process and the runner's watch over it. The child writes one byte when its program
// stopped running (from then on the --timeout no longer applies: the dumps may take long), then
// its record; the runner reads the pipe to its end and then collects the child.
#include "Isolated.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string_view>
#include <utility>

#include "Checks.h"
#include "FileDescriptor.h"
#include "Runner.h"

namespace tervik::runner {
namespace {

using Clock = std::chrono::steady_clock;

// How long a child has to end by itself once a signal was passed on to it, or once its --timeout
// ran out (its run loop looks at both between batches, a few milliseconds apart).
constexpr auto kSignalGrace = std::chrono::milliseconds(200);
constexpr auto kTimeoutGrace = std::chrono::milliseconds(250);

constexpr char kRunEnded = 'E';
constexpr char kRecord = 'R';

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t put = ::write(fd, bytes.data(), bytes.size());
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return false;
    bytes.remove_prefix(static_cast<size_t>(put));
  }
  return true;
}

[[noreturn]] void RunChild(int fd, pid_t runner, const Request& r, RunConsole& console,
                           SignalCatcher& signals, jit::EngineKind engine, bool force) {
#ifdef __linux__
  // A runner killed outright (SIGKILL) takes its run along instead of leaving it hanging.
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != runner) ::_exit(kExitFailed);
#else
  (void)runner;
#endif
  signals.KeepCatching();
  try {
    Finished done = RunOne(
        r, console, signals.Flag(), engine, [fd] { WriteAll(fd, std::string_view(&kRunEnded, 1)); },
        force);
    done.outputError = console.FinishOutput();
    std::fflush(nullptr);
    std::string bytes(1, kRecord);
    bytes += EncodeFinished(done);
    WriteAll(fd, bytes);
  } catch (...) {
    // Nothing may reach the runner's own code from here: the runner reports a run without a
    // record.
  }
  std::fflush(nullptr);
  ::_exit(0);
}

// SIGTERM and SIGINT held back while the runner looks at its flag, and let in only while it
// waits (ppoll), so that a signal between the look and the wait still ends the wait.
class HeldSignals {
 public:
  HeldSignals() {
    sigset_t held;
    sigemptyset(&held);
    sigaddset(&held, SIGTERM);
    sigaddset(&held, SIGINT);
    ::sigprocmask(SIG_BLOCK, &held, &old_);
  }
  ~HeldSignals() { ::sigprocmask(SIG_SETMASK, &old_, nullptr); }
  HeldSignals(const HeldSignals&) = delete;
  HeldSignals& operator=(const HeldSignals&) = delete;
  const sigset_t* WhileWaiting() const { return &old_; }

 private:
  sigset_t old_{};
};

// What the runner saw of its child.
struct Watched {
  std::string bytes;      // all the child wrote
  int wait = 0;           // waitpid's status
  bool timedOut = false;  // the runner ended it after its --timeout
  int passedOn = 0;       // the signal the runner passed on to it, 0: none
};

Watched Watch(pid_t child, int fd, const std::optional<Clock::time_point>& deadline,
              SignalCatcher& signals) {
  Watched seen;
  std::optional<Clock::time_point> killAt;
  {
    const HeldSignals held;
    for (;;) {
      const Clock::time_point now = Clock::now();
      if (seen.passedOn == 0 && signals.Caught() != 0) {
        seen.passedOn = signals.Caught();
        ::kill(child, seen.passedOn);
        killAt = now + kSignalGrace;
      }
      const bool running = seen.bytes.empty() || seen.bytes[0] != kRunEnded;
      if (deadline && running && !seen.timedOut && now >= *deadline + kTimeoutGrace) {
        seen.timedOut = true;
        ::kill(child, SIGKILL);
      }
      if (killAt && now >= *killAt) {
        ::kill(child, SIGKILL);
        killAt.reset();
      }
      std::optional<Clock::time_point> wake = killAt;
      if (deadline && running && !seen.timedOut) {
        const Clock::time_point end = *deadline + kTimeoutGrace;
        if (!wake || end < *wake) wake = end;
      }
      timespec limit{};
      if (wake) {
        const auto left = std::max(Clock::duration::zero(), *wake - now);
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        limit.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
        limit.tv_nsec = static_cast<long>(ns % 1'000'000'000);
      }
      pollfd ready{fd, POLLIN, 0};
      const int n = ::ppoll(&ready, 1, wake ? &limit : nullptr, held.WhileWaiting());
      if (n <= 0) continue;  // a signal, or a time to look again
      std::array<char, 64 * 1024> block;
      const ssize_t got = ::read(fd, block.data(), block.size());
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      seen.bytes.append(block.data(), static_cast<size_t>(got));
    }
  }
  while (::waitpid(child, &seen.wait, 0) < 0 && errno == EINTR) {
  }
  return seen;
}

}  // namespace

std::string SignalName(int signal) {
  static constexpr std::pair<int, const char*> kNames[] = {
      {SIGABRT, "SIGABRT"}, {SIGSEGV, "SIGSEGV"}, {SIGBUS, "SIGBUS"},   {SIGFPE, "SIGFPE"},
      {SIGILL, "SIGILL"},   {SIGKILL, "SIGKILL"}, {SIGTERM, "SIGTERM"}, {SIGINT, "SIGINT"},
      {SIGHUP, "SIGHUP"},   {SIGQUIT, "SIGQUIT"}, {SIGPIPE, "SIGPIPE"}, {SIGXFSZ, "SIGXFSZ"},
      {SIGXCPU, "SIGXCPU"}, {SIGTRAP, "SIGTRAP"}, {SIGSYS, "SIGSYS"},   {SIGALRM, "SIGALRM"},
      {SIGUSR1, "SIGUSR1"}, {SIGUSR2, "SIGUSR2"},
  };
  for (const auto& [number, name] : kNames) {
    if (number == signal) return name;
  }
  return "signal " + std::to_string(signal);
}

Finished RunIsolated(const Request& r, RunConsole& console, SignalCatcher& signals,
                     jit::EngineKind engine, bool force) {
  const Clock::time_point started = Clock::now();
  Finished done;
  done.report.name = r.name.empty() ? *r.listingPath : r.name;
  const auto fail = [&](int status, const std::string& message) {
    std::cerr << "tervik-run: " << (r.origin.empty() ? "" : r.origin + ": ") << message << "\n";
    done.status = status;
    done.report.status = status;
    done.report.failures.push_back(message);
    done.report.seconds = std::chrono::duration<double>(Clock::now() - started).count();
    return done;
  };
  // A --timeout that cannot be read is the run's own error, which RunOne reports.
  std::optional<Clock::time_point> deadline;
  if (r.timeoutText) {
    const debug::Result<std::chrono::nanoseconds> timeout = ParseSeconds(*r.timeoutText);
    if (timeout.ok()) deadline = started + timeout.value();
  }
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) {
    return fail(kExitFailed, std::string("cannot start the run: ") + std::strerror(errno));
  }
  platform::FileDescriptor reader(ends[0]);
  platform::FileDescriptor writer(ends[1]);
  // What stdio holds now must not be written twice, by both processes.
  std::fflush(nullptr);
  const pid_t runner = ::getpid();
  const pid_t child = ::fork();
  if (child < 0) {
    return fail(kExitFailed, std::string("cannot start the run: ") + std::strerror(errno));
  }
  if (child == 0) {
    reader.Close();
    RunChild(writer.get(), runner, r, console, signals, engine, force);
  }
  writer.Close();
  const Watched seen = Watch(child, reader.get(), deadline, signals);

  std::string_view bytes = seen.bytes;
  if (!bytes.empty() && bytes[0] == kRunEnded) bytes.remove_prefix(1);
  if (!bytes.empty() && bytes[0] == kRecord) {
    if (std::optional<Finished> record = DecodeFinished(bytes.substr(1))) return *record;
  }
  if (seen.timedOut) {
    done.report.stop = "timeout: the run was ended while its modules were loading or busy";
    return fail(kExitTimeout,
                "the run took longer than --timeout " + *r.timeoutText + " (ended by the runner)");
  }
  if (seen.passedOn != 0) {
    return fail(kExitSignal + seen.passedOn,
                "interrupted by " + SignalName(seen.passedOn) + " (ended by the runner)");
  }
  if (WIFEXITED(seen.wait)) {
    return fail(kExitFailed, "the run ended without a result: a module called exit(" +
                                 std::to_string(WEXITSTATUS(seen.wait)) + ")");
  }
  if (WIFSIGNALED(seen.wait)) {
    return fail(kExitFailed,
                "the run ended without a result: killed by " + SignalName(WTERMSIG(seen.wait)));
  }
  return fail(kExitFailed, "the run ended without a result");
}

}  // namespace tervik::runner
