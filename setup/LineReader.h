// Reads a text file as lines, each cut into pieces of at most 2047 characters, the way both
// input formats are read.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tervik {

class LineReader {
 public:
  // The longest piece of a line handed out at once (one 2048-byte line buffer).
  static constexpr size_t kPieceMax = 2047;

  // Opens `path` for reading; nullopt when it cannot be opened or is not a regular file. A
  // folder, a device such as /dev/zero or a FIFO would never end or block the caller, so only
  // regular files are read; the open itself does not wait for a FIFO's writer.
  static std::optional<LineReader> Open(const std::string& path);
  // Reads the lines of `text`, which must outlive the reader; nullopt when no memory stream can
  // be made of it.
  static std::optional<LineReader> FromText(std::string_view text);

  // The next piece, without the line end: a line feed ends a line, and a carriage return
  // directly before it belongs to the line end. A line longer than kPieceMax characters comes
  // as several pieces, the last possibly shorter; an empty line is one empty piece. False at
  // the end of the file (or on a read error). The view stays valid until the next call.
  bool Next(std::string_view& piece);
  // The number of the line (from 1) the last piece came from; pieces of one long line share it.
  size_t LineNumber() const { return line_; }

 private:
  struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };

  explicit LineReader(std::FILE* file);
  // Reads until at least `want` bytes are buffered past pos_, or the file ends.
  void Fill(size_t want);

  std::unique_ptr<std::FILE, FileCloser> file_;
  std::vector<char> buffer_;
  size_t pos_ = 0;
  size_t end_ = 0;
  bool atEof_ = false;
  size_t line_ = 0;
  bool midLine_ = false;  // the last piece was not the end of its line
};

}  // namespace tervik
