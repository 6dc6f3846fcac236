// Buffered line reading with a look-ahead of two characters past a full piece, so that a CR LF
// right after 2047 characters still counts as the line end.
#include "LineReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "FileDescriptor.h"

namespace tervik {

namespace {
constexpr size_t kBlock = 64 * 1024;
// A full piece, a CR and the LF: enough to decide where the current piece ends.
constexpr size_t kLookahead = LineReader::kPieceMax + 2;

using Descriptor = tervik::platform::FileDescriptor;
}  // namespace

std::optional<LineReader> LineReader::Open(const std::string& path) {
  // Non-blocking, so that opening a FIFO without a writer returns at once instead of waiting;
  // regular files read the same either way. The descriptor is closed on every early return.
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) return std::nullopt;
  struct stat info {};
  if (fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  std::FILE* file = fdopen(fd.get(), "rb");
  if (file == nullptr) return std::nullopt;
  fd.release();  // the stream closes it now
  return LineReader(file);
}

std::optional<LineReader> LineReader::FromText(std::string_view text) {
  // A memory stream of no bytes is refused by some C libraries: one of "/dev/null" reads the
  // same nothing.
  std::FILE* file = text.empty() ? std::fopen("/dev/null", "rb")
                                 : fmemopen(const_cast<char*>(text.data()), text.size(), "rb");
  if (file == nullptr) return std::nullopt;
  return LineReader(file);
}

LineReader::LineReader(std::FILE* file) : file_(file), buffer_(kBlock + kLookahead) {}

void LineReader::Fill(size_t want) {
  if (end_ - pos_ >= want || atEof_) return;
  // Keep the unread rest at the front, then read whole blocks behind it.
  std::memmove(buffer_.data(), buffer_.data() + pos_, end_ - pos_);
  end_ -= pos_;
  pos_ = 0;
  while (end_ < want && !atEof_) {
    const size_t got = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_.get());
    end_ += got;
    if (got == 0) atEof_ = true;
  }
}

bool LineReader::Next(std::string_view& piece) {
  Fill(kLookahead);
  const size_t available = end_ - pos_;
  if (available == 0) return false;
  if (!midLine_) ++line_;
  midLine_ = false;
  const char* begin = buffer_.data() + pos_;
  const size_t scan = available < kLookahead ? available : kLookahead;
  const void* lf = std::memchr(begin, '\n', scan);
  if (lf != nullptr) {
    const size_t length = static_cast<const char*>(lf) - begin;
    size_t text = length;
    if (text > 0 && begin[text - 1] == '\r') --text;
    if (text <= kPieceMax) {
      piece = std::string_view(begin, text);
      pos_ += length + 1;
      return true;
    }
  } else if (available <= kPieceMax) {
    // The last line of a file that does not end in a line feed.
    piece = std::string_view(begin, available);
    pos_ = end_;
    return true;
  }
  // More than kPieceMax characters before the line end: hand out a full piece, the rest of the
  // line follows as pieces of its own.
  piece = std::string_view(begin, kPieceMax);
  pos_ += kPieceMax;
  midLine_ = true;
  return true;
}

}  // namespace tervik
