// tervik-as: assembles a source file into a listing for the emulator and tervik-run.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "Assembler.h"
#include "FileDescriptor.h"
#include "Version.h"

namespace {

namespace fs = std::filesystem;

constexpr int kExitFailed = 1;  // errors in the source, a file that cannot be read or written
constexpr int kExitUsage = 64;  // the command line, or an output that must not be written

std::string VersionText() {
  const tervik::platform::VersionRecord v = tervik::platform::ProgramVersion();
  return "tervik-as " + std::to_string(v.major) + "." + std::to_string(v.minor) + "." +
         std::to_string(v.release) + "." + std::to_string(v.build);
}

using Descriptor = tervik::platform::FileDescriptor;

// Reads a whole file into `text`. Only a regular file is read: a folder, a device such as
// /dev/zero or a FIFO would never end or block, and the open does not wait for a FIFO's writer.
// False with `error` saying why.
bool ReadRegularFile(const std::string& path, std::string& text, std::string& error) {
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  struct stat info {};
  if (fd.get() < 0 || fstat(fd.get(), &info) != 0) {
    error = std::strerror(errno);
    return false;
  }
  if (S_ISDIR(info.st_mode)) {
    error = "it is a folder";
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    error = "it is not a regular file";
    return false;
  }
  text.clear();
  char block[64 * 1024];
  for (;;) {
    const ssize_t got = ::read(fd.get(), block, sizeof block);
    if (got == 0) return true;
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error = std::strerror(errno);
      return false;
    }
    text.append(block, static_cast<size_t>(got));
  }
}

// Whether both paths exist and name the same file (through links, too).
bool SameFile(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  return fs::equivalent(a, b, ec) && !ec;
}

// Removes the file a listing is written to after a failure, so that an older listing does not
// pass for the result. Called only once the output was found fit to be replaced.
void RemoveStaleListing(const fs::path& output) {
  std::error_code ignored;
  fs::remove(output, ignored);
}

// Removes a temporary file unless it was renamed into place.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
  ~TemporaryFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  const std::string& path() const { return path_; }
  void Keep() { path_.clear(); }

 private:
  std::string path_;
};

// Writes `text` into a new file of a unique name beside `output`, then renames it over `output`:
// the listing is written whole or not at all, and two assemblies of the same output never share
// a temporary file. False with errno set.
bool WriteWhole(const fs::path& output, const std::string& text) {
  std::string name = output.string() + ".XXXXXX";
  Descriptor fd(mkostemp(name.data(), O_CLOEXEC));
  if (fd.get() < 0) return false;
  TemporaryFile temporary(name);
  // mkostemp creates the file for its owner alone; a listing gets the permissions any newly
  // created file would.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  if (fchmod(fd.get(), 0666 & ~mask) != 0) return false;
  for (size_t done = 0; done < text.size();) {
    const ssize_t put = ::write(fd.get(), text.data() + done, text.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return false;
    done += static_cast<size_t>(put);
  }
  if (!fd.Close()) return false;
  if (std::rename(temporary.path().c_str(), output.c_str()) != 0) return false;
  temporary.Keep();
  return true;
}

// Why the listing must not be written to `output`, or nothing when it may be. It may replace a
// regular file or name a new one, but never the source or a file the source includes: a
// failure would remove it, a success overwrite it.
std::optional<std::string> RefusedOutput(const fs::path& output, const fs::path& source,
                                         const std::vector<std::string>& included) {
  if (SameFile(output, source)) return "it is the source '" + source.string() + "'";
  for (const std::string& file : included) {
    if (SameFile(output, file)) return "it is the included file '" + file + "'";
  }
  std::error_code ec;
  const fs::file_status status = fs::status(output, ec);
  if (fs::exists(status) && !fs::is_regular_file(status)) return "it is not a regular file";
  return std::nullopt;
}

int Refuse(const fs::path& output, const std::string& why) {
  std::cerr << "tervik-as: will not write the listing '" << output.string() << "': " << why
            << "; name another with -o\n";
  return kExitUsage;
}

// Everything after the command line. `mayReplace` turns true once the output is known to be
// fit to replace: then a failure removes what is there.
int AssembleFile(const std::string& source, const fs::path& output, bool& mayReplace) {
  if (const auto why = RefusedOutput(output, source, {})) return Refuse(output, *why);

  std::string text;
  std::string error;
  if (!ReadRegularFile(source, text, error)) {
    std::cerr << "tervik-as: cannot read '" << source << "': " << error << "\n";
    mayReplace = true;  // it is not the source, and without the source no file is included
    return kExitFailed;
  }

  std::vector<std::string> included;
  const tervik::assembler::IncludeReader readFile =
      [&included](const std::string& path, std::string& why) -> std::optional<std::string> {
    std::string contents;
    if (!ReadRegularFile(path, contents, why)) return std::nullopt;
    included.push_back(path);
    return contents;
  };
  const tervik::assembler::Result result = tervik::assembler::Assemble(text, source, readFile);
  // Known only now: the files the source includes, which the output must not be either.
  if (const auto why = RefusedOutput(output, source, included)) return Refuse(output, *why);
  mayReplace = true;

  if (!result.errors.empty()) {
    for (const tervik::assembler::Diagnostic& d : result.errors) {
      std::cerr << tervik::assembler::FormatDiagnostic(source, d) << "\n";
    }
    std::cerr << result.errors.size() << (result.errors.size() == 1 ? " error" : " errors")
              << "; no listing written\n";
    return kExitFailed;
  }
  if (!WriteWhole(output, result.listing)) {
    std::cerr << "tervik-as: cannot write '" << output.string() << "': " << std::strerror(errno)
              << "\n";
    return kExitFailed;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app(
      "Assembles a Tervik source file into a listing that the emulator and tervik-run "
      "load.",
      "tervik-as");
  std::string source;
  std::string output;
  app.add_option("source", source, "The source file")->required();
  app.add_option("-o,--output", output,
                 "The listing to write (default: the source file with the extension .lst)");
  app.set_version_flag("--version", VersionText());
  app.footer(
      "Exit status: 0 when the listing was written; 1 on errors in the source, which are "
      "reported as FILE:LINE:COLUMN: error: TEXT, or when a file cannot be read or written "
      "(no listing is left behind then: an older one is removed); 64 for command-line errors "
      "and for a listing that would replace the source, a file it includes, or anything but a "
      "regular file (nothing is touched then).\n");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : kExitUsage;  // --help and --version are not errors
  }

  const fs::path outputPath =
      output.empty() ? fs::path(source).replace_extension(".lst") : fs::path(output);
  // Nothing may end the assembler without a word (running out of memory, for one).
  int status = kExitFailed;
  bool mayReplace = false;
  try {
    status = AssembleFile(source, outputPath, mayReplace);
  } catch (const std::exception& e) {
    std::cerr << "tervik-as: " << e.what() << "\n";
  } catch (...) {
    std::cerr << "tervik-as: unexpected failure\n";
  }
  // A failure leaves no listing behind; a refusal touched nothing.
  if (status == kExitFailed && mayReplace) RemoveStaleListing(outputPath);
  return status;
}
