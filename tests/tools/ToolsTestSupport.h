// Helpers of the tool tests: running the built programs and reading files.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace tervik::test {

// What a finished program left behind.
struct ProgramRun {
  int exitCode = -1;
  std::string out;  // standard output
  std::string err;  // standard error
};

struct RunOptions {
  std::string stdoutPath;    // where standard output goes instead of being collected
  int timeoutSeconds = 120;  // then the program is killed and the exit code is -1
};

// Runs `program` with `args` (no shell interpretation) and collects its output.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const RunOptions& options = {});

// Reads the whole file into `text`; false when it cannot be read.
bool ReadFile(const std::string& path, std::string& text);

// How often `needle` occurs in `text`.
size_t CountOccurrences(const std::string& text, const std::string& needle);

// A FILE* that collects what is written to it in memory (RunTraced's output, for one).
class MemoryFile {
 public:
  MemoryFile() : file_(open_memstream(&data_, &size_)) {}
  ~MemoryFile() {
    if (file_ != nullptr) std::fclose(file_);
    std::free(data_);
  }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  std::FILE* get() const { return file_; }
  std::string Text() {
    std::fflush(file_);
    return std::string(data_, size_);
  }

 private:
  char* data_ = nullptr;
  size_t size_ = 0;
  std::FILE* file_;
};

}  // namespace tervik::test
