// Helpers of the set-up tests.
#include "SetupTestSupport.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace tervik::test {

RecordingConsole::RecordingConsole() : previous_(GetConsoleSink()) {
  SetConsoleSink(this);
}

RecordingConsole::~RecordingConsole() {
  SetConsoleSink(previous_);
}

std::string RecordingConsole::Text() const {
  std::string text;
  for (const std::string& line : lines) text += line + '\n';
  return text;
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tervik-setup-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string TempDir::Write(const std::string& name, std::string_view content) const {
  const std::filesystem::path file = path_ / name;
  std::ofstream out(file, std::ios::binary);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  return file.string();
}

void ExpectGolden(const std::string& name, const std::string& actual) {
  const std::filesystem::path file = std::filesystem::path(TERVIK_GOLDEN_DIR) / name;
  const char* update = std::getenv("TERVIK_UPDATE_GOLDEN");
  if (update != nullptr && std::string_view(update) == "1") {
    std::ofstream out(file, std::ios::binary);
    out << actual;
    return;
  }
  std::ifstream in(file, std::ios::binary);
  ASSERT_TRUE(in) << "missing golden file " << file << " (run with TERVIK_UPDATE_GOLDEN=1)";
  std::ostringstream expected;
  expected << in.rdbuf();
  EXPECT_EQ(expected.str(), actual) << "differs from " << file;
}

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

}  // namespace tervik::test
