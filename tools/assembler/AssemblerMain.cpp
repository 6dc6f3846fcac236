// tervik-as: assembles a source file into a listing for the emulator and tervik-run.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>

#include "Assembler.h"
#include "Version.h"

namespace {

std::string VersionText() {
  const tervik::platform::VersionRecord v = tervik::platform::ProgramVersion();
  return "tervik-as " + std::to_string(v.major) + "." + std::to_string(v.minor) + "." +
         std::to_string(v.release) + "." + std::to_string(v.build);
}

int Fail(const std::string& what, const std::filesystem::path& path) {
  std::cerr << "tervik-as: " << what << " '" << path.string() << "': " << std::strerror(errno)
            << "\n";
  return 1;
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
      "(no listing is left behind then); 64 for command-line errors.\n");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 64;  // --help and --version are not errors
  }

  const std::filesystem::path sourcePath(source);
  const std::filesystem::path outputPath =
      output.empty() ? std::filesystem::path(sourcePath).replace_extension(".lst")
                     : std::filesystem::path(output);

  std::ifstream in(sourcePath, std::ios::binary);
  if (!in) return Fail("cannot read", sourcePath);
  std::ostringstream text;
  text << in.rdbuf();

  const tervik::assembler::IncludeReader readFile =
      [](const std::string& path, std::string& error) -> std::optional<std::string> {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
      error = "it is a folder";
      return std::nullopt;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
      error = std::strerror(errno);
      return std::nullopt;
    }
    std::ostringstream contents;
    contents << file.rdbuf();
    return contents.str();
  };
  const tervik::assembler::Result result =
      tervik::assembler::Assemble(text.str(), source, readFile);
  if (!result.errors.empty()) {
    for (const tervik::assembler::Diagnostic& d : result.errors) {
      std::cerr << tervik::assembler::FormatDiagnostic(source, d) << "\n";
    }
    std::cerr << result.errors.size() << (result.errors.size() == 1 ? " error" : " errors")
              << "; no listing written\n";
    std::error_code ignored;
    std::filesystem::remove(outputPath, ignored);  // a stale listing would hide the failure
    return 1;
  }

  // Written beside the target and renamed over it, so a failed write leaves no partial listing.
  std::filesystem::path temporary = outputPath;
  temporary += ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return Fail("cannot write", temporary);
    out << result.listing;
    out.close();
    if (!out) {
      const int saved = errno;
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      errno = saved;
      return Fail("cannot write", temporary);
    }
  }
  std::error_code ec;
  std::filesystem::rename(temporary, outputPath, ec);
  if (ec) {
    std::cerr << "tervik-as: cannot write '" << outputPath.string() << "': " << ec.message()
              << "\n";
    std::filesystem::remove(temporary, ec);
    return 1;
  }
  return 0;
}
