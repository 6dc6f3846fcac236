// The window's command line: tervik [--map FILE] [--workspace] [FILE], with --help and --version.
// Parsing needs no QCoreApplication, so that --help and --version answer without a display.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <string_view>

namespace tervik::app {

// What a FILE on the command line is, known by its extension. Adding a kind is one row in
// kFileTypes, one enumerator here and one case where main opens it.
enum class FileKind { Listing, Map, Source };

struct FileType {
  std::string_view extension;  // lower case, with the dot; compared without regard to case
  FileKind kind;
  std::string_view description;  // for messages: "a listing (.lst)"
};

inline constexpr FileType kFileTypes[] = {
    {".lst", FileKind::Listing, "a listing (.lst)"},
    {".map", FileKind::Map, "a memory map (.map)"},
    {".asm", FileKind::Source, "a source (.asm)"},
};

// The kind of `path` by its extension; nullopt for any other.
std::optional<FileKind> KindOfFile(const QString& path);

struct StartOptions {
  enum class Action {
    Start,    // open the window
    Help,     // print `text` to standard output and end with 0
    Version,  // the same
    Error,    // print `text` to standard error and end with kUsageExitCode
  };
  Action action = Action::Start;
  QString text;
  QString map;   // --map FILE, or a FILE of kind Map; empty: default.map of the working folder
  QString file;  // FILE, when it is not a map
  std::optional<FileKind> fileKind;
  bool workspace = false;  // --workspace: start in the user's workspace (the desktop entry)
  bool selfTest = false;   // --self-test (hidden): print the console and the manual, then end
};

// The exit code of a wrong command line (as tervik-run's).
inline constexpr int kUsageExitCode = 64;

// Reads `arguments` (the program name first, as QCoreApplication::arguments gives them).
StartOptions ParseCommandLine(const QStringList& arguments);

// `arguments` without the options QApplication takes for itself (-platform NAME, -style NAME,
// -reverse, ...; with one dash or two, the value after a blank or an '='), so that the command
// line can be judged before the application object, which needs a display, exists.
QStringList WithoutQtOptions(const QStringList& arguments);

// "Usage: tervik [options] [FILE]": the first line of --help and of every command-line error.
QString UsageLine();

// "tervik 1.0.0.0": the first line of --version.
QString VersionLine();

}  // namespace tervik::app
