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

// The options QApplication takes out of the command line itself, each with whether a value
// follows it. Qt accepts them with one dash or two.
struct QtOption {
  const char* name;
  bool value;
};
constexpr QtOption kQtOptions[] = {
    {"platform", true},      {"platformpluginpath", true},
    {"platformtheme", true}, {"plugin", true},
    {"qmljsdebugger", true}, {"qwindowgeometry", true},
    {"geometry", true},      {"qwindowtitle", true},
    {"title", true},         {"qwindowicon", true},
    {"icon", true},          {"display", true},
    {"name", true},          {"style", true},
    {"stylesheet", true},    {"session", true},
    {"reverse", false},      {"widgetcount", false},
    {"nograb", false},       {"dograb", false},
    {"sync", false},
};

}  // namespace

QStringList WithoutQtOptions(const QStringList& arguments) {
  QStringList kept;
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString& argument = arguments[i];
    if (argument == "--") {  // the rest are file names
      kept << arguments.mid(i);
      break;
    }
    if (i == 0 || !argument.startsWith('-')) {
      kept << argument;
      continue;
    }
    QString name = argument.mid(argument.startsWith("--") ? 2 : 1);
    const qsizetype equals = name.indexOf('=');
    const bool inlineValue = equals >= 0;
    if (inlineValue) name.truncate(equals);
    const QtOption* found = nullptr;
    for (const QtOption& option : kQtOptions) {
      if (name == QLatin1String(option.name)) found = &option;
    }
    if (!found) {
      kept << argument;
    } else if (found->value && !inlineValue && i + 1 < arguments.size()) {
      ++i;  // its value
    }
  }
  return kept;
}

QString UsageLine() {
  return "Usage: tervik [options] [FILE]";
}

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
  // The help option is ours rather than addHelpOption's, which would also offer --help-all for
  // Qt's own options, a text Qt can only write once the application object (and so a display)
  // exists. --help-all is still read, as --help.
  const QCommandLineOption help({"h", "help", "?"}, "Displays help on commandline options.");
  parser.addOption(help);
  QCommandLineOption helpAll("help-all");
  helpAll.setFlags(QCommandLineOption::HiddenFromHelp);
  parser.addOption(helpAll);
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
  if (parser.isSet(help) || parser.isSet(helpAll)) {
    StartOptions options;
    options.action = StartOptions::Action::Help;
    options.text = parser.helpText();
    // Without an application object Qt names the program "<executable_name>".
    const qsizetype end = options.text.indexOf('\n');
    options.text.replace(0, end, UsageLine());
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
