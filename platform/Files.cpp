// Whole-file reads, and the writer of every output.
#include "Files.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <utility>

#include "FileDescriptor.h"

namespace tervik::platform {
namespace {

// Removes a temporary file unless it was renamed into place.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
  ~TemporaryFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  const std::string& path() const { return path_; }
  void Keep() { path_.clear(); }

 private:
  std::string path_;
};

// Ignores a signal while it lives, so that the system call that would raise it fails with its
// errno instead (SIGPIPE: EPIPE; SIGXFSZ, past the file size limit: EFBIG) and the writer can
// clean up and say why. Restores what was there; errno survives the restoring.
class IgnoredSignal {
 public:
  explicit IgnoredSignal(int signal) : signal_(signal) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(signal_, &ignore, &old_);
  }
  ~IgnoredSignal() {
    const int error = errno;
    ::sigaction(signal_, &old_, nullptr);
    errno = error;
  }
  IgnoredSignal(const IgnoredSignal&) = delete;
  IgnoredSignal& operator=(const IgnoredSignal&) = delete;

 private:
  int signal_;
  struct sigaction old_ {};
};

}  // namespace

// The open does not wait for a FIFO's writer.
int OpenRegularFile(const std::string& path, std::string& error) {
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  struct stat info {};
  if (fd.get() < 0 || fstat(fd.get(), &info) != 0) {
    error = std::strerror(errno);
    return -1;
  }
  if (S_ISDIR(info.st_mode)) {
    error = "it is a folder";
    return -1;
  }
  if (!S_ISREG(info.st_mode)) {
    error = "it is not a regular file";
    return -1;
  }
  // Reads of a regular file never block; the flag only kept the open from waiting.
  ::fcntl(fd.get(), F_SETFL, O_RDONLY);
  const int opened = fd.get();
  fd.release();
  return opened;
}

bool ReadRegularFile(const std::string& path, std::string& text, std::string& error,
                     size_t maxBytes) {
  FileDescriptor fd(OpenRegularFile(path, error));
  if (fd.get() < 0) return false;
  text.clear();
  char block[64 * 1024];
  for (;;) {
    const ssize_t got = ::read(fd.get(), block, sizeof block);
    if (got == 0) return true;
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error = std::strerror(errno);
      return false;
    }
    if (static_cast<size_t>(got) > maxBytes - text.size()) {
      error = "it is larger than " + std::to_string(maxBytes) + " bytes";
      return false;
    }
    text.append(block, static_cast<size_t>(got));
  }
}

namespace {

// Writes all of `text` to `fd`; false with errno set.
bool WriteAll(int fd, std::string_view text) {
  for (size_t done = 0; done < text.size();) {
    const ssize_t put = ::write(fd, text.data() + done, text.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return false;
    done += static_cast<size_t>(put);
  }
  return true;
}

// A socket is no file to open: it is connected to, as a client.
int ConnectSocket(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    errno = ENAMETOOLONG;
    return -1;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  FileDescriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (fd.get() < 0) return -1;
  if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    return -1;
  }
  const int connected = fd.get();
  fd.release();
  return connected;
}

bool Interrupted(const WriteOptions& options) {
  return options.interrupt != nullptr && *options.interrupt != 0;
}

// Opens a FIFO for writing without blocking: a plain open would wait for a reader for ever.
// Tries again every few milliseconds for options.readerWait; -1 with errno ENXIO when no reader
// came, EINTR when options.interrupt was set.
int OpenFifo(const std::string& path, const WriteOptions& options) {
  const auto until = std::chrono::steady_clock::now() + options.readerWait;
  for (;;) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0 || errno != ENXIO) return fd;
    if (Interrupted(options)) {
      errno = EINTR;
      return -1;
    }
    if (std::chrono::steady_clock::now() >= until) {
      errno = ENXIO;
      return -1;
    }
    const timespec pause{0, 5'000'000};
    ::nanosleep(&pause, nullptr);  // a signal ends it early, and the flag is looked at again
  }
}

