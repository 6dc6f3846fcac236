// Whole-file reads and writes.
#include "Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

}  // namespace

// The open does not wait for a FIFO's writer.
bool ReadRegularFile(const std::string& path, std::string& text, std::string& error,
                     size_t maxBytes) {
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  struct stat info {};
  if (fd.get() < 0 || fstat(fd.get(), &info) != 0) {
    error = std::strerror(errno);
    return false;
  }
  if (S_ISDIR(info.st_mode)) {
    error = "it is a folder";
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    error = "it is not a regular file";
    return false;
  }
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

bool WriteWhole(const std::string& output, const std::string& text) {
  std::string name = output + ".XXXXXX";
  FileDescriptor fd(mkostemp(name.data(), O_CLOEXEC));
  if (fd.get() < 0) return false;
  TemporaryFile temporary(name);
  // mkostemp creates the file for its owner alone; the file gets the permissions any newly
  // created file would.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  if (fchmod(fd.get(), 0666 & ~mask) != 0) return false;
  for (size_t done = 0; done < text.size();) {
    const ssize_t put = ::write(fd.get(), text.data() + done, text.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return false;
    done += static_cast<size_t>(put);
  }
  if (!fd.Close()) return false;
  if (std::rename(temporary.path().c_str(), output.c_str()) != 0) return false;
  temporary.Keep();
  return true;
}

}  // namespace tervik::platform
