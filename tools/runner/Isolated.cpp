// The runs' process and the runner's watch over it. For each run the worker writes a message
// when the run starts, one when its program stopped running (from then on the --timeout no
// longer applies: the dumps may take long), and the run's record; each message is a kind byte
// and a netstring. The runner reads the pipe to its end, then collects the worker. One worker
// runs every line it can: a process per line would cost far more than the runs themselves.
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
#include <stdexcept>
#include <string_view>
#include <utility>

#include "Checks.h"
#include "FileDescriptor.h"
#include "Runner.h"

namespace tervik::runner {
namespace {

using Clock = std::chrono::steady_clock;

// How long a worker has to end by itself once a signal was passed on to it, or once a run's
// --timeout ran out (its run loop looks at both between batches, a few milliseconds apart).
constexpr auto kSignalGrace = std::chrono::milliseconds(200);
constexpr auto kTimeoutGrace = std::chrono::milliseconds(250);

constexpr char kRunStarts = 'S';
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

void Send(int fd, char kind, std::string_view payload = {}) {
  std::string message(1, kind);
  message += std::to_string(payload.size());
  message += ':';
  message += payload;
  message += ',';
  WriteAll(fd, message);
}

// One whole message off the front of `bytes`: its kind and payload; nullopt until it is there.
std::optional<std::pair<char, std::string>> TakeMessage(std::string& bytes) {
  const size_t colon = bytes.find(':');
  if (bytes.empty() || colon == std::string::npos) return std::nullopt;
  size_t length = 0;
  for (size_t i = 1; i < colon; ++i) length = length * 10 + static_cast<size_t>(bytes[i] - '0');
  if (bytes.size() < colon + 2 + length) return std::nullopt;
  std::pair<char, std::string> message{bytes[0], bytes.substr(colon + 1, length)};
  bytes.erase(0, colon + 2 + length);
  return message;
}

[[noreturn]] void RunWorker(int fd, pid_t runner, const std::vector<Request>& requests,
                            size_t first, RunConsole& console, SignalCatcher& signals,
                            jit::EngineKind engine, bool force,
                            const std::function<void(const Finished&)>& announce) {
#ifdef __linux__
  // A runner killed outright (SIGKILL) takes its worker along instead of leaving it hanging.
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != runner) ::_exit(kExitFailed);
#else
  (void)runner;
#endif
  signals.KeepCatching();
  try {
    for (size_t i = first; i < requests.size() && signals.Caught() == 0; ++i) {
      Send(fd, kRunStarts);
      Finished done = RunOne(
          requests[i], console, signals.Flag(), engine, [fd] { Send(fd, kRunEnded); }, force);
      done.outputError = console.FinishOutput();
      announce(done);
      std::fflush(nullptr);
      Send(fd, kRecord, EncodeFinished(done));
    }
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

std::optional<Clock::duration> TimeoutOf(const Request& r) {
  // A --timeout that cannot be read is the run's own error, which RunOne reports.
  if (!r.timeoutText) return std::nullopt;
  const debug::Result<std::chrono::nanoseconds> timeout = ParseSeconds(*r.timeoutText);
  if (!timeout.ok()) return std::nullopt;
  return std::chrono::duration_cast<Clock::duration>(timeout.value());
}

// The runner's side of one worker, from the run `next` on.
class Watch {
 public:
  Watch(const std::vector<Request>& requests, size_t next, SignalCatcher& signals,
        const std::function<void(const Finished&)>& announce,
        const std::function<void(Finished&&)>& finished)
      : requests_(requests),
        next_(next),
        signals_(signals),
        announce_(announce),
        finished_(finished) {}

  // Watches the worker `child` through `fd` until it ends; returns the first run it did not
  // finish (requests.size() when none is left).
  size_t Follow(pid_t child, int fd) {
    started_ = Clock::now();
    {
      const HeldSignals held;
      for (;;) {
        Look(child);
        timespec limit{};
        const std::optional<Clock::time_point> wake = Wake();
        if (wake) {
          const auto left = std::max(Clock::duration::zero(), *wake - Clock::now());
          const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
          limit.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
          limit.tv_nsec = static_cast<long>(ns % 1'000'000'000);
        }
        pollfd ready{fd, POLLIN, 0};
        if (::ppoll(&ready, 1, wake ? &limit : nullptr, held.WhileWaiting()) <= 0) continue;
        std::array<char, 64 * 1024> block;
        const ssize_t got = ::read(fd, block.data(), block.size());
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        bytes_.append(block.data(), static_cast<size_t>(got));
        while (std::optional<std::pair<char, std::string>> message = TakeMessage(bytes_)) {
          Take(message->first, message->second);
        }
      }
    }
    int wait = 0;
    while (::waitpid(child, &wait, 0) < 0 && errno == EINTR) {
    }
    if (runOpen_) {
      Finished lost = Lost(wait);
      announce_(lost);
      finished_(std::move(lost));
      ++next_;
    }
    return next_;
  }

 private:
  void Take(char kind, const std::string& payload) {
    switch (kind) {
      case kRunStarts:
        runOpen_ = true;
        ended_ = false;
        started_ = Clock::now();
        break;
      case kRunEnded: ended_ = true; break;
      case kRecord: {
        std::optional<Finished> record = DecodeFinished(payload);
        if (!record) return;  // the worker's end says what became of the run
        runOpen_ = false;
        finished_(std::move(*record));
        ++next_;
        break;
      }
      default: break;
    }
  }

  // Passes a signal on, and ends the worker when a run's time or the grace after a signal ran
  // out.
  void Look(pid_t child) {
    const Clock::time_point now = Clock::now();
    if (passedOn_ == 0 && signals_.Caught() != 0) {
      passedOn_ = signals_.Caught();
      ::kill(child, passedOn_);
      killAt_ = now + kSignalGrace;
    }
    if (const std::optional<Clock::time_point> end = RunDeadline(); end && now >= *end) {
      timedOut_ = true;
      ::kill(child, SIGKILL);
    }
    if (killAt_ && now >= *killAt_) {
      ::kill(child, SIGKILL);
      killAt_.reset();
    }
  }

  std::optional<Clock::time_point> RunDeadline() const {
    if (timedOut_ || ended_ || next_ >= requests_.size()) return std::nullopt;
    const std::optional<Clock::duration> timeout = TimeoutOf(requests_[next_]);
    if (!timeout) return std::nullopt;
    return started_ + *timeout + kTimeoutGrace;
  }

  std::optional<Clock::time_point> Wake() const {
    std::optional<Clock::time_point> wake = killAt_;
    if (const std::optional<Clock::time_point> end = RunDeadline();
        end && (!wake || *end < *wake)) {
      wake = end;
    }
    return wake;
  }

  // The result of the run the worker did not finish, from how the worker ended.
  Finished Lost(int wait) const {
    const Request& r = requests_[next_];
    Finished done;
    done.report.name = r.name.empty() ? *r.listingPath : r.name;
    std::string message;
    if (timedOut_) {
      done.status = kExitTimeout;
      done.report.stop = "timeout: the run was ended while its modules were loading or busy";
      message = "the run took longer than --timeout " + *r.timeoutText + " (ended by the runner)";
    } else if (passedOn_ != 0) {
      done.status = kExitSignal + passedOn_;
      message = "interrupted by " + SignalName(passedOn_) + " (ended by the runner)";
    } else if (WIFEXITED(wait)) {
      done.status = kExitFailed;
      message = "the run ended without a result: a module called exit(" +
                std::to_string(WEXITSTATUS(wait)) + ")";
    } else if (WIFSIGNALED(wait)) {
      done.status = kExitFailed;
      message = "the run ended without a result: killed by " + SignalName(WTERMSIG(wait));
    } else {
      done.status = kExitFailed;
      message = "the run ended without a result";
    }
    std::cerr << "tervik-run: " << (r.origin.empty() ? "" : r.origin + ": ") << message << "\n";
    done.report.status = done.status;
    done.report.failures.push_back(message);
    done.report.seconds = std::chrono::duration<double>(Clock::now() - started_).count();
    return done;
  }

  const std::vector<Request>& requests_;
  size_t next_;
  SignalCatcher& signals_;
  const std::function<void(const Finished&)>& announce_;
  const std::function<void(Finished&&)>& finished_;
  std::string bytes_;
  Clock::time_point started_;
  bool runOpen_ = false;  // a run started and has no record yet
  bool ended_ = false;    // its program stopped running
  bool timedOut_ = false;
  int passedOn_ = 0;
  std::optional<Clock::time_point> killAt_;
};

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

void RunIsolated(const std::vector<Request>& requests, RunConsole& console, SignalCatcher& signals,
                 jit::EngineKind engine, bool force,
                 const std::function<void(const Finished&)>& announce,
                 const std::function<void(Finished&&)>& finished) {
  size_t next = 0;
  while (next < requests.size() && signals.Caught() == 0) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
      throw std::runtime_error(std::string("cannot start the runs: ") + std::strerror(errno));
    }
    platform::FileDescriptor reader(ends[0]);
    platform::FileDescriptor writer(ends[1]);
    // What stdio holds now must not be written twice, by both processes.
    std::fflush(nullptr);
    const pid_t runner = ::getpid();
    const pid_t child = ::fork();
    if (child < 0) {
      throw std::runtime_error(std::string("cannot start the runs: ") + std::strerror(errno));
    }
    if (child == 0) {
      reader.Close();
      RunWorker(writer.get(), runner, requests, next, console, signals, engine, force, announce);
    }
    writer.Close();
    next = Watch(requests, next, signals, announce, finished).Follow(child, reader.get());
  }
}

}  // namespace tervik::runner
