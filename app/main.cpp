// The program entry: the command line, the workspace, the main window, its create event, the
// About box, the event loop.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>

#include "CommandLine.h"
#include "Documents.h"
#include "PathNames.h"
#include "ProgramMenu.h"
#include "RecentFiles.h"
#include "Tfabout.h"
#include "Tfdebug.h"
#include "Tfmain.h"
#include "WindowSettings.h"
#include "Workspace.h"

// The window's resources (the logo) live in a static library; Q_INIT_RESOURCE must be used
// outside any namespace.
static void InitUiResources() {
  Q_INIT_RESOURCE(tervik_ui);
}

namespace {

using tervik::app::FileKind;
using tervik::app::StartOptions;

void Print(FILE* stream, const QString& text) {
  std::fputs(text.toLocal8Bit().constData(), stream);
}

// The program the first start in the workspace opens.
const QString kDemo = "hello.asm";

// A wrong command line: the error, the usage line and where to read more, on standard error.
int UsageError(const QString& error) {
  Print(stderr, "tervik: " + error + "\n" + tervik::app::UsageLine() + "\nTry 'tervik --help'.\n");
  return tervik::app::kUsageExitCode;
}

// A path given on the command line, taken relative to the folder the program was started in
// (the workspace may change the working folder before it is opened).
QString Absolute(const QString& path) {
  return path.isEmpty() ? path : QFileInfo(path).absoluteFilePath();
}

// --self-test: what an installed program found, for the install test. Prints the console lines and
// the manual's path; 0 when the manual exists.
int SelfTestReport() {
  QCoreApplication::processEvents();
  for (size_t i = 0; i < FDebug->Model()->LineCount(); ++i) {
    const std::string_view line = FDebug->Model()->Line(i);
    std::printf("console: %.*s\n", static_cast<int>(line.size()), line.data());
  }
  const std::filesystem::path manual = tervik::platform::ManualPath();
  const bool found = !manual.empty() && std::filesystem::is_regular_file(manual);
  std::printf("manual: %s (%s)\n", manual.c_str(), found ? "found" : "missing");
  std::printf("working folder: %s\n", QDir::currentPath().toLocal8Bit().constData());
  std::fflush(stdout);
  return found ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[]) {
  // Help, version and every command-line error are answered before the application object
  // exists, so they need no display. Qt's own options are set aside for the application object.
  {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const StartOptions early =
        tervik::app::ParseCommandLine(tervik::app::WithoutQtOptions(arguments));
    if (early.action == StartOptions::Action::Help ||
        early.action == StartOptions::Action::Version) {
      Print(stdout, early.text);
      return 0;
    }
    if (early.action == StartOptions::Action::Error) return UsageError(early.text);
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName("Tervik CPU Emulator");
  // The desktop entry's name, so that task bars and docks match the window to it
  // (org.tervik.Tervik.desktop).
  QGuiApplication::setDesktopFileName("org.tervik.Tervik");
  InitUiResources();
  QApplication::setWindowIcon(QIcon(":/tervik.svg"));

  // Qt has taken its own options (-platform, -style, ...) out of the arguments by now.
  StartOptions options = tervik::app::ParseCommandLine(QCoreApplication::arguments());
  if (options.action == StartOptions::Action::Error) return UsageError(options.text);
  options.map = Absolute(options.map);
  options.file = Absolute(options.file);

  // From the desktop entry: the user's workspace, created from the examples on the first start.
  // From a terminal: the working folder, whatever it holds.
  QString workspaceNote;
  bool firstStart = false;
  if (options.workspace) {
    const QString workspace = tervik::app::DefaultWorkspace();
    const tervik::app::WorkspaceResult prepared = tervik::app::PrepareWorkspace(
        workspace, tervik::app::ExamplesFolder(QCoreApplication::applicationDirPath()));
    if (!prepared.ok)
      workspaceNote = prepared.error;
    else if (!prepared.copied.isEmpty())
      workspaceNote = "Copied " + prepared.copied.join(", ") + " into the workspace " + workspace;
    // The first start shows a program rather than an empty machine: the demo, from its source.
    firstStart = prepared.copied.contains(kDemo);
    if (firstStart && !options.fileKind) {
      options.file = QDir(workspace).filePath(kDemo);
      options.fileKind = FileKind::Source;
    }
    QDir::setCurrent(workspace);
  }

  std::unique_ptr<TFMain> main;
  std::unique_ptr<TFAbout> about;
  try {
    main = std::make_unique<TFMain>();
    if (!options.selfTest) main->UseSettings(TWindowSettings::DefaultFile());
    if (!workspaceNote.isEmpty()) main->Message(workspaceNote.toStdString());
    // A map from the command line takes the place of default.map.
    main->FormCreate(options.map.isEmpty() ? QString("default.map") : options.map,
                     !options.map.isEmpty());
    if (!options.map.isEmpty()) main->Recent()->Note(options.map);  // opened again from there
    if (options.fileKind) {
      bool opened = false;
      switch (*options.fileKind) {
        // The program runs in the default.map of its folder, unless --map named a map.
        case FileKind::Listing:
          main->OpenListing(options.file, tervik::debug::OpenCause::Open, options.map.isEmpty());
          opened = true;
          break;
        case FileKind::Source:
          opened =
              main->Program()->OpenSource(tervik::platform::LocalPath(options.file),
                                          tervik::debug::OpenCause::Open, options.map.isEmpty());
          break;
        case FileKind::Map:  // carried in options.map
          break;
      }
      // A program opened at start-up: say what to press.
      if (opened && !main->Cpu().Regions().empty()) {
        main->Message(QFileInfo(options.file).fileName().toStdString() +
                      " is loaded: F9 runs it, F7 steps one instruction, Ctrl+F2 starts it over");
      }
    }
    about = std::make_unique<TFAbout>(main.get());
    FAbout = about.get();
    main->show();
  } catch (const std::exception& e) {
    // Start-up failed: say why, and tell the caller it failed.
    QMessageBox::critical(nullptr, "Tervik CPU Emulator", QString::fromLocal8Bit(e.what()));
    return 1;
  } catch (...) {
    QMessageBox::critical(nullptr, "Tervik CPU Emulator", "The program could not start.");
    return 1;
  }
  const int code = options.selfTest ? SelfTestReport() : QApplication::exec();
  FAbout = nullptr;
  about.reset();
  return code;
}
