// The kinds of file an output may name, for the tests of every tool and dialog that writes one:
// each is made in a folder, handed to the writer, and the folder is checked afterwards.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tervik::test {

enum class OutputTarget {
  New,           // nothing there yet
  Regular,       // an older file, mode 0640
  LinkToFile,    // a symbolic link to an older file (mode 0640) in a subfolder
  DanglingLink,  // a symbolic link to a file not there yet
  Device,        // a character device made with mknod (the null device)
  Fifo,          // a FIFO with a reader waiting
  Folder,        // a folder
  Input,         // one of the writer's own inputs
};

inline constexpr OutputTarget kAllOutputTargets[] = {
    OutputTarget::New,          OutputTarget::Regular, OutputTarget::LinkToFile,
    OutputTarget::DanglingLink, OutputTarget::Device,  OutputTarget::Fifo,
    OutputTarget::Folder,       OutputTarget::Input,
};

std::string_view Name(OutputTarget target);

// One target made in a folder. A FIFO's reader stays open (without blocking) while it lives.
class PreparedOutput {
 public:
  // Makes `target` as "out" in `folder` (for Input: takes `input`, which exists). `skip` says
  // why the target cannot be made here (mknod needs root and a file system that allows
  // devices).
  PreparedOutput(OutputTarget target, const std::filesystem::path& folder,
                 const std::string& input);
  ~PreparedOutput();
  PreparedOutput(const PreparedOutput&) = delete;
  PreparedOutput& operator=(const PreparedOutput&) = delete;

  const std::string& path() const { return path_; }
  const std::string& skip() const { return skip_; }
  // Whether a writer must write this target (else it must refuse it).
  bool MustBeWritten() const;
  // What a refusal's message holds: "it is a folder", "it is the".
  std::string_view Refusal() const;
  // Checks the folder after the writer ran: what it wrote starts with `written` (when it had to
  // write), every link and device is still what it was, the older file keeps its mode, no
  // temporary file is left, and a refused target is untouched. Empty when all is well, else
  // what is wrong.
  std::string Check(std::string_view written);

 private:
  OutputTarget target_;
  std::filesystem::path folder_;
  std::string path_;
  std::string skip_;
  std::string inputBefore_;
  std::vector<std::string> entriesBefore_;
  int fifoReader_ = -1;
};

}  // namespace tervik::test
