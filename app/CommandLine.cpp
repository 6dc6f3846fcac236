#include "CommandLine.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

#include "Version.h"

namespace tervik::app {

namespace {

QString Latin1(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString KnownKinds() {
  QStringList kinds;
  for (const FileType& type : kFileTypes) kinds << Latin1(type.description);
  return kinds.join(", ");
}

StartOptions Fail(const QString& message) {
  StartOptions options;
  options.action = StartOptions::Action::Error;
  options.text = message;
  return options;
}

}  // namespace

std::optional<FileKind> KindOfFile(const QString& path) {
  for (const FileType& type : kFileTypes) {
    if (path.endsWith(Latin1(type.extension), Qt::CaseInsensitive)) return type.kind;
  }
  return std::nullopt;
}

QString VersionLine() {
  const platform::VersionRecord v = platform::ProgramVersion();
  return QString::asprintf("tervik %u.%u.%u.%u", unsigned{v.major}, unsigned{v.minor},
                           unsigned{v.release}, unsigned{v.build});
}

StartOptions ParseCommandLine(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      "Tervik CPU Emulator: runs and debugs programs for the Tervik CPU in a window.\n"
      "Without --map the window loads default.map from the working folder.");
  const QCommandLineOption help = parser.addHelpOption();
  const QCommandLineOption version({"v", "version"}, "Displays version information.");
  parser.addOption(version);
  const QCommandLineOption map(
      {"m", "map"}, "Loads the memory map FILE (default: default.map of the working folder).",
      "FILE");
  parser.addOption(map);
  const QCommandLineOption workspace(
      "workspace",
      "Starts in the workspace ~/Tervik, which the first start fills with the examples (the "
      "desktop entry starts the program this way).");
  parser.addOption(workspace);
  QCommandLineOption selfTest("self-test");
  selfTest.setFlags(QCommandLineOption::HiddenFromHelp);
  parser.addOption(selfTest);
  parser.addPositionalArgument("FILE", "A file to open: " + KnownKinds() + ".", "[FILE]");

  const bool parsed = parser.parse(arguments);
  // Help and version win over every error, so that they answer whatever else was given.
  // (addHelpOption also adds --help-all, for Qt's own options; it is answered the same way.)
  if (parser.isSet(help) || parser.isSet("help-all")) {
    StartOptions options;
    options.action = StartOptions::Action::Help;
    options.text = parser.helpText();
    // Without an application object Qt names the program "<executable_name>".
    const qsizetype end = options.text.indexOf('\n');
    options.text.replace(0, end, "Usage: tervik [options] [FILE]");
    return options;
  }
  if (parser.isSet(version)) {
    StartOptions options;
    options.action = StartOptions::Action::Version;
    options.text = VersionLine() + "\n";
    return options;
  }
  if (!parsed) return Fail(parser.errorText());

  StartOptions options;
  options.workspace = parser.isSet(workspace);
  options.selfTest = parser.isSet(selfTest);
  options.map = parser.value(map);
  if (parser.isSet(map) && options.map.isEmpty()) return Fail("--map needs a file name.");
  const QStringList files = parser.positionalArguments();
  if (files.size() > 1) return Fail("Give one FILE at most; got " + files.join(", ") + ".");
  if (files.size() == 1) {
    const QString& file = files.front();
    const std::optional<FileKind> kind = KindOfFile(file);
    if (!kind) return Fail("'" + file + "' is none of " + KnownKinds() + ".");
    if (*kind == FileKind::Map) {
      if (!options.map.isEmpty())
        return Fail("Two memory maps: --map " + options.map + " and " + file + ".");
      options.map = file;
    } else {
      options.file = file;
      options.fileKind = kind;
    }
  }
  return options;
}

}  // namespace tervik::app
