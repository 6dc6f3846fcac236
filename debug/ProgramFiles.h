// The files of a program beside each other: a source X.asm, its listing X.lst and its symbol
// file X.sym, with the line table X.lines. Assembling a source into its listing and symbols, and
// loading symbols into a session, with the console lines that tell the user what happened.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Assembler.h"
#include "Session.h"

namespace tervik::debug {

// X.sym for X.lst (or for any path: its extension replaced).
std::string SymbolPathFor(const std::string& path);

// `path` as the console shows it: relative to the working folder when the file lies in it
// (after a listing is opened, its folder), so "sum.sym" rather than the whole path.
std::string ShownPath(const std::string& path);

// Reads the symbol file at `path` into the session and returns the console lines about it:
// "Loaded 12 symbols from X.sym", the lines that could not be read, and how many labels name
// addresses no memory region serves. A file that cannot be used leaves the session without
// symbols; when it does not exist and `required` is false, that is said with no line at all. A
// symbol file that names another listing than the session's (Session::ListingFingerprint) is
// not used either, and one line says so.
std::vector<std::string> LoadSymbols(Session& session, const std::string& path, bool required,
                                     bool moveBreakpoints = false);

// Why the symbols read from `symbolsPath` must not be used with the listing file at
// `listingPath`: their "; listing" line names other words than the listing carries. Nothing when
// they may be used (a file without that line belongs to any listing; a listing that cannot be
// read is reported by its loader).
std::optional<std::string> ForeignSymbols(const SymbolFileResult& symbols,
                                          const std::string& symbolsPath,
                                          const std::string& listingPath);

// X.lines for X.lst (or for any path: its extension replaced).
std::string LinesPathFor(const std::string& path);

// Reads the line table at `path` into the session and returns console lines about what could
// not be read. A missing file leaves the session without lines, silently: programs assembled
// before line tables existed load as before.
// With `moveBreakpoints`, the next LoadSymbols moves breakpoints by line (Session::SetLines).
std::vector<std::string> LoadLines(Session& session, const std::string& path,
                                   bool moveBreakpoints = false);

struct SourceBuild {
  bool ok = false;
  std::vector<std::string> messages;  // "FILE:LINE:COLUMN: error: TEXT", or why a file failed
  // The errors of `messages` that name a line, each with its file's path as read (never empty).
  std::vector<assembler::Diagnostic> diagnostics;
  std::string listingPath;
  std::string symbolsPath;
  std::string linesPath;
  // The source and every file it includes, as named: also those it tried to include and could
  // not read, which a later save may create.
  std::vector<std::string> files;
};

// Texts that stand for files not yet saved (an editor's buffers), by the files' normal paths
// (std::filesystem::path::lexically_normal of the absolute path).
using SourceTexts = std::map<std::string, std::string, std::less<>>;

// Assembles the source file at `path` and writes its listing, symbol file and line table beside
// it, each whole or not at all. On an error nothing is written. A file named in `texts` is read
// from there instead of from the disk.
SourceBuild BuildSource(const std::string& path, const SourceTexts& texts = {});

}  // namespace tervik::debug
