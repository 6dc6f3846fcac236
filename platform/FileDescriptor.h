// An owned POSIX file descriptor: closed when it goes, unless closed or released before.
#pragma once

#include <unistd.h>

namespace tervik::platform {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int get() const { return fd_; }
  // Gives the descriptor up, to a stream that closes it from now on.
  void release() { fd_ = -1; }
  // Closes now, where a failure still counts: a write may be reported only at the close.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

}  // namespace tervik::platform
