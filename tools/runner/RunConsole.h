// The console of tervik-run's runs: where the loaders' and the program's lines go.
#pragma once

#include <cerrno>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Console.h"
#include "JUnit.h"

namespace tervik::runner {

// Console lines go to standard error, the loaders' while a run is being set up (kept back and
// dropped with --quiet, unless the load fails), the program's while it runs (to --output when
// given, and the last part of them kept for the report, so that memory stays bounded whatever
// the program prints). While it lives it is the process-wide sink behind ConsolePuts.
class RunConsole final : public ConsoleSink {
 public:
  RunConsole(bool quiet, std::FILE* output) : quiet_(quiet), output_(output) {
    SetConsoleSink(this);
  }
  ~RunConsole() override { SetConsoleSink(nullptr); }
  RunConsole(const RunConsole&) = delete;
  RunConsole& operator=(const RunConsole&) = delete;

  void AppendLine(std::string_view line) override {
    if (running_) {
      if (output_ != nullptr) {
        if (!Write(output_, line) && outputError_ == 0) outputError_ = errno;
      } else {
        Write(stderr, line);
      }
      program_.Append(line);
      program_.Append("\n");
    } else if (holding_) {
      held_.emplace_back(line);
    } else if (quiet_) {
      loader_.append(line).push_back('\n');
    } else {
      Write(stderr, line);
    }
  }
  // The load failed: its lines are shown even with --quiet.
  void ShowLoaderLines() {
    std::fputs(loader_.c_str(), stderr);
    loader_.clear();
  }
  // Keeps every line back until TakeHeld, whatever --quiet says, for the caller to decide.
  void Hold() { holding_ = true; }
  std::vector<std::string> TakeHeld() {
    holding_ = false;
    return std::exchange(held_, {});
  }
  // From here on the lines are the program's.
  void StartRun() {
    running_ = true;
    loader_.clear();
  }
  // Writes out what --output still holds: 0, or the errno of the first write to it that failed.
  int FinishOutput() {
    if (output_ != nullptr && std::fflush(output_) != 0 && outputError_ == 0) outputError_ = errno;
    if (output_ != nullptr && std::ferror(output_) && outputError_ == 0) outputError_ = EIO;
    return outputError_;
  }
  // The program's output as the report keeps it; `cut` receives the bytes left out before it.
  std::string TakeProgramOutput(uint64_t& cut) {
    running_ = false;
    return program_.Take(cut);
  }

 private:
  // False, with errno set, when the stream refused the line.
  static bool Write(std::FILE* out, std::string_view line) {
    return std::fwrite(line.data(), 1, line.size(), out) == line.size() &&
           std::fputc('\n', out) != EOF;
  }

  bool quiet_;
  std::FILE* output_;
  int outputError_ = 0;
  bool running_ = false;
  bool holding_ = false;
  std::string loader_;
  std::vector<std::string> held_;
  OutputTail program_;
};

}  // namespace tervik::runner