// Writes to a FIFO opened without blocking: a full pipe is waited on with poll, which a signal
// interrupts (the system never restarts it), so options.interrupt ends a reader that stopped
// reading.
bool WriteFifo(int fd, std::string_view text, const WriteOptions& options) {
  for (size_t done = 0; done < text.size();) {
    const ssize_t put = ::write(fd, text.data() + done, text.size() - done);
    if (put >= 0) {
      done += static_cast<size_t>(put);
      continue;
    }
    if (errno != EAGAIN && errno != EINTR) return false;
    if (Interrupted(options)) {
      errno = EINTR;
      return false;
    }
    pollfd ready{fd, POLLOUT, 0};
    if (::poll(&ready, 1, -1) < 0 && errno != EINTR) return false;
  }
  return true;
}

bool WriteStream(const OutputTarget& target, std::string_view text, const WriteOptions& options) {
  struct stat info {};
  if (::stat(target.resolved.c_str(), &info) != 0) return false;
  if (S_ISFIFO(info.st_mode)) {
    FileDescriptor fd(OpenFifo(target.resolved, options));
    if (fd.get() < 0) return false;
    // A reader that went away must not end the process with SIGPIPE: EPIPE says it instead.
    const IgnoredSignal noPipeSignal(SIGPIPE);
    return WriteFifo(fd.get(), text, options) && fd.Close();
  }
  FileDescriptor fd(S_ISSOCK(info.st_mode)
                        ? ConnectSocket(target.resolved)
                        : ::open(target.resolved.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) return false;
  // A socket whose reader went away must not end the process with SIGPIPE.
  if (S_ISSOCK(info.st_mode)) {
    for (size_t done = 0; done < text.size();) {
      const ssize_t put = ::send(fd.get(), text.data() + done, text.size() - done, MSG_NOSIGNAL);
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) return false;
      done += static_cast<size_t>(put);
    }
  } else if (!WriteAll(fd.get(), text)) {
    return false;
  }
  return fd.Close();
}

bool ReplaceFile(const OutputTarget& target, std::string_view text) {
  struct stat old {};
  const bool existed = ::stat(target.resolved.c_str(), &old) == 0;
  std::string name = target.resolved + ".XXXXXX";
  FileDescriptor fd(mkostemp(name.data(), O_CLOEXEC));
  if (fd.get() < 0) return false;
  TemporaryFile temporary(name);
  // Past the file size limit (ulimit -f) the write fails with EFBIG and the temporary file goes,
  // rather than the process ending by SIGXFSZ with the file left behind.
  const IgnoredSignal noSizeSignal(SIGXFSZ);
  if (existed) {
    // The owner may only be kept by a process allowed to give the file away; a failure there
    // leaves the writer's own, as any new file.
    if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
      [[maybe_unused]] const int ignored = fchown(fd.get(), old.st_uid, old.st_gid);
    }
    if (fchmod(fd.get(), old.st_mode & 07777) != 0) return false;
  } else {
    // mkostemp creates the file for its owner alone; the file gets the permissions any newly
    // created file would.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (fchmod(fd.get(), 0666 & ~mask) != 0) return false;
  }
  if (!WriteAll(fd.get(), text) || !fd.Close()) return false;
  if (std::rename(temporary.path().c_str(), target.resolved.c_str()) != 0) return false;
  temporary.Keep();
  return true;
}

// The resolved path made absolute, its folder's links followed too: two names of one file that
// does not exist yet compare equal.
std::string Canonical(const std::string& resolved) {
  std::error_code ec;
  const std::filesystem::path path = std::filesystem::absolute(resolved, ec);
  if (ec) return resolved;
  const std::filesystem::path folder = std::filesystem::weakly_canonical(path.parent_path(), ec);
  if (ec) return path.lexically_normal().string();
  return (folder / path.filename()).lexically_normal().string();
}

}  // namespace

