// Shared helpers of the set-up tests: a recording console, a temporary folder, file writing
// and golden-file comparison.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "Console.h"

namespace tervik::test {

// Collects console lines; while it lives it is also the process-wide sink, so plug-in messages
// through ConsolePuts land in the same list as the loaders' lines.
class RecordingConsole : public ConsoleSink {
 public:
  RecordingConsole();
  ~RecordingConsole() override;
  RecordingConsole(const RecordingConsole&) = delete;
  RecordingConsole& operator=(const RecordingConsole&) = delete;

  void AppendLine(std::string_view line) override { lines.emplace_back(line); }
  // All lines, each followed by '\n'.
  std::string Text() const;

  std::vector<std::string> lines;

 private:
  ConsoleSink* previous_;
};

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Writes `content` byte for byte to `name` in the folder and returns the file's path.
  std::string Write(const std::string& name, std::string_view content) const;

 private:
  std::filesystem::path path_;
};

// Compares `actual` with golden/<name>. With TERVIK_UPDATE_GOLDEN=1 in the environment the
// golden file is rewritten instead and the comparison passes.
void ExpectGolden(const std::string& name, const std::string& actual);

// Replaces every occurrence of `from` in `text` with `to`.
std::string ReplaceAll(std::string text, std::string_view from, std::string_view to);

}  // namespace tervik::test
