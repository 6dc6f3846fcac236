// Assembling a program from its source, and loading its symbols.
#include "ProgramFiles.h"

#include <filesystem>
#include <optional>

#include "Assembler.h"
#include "Files.h"
#include "Inspection.h"
#include "Listing.h"
#include "SourceReader.h"

namespace tervik::debug {

std::string SymbolPathFor(const std::string& path) {
  return std::filesystem::path(path).replace_extension(".sym").string();
}

std::string ShownPath(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path file(path);
  const std::filesystem::path here = std::filesystem::current_path(ec);
  if (ec || !file.is_absolute()) return path;
  const std::filesystem::path relative = file.lexically_relative(here);
  if (relative.empty() || *relative.begin() == "..") return path;
  return relative.string();
}

std::string LinesPathFor(const std::string& path) {
  return std::filesystem::path(path).replace_extension(".lines").string();
}

std::vector<std::string> LoadLines(Session& session, const std::string& path,
                                   bool moveBreakpoints) {
  std::vector<std::string> lines;
  std::error_code ec;
  LineTableResult result;
  if (std::filesystem::exists(path, ec)) result = ReadLineTable(path);
  if (!result.failure.empty()) {
    lines.push_back("Cannot load source lines from '" + ShownPath(path) + "': " + result.failure);
  }
  for (const std::string& error : result.errors) lines.push_back(ShownPath(path) + ": " + error);
  if (result.badLines > result.errors.size()) {
    lines.push_back(ShownPath(path) + ": " +
                    std::to_string(result.badLines - result.errors.size()) +
                    " more lines that are not line records");
  }
  session.SetLines(std::move(result.table), moveBreakpoints);
  return lines;
}

std::vector<std::string> LoadSymbols(Session& session, const std::string& path, bool required,
                                     bool moveBreakpoints) {
  std::vector<std::string> lines;
  std::error_code ec;
  if (!required && !std::filesystem::exists(path, ec)) {
    session.SetSymbols({});
    return lines;
  }
  SymbolFileResult result = ReadSymbolFile(path);
  if (!result.read) {
    session.SetSymbols({});
    lines.push_back("Cannot load symbols from '" + path + "': " + result.failure);
    return lines;
  }
  if (const std::optional<uint64_t> listing = session.ListingFingerprint();
      listing && !result.BelongsTo(*listing)) {
    session.SetSymbols({});
    lines.push_back("Symbols not loaded: '" + path +
                    "' belongs to another listing than the one loaded; assemble the source again");
    return lines;
  }
  for (const std::string& error : result.errors) lines.push_back(path + ": " + error);
  if (result.badLines > result.errors.size()) {
    lines.push_back(path + ": " + std::to_string(result.badLines - result.errors.size()) +
                    " more lines that are not symbols");
  }
  size_t outside = 0;
  for (const SymbolEntry& e : result.table.Entries()) {
    if (!e.label) continue;
    if (!IsMapped(session.Cpu(), e.value)) ++outside;
  }
  const size_t count = result.table.size();
  lines.push_back("Loaded " + std::to_string(count) + (count == 1 ? " symbol" : " symbols") +
                  " from " + ShownPath(path));
  if (outside > 0) {
    lines.push_back(std::to_string(outside) + (outside == 1 ? " label names" : " labels name") +
                    " an address no memory region serves");
  }
  session.SetSymbols(std::move(result.table), moveBreakpoints);
  return lines;
}

std::optional<std::string> ForeignSymbols(const SymbolFileResult& symbols,
                                          const std::string& symbolsPath,
                                          const std::string& listingPath) {
  if (!symbols.listing) return std::nullopt;
  std::string text;
  std::string error;
  if (!platform::ReadRegularFile(listingPath, text, error)) return std::nullopt;
  if (symbols.BelongsTo(ListingFingerprint(text))) return std::nullopt;
  return "the symbol file '" + symbolsPath + "' belongs to another listing than '" + listingPath +
         "' (assemble the source again); its symbols are not used";
}

SourceBuild BuildSource(const std::string& path, const SourceTexts& texts) {
  SourceBuild build;
  // An editor's text where there is one, else the file.
  auto readText = [&texts](const std::string& file, std::string& contents, std::string& why) {
    const auto given = texts.find(std::filesystem::path(file).lexically_normal().string());
    if (given != texts.end()) {
      contents = given->second;
      return true;
    }
    return platform::ReadRegularFile(file, contents, why, assembler::kMaxSourceBytes);
  };
  std::string text;
  std::string error;
  if (!readText(path, text, error)) {
    build.messages.push_back("Cannot read '" + path + "': " + error);
    return build;
  }
  build.files.push_back(path);
  const assembler::IncludeReader read =
      [&build, &readText](const std::string& file, std::string& why) -> std::optional<std::string> {
    // Tried or read, the file counts: one that is missing now may be created later.
    build.files.push_back(file);
    std::string contents;
    if (!readText(file, contents, why)) return std::nullopt;
    return contents;
  };
  const assembler::Result result = assembler::Assemble(text, path, read);
  if (!result.errors.empty()) {
    for (const assembler::Diagnostic& d : result.errors) {
      for (std::string& line : assembler::DiagnosticLines(path, d)) {
        build.messages.push_back(std::move(line));
      }
      if (d.line == 0) continue;
      build.diagnostics.push_back(d);
      if (build.diagnostics.back().file.empty()) build.diagnostics.back().file = path;
    }
    return build;
  }
  build.listingPath = std::filesystem::path(path).replace_extension(".lst").string();
  build.symbolsPath = SymbolPathFor(path);
  build.linesPath = LinesPathFor(path);
  // The outputs must not replace what was just read.
  for (const std::string& output : {build.listingPath, build.symbolsPath, build.linesPath}) {
    for (const std::string& input : build.files) {
      std::error_code ec;
      if (output == input || std::filesystem::equivalent(output, input, ec)) {
        build.messages.push_back("Will not write '" + output +
                                 "': it is the source or a file "
                                 "it includes");
        return build;
      }
    }
  }
  for (const auto& [file, contents] :
       {std::pair{build.listingPath, result.listing},
        std::pair{
            build.symbolsPath,
            FormatSymbolFile(result.symbols, ListingFingerprint(result.listing), result.uses)},
        std::pair{build.linesPath,
                  FormatLineTable(assembler::MakeLineTable(result),
                                  std::filesystem::path(build.linesPath).parent_path())}}) {
    std::string why;
    if (!platform::WriteOutput(file, contents, why)) {
      build.messages.push_back("Cannot write '" + file + "': " + why);
      return build;
    }
  }
  build.ok = true;
  return build;
}

}  // namespace tervik::debug
