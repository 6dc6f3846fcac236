// Making the output targets and looking at them afterwards.
#include "OutputTargets.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace tervik::test {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kOldText = "old text\n";

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const fs::path& path, std::string_view text, mode_t mode) {
  std::ofstream(path, std::ios::binary) << text;
  ::chmod(path.c_str(), mode);
}

// Every name under `folder`, with subfolders, sorted.
std::vector<std::string> Entries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    names.push_back(entry.path().lexically_relative(folder).string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string Starts(const std::string& text, std::string_view prefix, const std::string& what) {
  if (text.starts_with(prefix)) return {};
  return what + " holds '" + text.substr(0, 60) + "', not '" + std::string(prefix) + "...'";
}

}  // namespace

std::string_view Name(OutputTarget target) {
  switch (target) {
    case OutputTarget::New: return "a new file";
    case OutputTarget::Regular: return "a regular file";
    case OutputTarget::LinkToFile: return "a link to a file";
    case OutputTarget::DanglingLink: return "a dangling link";
    case OutputTarget::Device: return "a device";
    case OutputTarget::Fifo: return "a FIFO";
    case OutputTarget::Folder: return "a folder";
    case OutputTarget::Input: return "an input";
  }
  return "?";
}

PreparedOutput::PreparedOutput(OutputTarget target, const fs::path& folder,
                               const std::string& input)
    : target_(target), folder_(folder), path_((folder / "out").string()) {
  fs::create_directories(folder / "fpga");
  switch (target) {
    case OutputTarget::New: break;
    case OutputTarget::Regular: WriteText(path_, kOldText, 0640); break;
    case OutputTarget::LinkToFile:
      WriteText(folder / "fpga" / "rom", kOldText, 0640);
      fs::create_symlink("fpga/rom", path_);
      break;
    case OutputTarget::DanglingLink: fs::create_symlink("fpga/rom", path_); break;
    case OutputTarget::Device: {
      if (::mknod(path_.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
        skip_ = std::string("mknod: ") + std::strerror(errno);
        break;
      }
      // A file system mounted nodev has the node but will not open it.
      const int fd = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC);
      if (fd < 0) skip_ = std::string("the device cannot be opened: ") + std::strerror(errno);
      if (fd >= 0) ::close(fd);
      break;
    }
    case OutputTarget::Fifo:
      if (::mkfifo(path_.c_str(), 0600) != 0) {
        skip_ = std::string("mkfifo: ") + std::strerror(errno);
        break;
      }
      // A reader in place lets the writer open the FIFO; what it writes waits in the pipe.
      fifoReader_ = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
      break;
    case OutputTarget::Folder: fs::create_directory(path_); break;
    case OutputTarget::Input:
      path_ = input;
      inputBefore_ = Contents(input);
      break;
  }
  entriesBefore_ = Entries(folder);
}

PreparedOutput::~PreparedOutput() {
  if (fifoReader_ >= 0) ::close(fifoReader_);
}

bool PreparedOutput::MustBeWritten() const {
  return target_ != OutputTarget::Folder && target_ != OutputTarget::Input;
}

std::string_view PreparedOutput::Refusal() const {
  return target_ == OutputTarget::Folder ? "it is a folder" : "it is the ";
}

std::string PreparedOutput::Check(std::string_view written) {
  struct stat info {};
  if (::lstat(path_.c_str(), &info) != 0) return "the output is gone";
  std::string problem;
  const auto mode = [](const fs::path& path) {
    struct stat file {};
    return ::stat(path.c_str(), &file) == 0 ? (file.st_mode & 07777) : 0u;
  };
  const fs::path target = folder_ / "fpga" / "rom";
  switch (target_) {
    case OutputTarget::New:
      if (!S_ISREG(info.st_mode)) return "no regular file was written";
      problem = Starts(Contents(path_), written, "the file");
      break;
    case OutputTarget::Regular:
      if (!S_ISREG(info.st_mode)) return "it is no regular file any more";
      if ((info.st_mode & 07777) != 0640) return "the file lost its mode 0640";
      problem = Starts(Contents(path_), written, "the file");
      break;
    case OutputTarget::LinkToFile:
    case OutputTarget::DanglingLink:
      if (!S_ISLNK(info.st_mode)) return "the link was replaced";
      if (fs::read_symlink(path_) != "fpga/rom") return "the link points elsewhere";
      if (!fs::is_regular_file(target)) return "the link's target is no regular file";
      if (target_ == OutputTarget::LinkToFile && mode(target) != 0640) {
        return "the link's target lost its mode 0640";
      }
      problem = Starts(Contents(target.string()), written, "the link's target");
      break;
    case OutputTarget::Device:
      if (!S_ISCHR(info.st_mode) || info.st_rdev != makedev(1, 3)) return "the device was replaced";
      break;
    case OutputTarget::Fifo: {
      if (!S_ISFIFO(info.st_mode)) return "the FIFO was replaced";
      std::string got;
      char block[4096];
      for (ssize_t n; (n = ::read(fifoReader_, block, sizeof block)) > 0;) {
        got.append(block, static_cast<size_t>(n));
      }
      problem = Starts(got, written, "the FIFO's reader");
      break;
    }
    case OutputTarget::Folder:
      if (!S_ISDIR(info.st_mode) || !fs::is_empty(path_)) return "the folder was changed";
      break;
    case OutputTarget::Input:
      if (Contents(path_) != inputBefore_) return "the input was changed";
      break;
  }
  if (!problem.empty()) return problem;
  // Nothing else appeared: no temporary file left beside the output or its target.
  std::vector<std::string> after = Entries(folder_);
  if (target_ == OutputTarget::New || target_ == OutputTarget::DanglingLink) {
    const std::string made = target_ == OutputTarget::New ? "out" : "fpga/rom";
    std::erase(after, made);
  }
  if (after != entriesBefore_) {
    std::string names, before;
    for (const std::string& name : after) names += " " + name;
    for (const std::string& name : entriesBefore_) before += " " + name;
    return "the folder holds:" + names + " instead of:" + before;
  }
  return {};
}

}  // namespace tervik::test