OutputTarget ResolveOutput(const std::string& path, bool dashIsStdout) {
  OutputTarget target;
  if (dashIsStdout && path == "-") {
    target.kind = OutputKind::StandardOutput;
    return target;
  }
  // What the system itself reaches through the links decides a stream: a link of /proc such
  // as /dev/stdout opens the descriptor's pipe or terminal, though its text names no file.
  struct stat reached {};
  if (::stat(path.c_str(), &reached) == 0 &&
      (S_ISCHR(reached.st_mode) || S_ISFIFO(reached.st_mode) || S_ISSOCK(reached.st_mode))) {
    target.kind = OutputKind::Stream;
    target.resolved = path;
    return target;
  }
  // A file to replace, or to create, is found by following the links one by one, as many as
  // the system follows (SYMLOOP_MAX is 40 on Linux).
  constexpr int kMaxLinks = 40;
  std::filesystem::path current(path);
  for (int hops = 0;; ++hops) {
    struct stat info {};
    if (::lstat(current.c_str(), &info) != 0) {
      // A new file (or a link's missing target); where it cannot be looked at (a folder that
      // may not be read), the write says why it fails.
      target.resolved = current.string();
      return target;
    }
    if (S_ISLNK(info.st_mode)) {
      std::error_code ec;
      const std::filesystem::path next =
          hops == kMaxLinks ? std::filesystem::path() : std::filesystem::read_symlink(current, ec);
      if (hops == kMaxLinks || ec) {
        target.kind = OutputKind::Refused;
        target.refusal = "its symbolic links cannot be followed (" +
                         (ec ? ec.message() : std::string(std::strerror(ELOOP))) + ")";
        target.resolved = current.string();
        return target;
      }
      current = next.is_absolute() ? next : current.parent_path() / next;
      continue;
    }
    target.resolved = current.string();
    if (S_ISREG(info.st_mode)) {
      target.kind = OutputKind::RegularFile;
      // By its mode, not by access(): the super-user may write anything, yet a file made 0444
      // says it is not to be replaced.
      target.readOnly = (info.st_mode & 0222) == 0 ||
                        ::faccessat(AT_FDCWD, current.c_str(), W_OK, AT_EACCESS) != 0;
    } else if (S_ISCHR(info.st_mode) || S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode)) {
      target.kind = OutputKind::Stream;
    } else {
      target.kind = OutputKind::Refused;
      target.refusal = S_ISDIR(info.st_mode)   ? "it is a folder"
                       : S_ISBLK(info.st_mode) ? "it is a block device"
                                               : "it is not a file that can be written";
    }
    return target;
  }
}

bool WriteOutput(const std::string& path, std::string_view text, std::string& error,
                 const WriteOptions& options) {
  const OutputTarget target = ResolveOutput(path, options.dashIsStdout);
  bool written = false;
  switch (target.kind) {
    case OutputKind::StandardOutput: written = WriteAll(STDOUT_FILENO, text); break;
    case OutputKind::NewFile:
    case OutputKind::RegularFile:
      if (target.readOnly && !options.replaceReadOnly) {
        error = "it is read-only";
        errno = EACCES;
        return false;
      }
      written = ReplaceFile(target, text);
      break;
    case OutputKind::Stream: written = WriteStream(target, text, options); break;
    case OutputKind::Refused:
      error = target.refusal;
      errno = target.refusal == "it is a folder" ? EISDIR : EINVAL;
      return false;
  }
  if (!written) {
    const int why = errno;
    error = why == ENXIO && target.kind == OutputKind::Stream ? "no process reads the FIFO"
                                                              : std::strerror(why);
    errno = why;
  }
  return written;
}

bool WriteOutput(const std::string& path, std::string_view text, std::string& error,
                 bool dashIsStdout) {
  WriteOptions options;
  options.dashIsStdout = dashIsStdout;
  return WriteOutput(path, text, error, options);
}

bool WriteWhole(const std::string& output, const std::string& text) {
  std::string error;
  return WriteOutput(output, text, error);
}

void RemoveOutput(const std::string& path) {
  const OutputTarget target = ResolveOutput(path);
  if (target.kind == OutputKind::RegularFile) ::unlink(target.resolved.c_str());
}

bool SameOutputFile(const std::string& output, const std::string& other, bool dashIsStdout) {
  const OutputTarget a = ResolveOutput(output, dashIsStdout);
  if (a.kind == OutputKind::StandardOutput || a.kind == OutputKind::Stream) return false;
  const OutputTarget b = ResolveOutput(other, dashIsStdout);
  if (b.kind == OutputKind::StandardOutput || b.kind == OutputKind::Stream) return false;
  struct stat first {
  }, second{};
  if (::stat(a.resolved.c_str(), &first) == 0 && ::stat(b.resolved.c_str(), &second) == 0) {
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
  }
  return Canonical(a.resolved) == Canonical(b.resolved);
}

}  // namespace tervik::platform
