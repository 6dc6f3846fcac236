// Shared pieces of the fuzz targets: the input as a file, a console that only counts, and
// peripheral modules that exist only in memory.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "Console.h"
#include "DynamicLibrary.h"

namespace tervik::fuzz {

// Aborts with a message: an invariant the input broke.
[[noreturn]] inline void Broken(const char* what) {
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

// Checks every console line against the length limit.
class CheckingConsole final : public ConsoleSink {
 public:
  void AppendLine(std::string_view line) override {
    if (line.size() > kConsoleLineMax) Broken("console line longer than its buffer");
    ++lines;
    last.assign(line);
  }
  size_t lines = 0;
  std::string last;
};

// The fuzz input written to a file of its own (the loaders read files), removed afterwards.
class InputFile {
 public:
  InputFile(const uint8_t* data, size_t size) {
    path_ = "/dev/shm/tervik-fuzz-" + std::to_string(getpid());
    if (std::FILE* f = std::fopen(path_.c_str(), "wb")) {
      if (size > 0) std::fwrite(data, 1, size, f);
      std::fclose(f);
    }
  }
  ~InputFile() { std::remove(path_.c_str()); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Module names starting with "missing" lack Clock; names starting with "absent" cannot be
// loaded at all; every other name loads a module whose entry points do nothing harmful.
class FakeLibraryLoader final : public platform::DynamicLibraryLoader {
 public:
  Result Load(const std::string& path) override;
};

}  // namespace tervik::fuzz
