// Whole-file reads and writes for the tools and the window: a read that takes only regular files
// (a folder, a device or a FIFO would never end or would block), and the one writer of every
// output, which leaves either the whole new text or the old file, and never replaces a device,
// a FIFO or a symbolic link by a plain file.
#pragma once

#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tervik::platform {

// Reads the whole regular file at `path` into `text`; at most `maxBytes` (a larger file is
// refused). False with `error` saying why.
bool ReadRegularFile(const std::string& path, std::string& text, std::string& error,
                     size_t maxBytes = SIZE_MAX);

// Opens the regular file at `path` for reading (close-on-exec), for a caller that reads it a
// piece at a time; a folder, a device or a FIFO is refused as by ReadRegularFile. The
// descriptor, or -1 with `error` saying why.
int OpenRegularFile(const std::string& path, std::string& error);

// What an output path names, once its symbolic links are followed.
enum class OutputKind : uint8_t {
  StandardOutput,  // "-", where the caller lets it stand for standard output
  NewFile,         // nothing yet (a dangling link names the file it will create)
  RegularFile,     // replaced whole
  Stream,          // a character device, a FIFO or a socket: written as it is, in order
  Refused,         // a folder, a block device, a loop of links: never written
};

struct OutputTarget {
  OutputKind kind = OutputKind::NewFile;
  std::string resolved;   // the file written: the path with its symbolic links followed (for a
                          // stream, the path as given, which the system's open follows)
  std::string refusal;    // for Refused: "it is a folder", ...
  bool readOnly = false;  // a RegularFile whose mode lets no one write it (e.g. 0444)
};

// Where `path` leads: each symbolic link of the last component is followed (relative targets
// from the link's folder) until a name that is no link. `dashIsStdout`: "-" stands for standard
// output.
OutputTarget ResolveOutput(const std::string& path, bool dashIsStdout = false);

// How WriteOutput treats what it finds.
struct WriteOptions {
  bool dashIsStdout = false;  // "-" stands for standard output
  // A regular file whose mode lets no one write it is replaced all the same; the tools refuse
  // one unless --force is given.
  bool replaceReadOnly = true;
  // How long a FIFO that no process reads yet is waited for before the write fails ("no process
  // reads the FIFO"); a reader that comes within it gets the text.
  std::chrono::milliseconds readerWait{1000};
  // When not null and not 0 (a signal's number, set by a handler), the wait for a FIFO's reader
  // and a write blocked on a full FIFO end at once, failing with EINTR.
  const volatile std::sig_atomic_t* interrupt = nullptr;
};

// Writes `text` to the output `path`:
// - a regular file, or a name that does not exist yet, is replaced whole: the text goes into a
//   new file of a unique name beside the resolved target, which is then renamed over it. A
//   symbolic link stays a link and its target gets the text (a dangling link creates its
//   target). An existing file keeps its permissions (and, where allowed, its owner); a new one
//   gets the permissions any newly created file would.
// - a character device, a FIFO or a socket is opened and written as a stream: no temporary file,
//   no rename (a FIFO waits for its reader as long as options.readerWait says);
// - "-" with `dashIsStdout` is standard output;
// - a folder or a block device is refused.
// - a read-only regular file is refused ("it is read-only") unless options.replaceReadOnly.
// A failure leaves the old file (or nothing, where there was none) and no temporary file.
// False with `error` saying why ("it is a folder", "No space left on device").
bool WriteOutput(const std::string& path, std::string_view text, std::string& error,
                 const WriteOptions& options);
bool WriteOutput(const std::string& path, std::string_view text, std::string& error,
                 bool dashIsStdout = false);

// WriteOutput without standard output, for callers that report errno: false with errno set
// (EISDIR for a folder, EINVAL for a block device).
bool WriteWhole(const std::string& output, const std::string& text);

// Removes what a failed run must not leave behind at the output `path`: the regular file it
// leads to (through its links). A device, a FIFO or a folder is left alone.
void RemoveOutput(const std::string& path);

// Whether writing to the output `output` would replace or truncate the file `other` (an input,
// or another output): both lead to the same file (same device and inode), or, where one does
// not exist yet, to the same resolved path. An output that is a stream or standard output
// replaces no file.
bool SameOutputFile(const std::string& output, const std::string& other, bool dashIsStdout = false);

}  // namespace tervik::platform
