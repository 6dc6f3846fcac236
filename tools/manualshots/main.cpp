// tervik_manualshots: the screenshots of the manual's tutorial, taken at build time from the real
// main window on the offscreen platform, so the manual always shows the current program.
//   tervik_manualshots OUTDIR MAP BUGGY.lst FIXED.lst
// Walks through the tutorial of docs/manual/07-tutorial.md with the window's own commands and
// writes one PNG per step into OUTDIR (their names are those the chapter shows).
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <cstdio>
#include <string>

#include "Tfbreakpoints.h"
#include "Tfcpu.h"
#include "Tfmain.h"
#include "Tfmem.h"
#include "Tfreg.h"

namespace {

// The build should be quiet when it succeeds.
void QuietMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtDebugMsg || type == QtInfoMsg) return;
  if (message.startsWith("QStandardPaths:") || message.contains("propagateSizeHints")) return;
  std::fprintf(stderr, "%s\n", qPrintable(message));
}

void Settle() {
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

bool Save(QWidget* widget, const QString& path) {
  Settle();
  const QPixmap shot = widget->grab();
  if (shot.isNull() || !shot.save(path, "PNG")) {
    std::fprintf(stderr, "tervik_manualshots: cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char* argv[]) {
  qInstallMessageHandler(QuietMessages);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setApplicationName("Tervik CPU Emulator");
  const QStringList args = QApplication::arguments();
  if (args.size() != 5) {
    std::fprintf(stderr, "usage: tervik_manualshots OUTDIR MAP BUGGY.lst FIXED.lst\n");
    return 2;
  }
  const QDir out(args[1]);
  if (!QDir().mkpath(out.path())) return 1;
  // The tutorial's folder: the map is default.map in the working directory, as for a user.
  const QString folder = QFileInfo(args[2]).absolutePath();
  const std::string buggy = QFileInfo(args[3]).absoluteFilePath().toStdString();
  const std::string fixed = QFileInfo(args[4]).absoluteFilePath().toStdString();
  QDir::setCurrent(folder);

  bool ok = true;
  {
    TFMain main;
    main.resize(960, 640);
    main.FormCreate();
    main.show();
    Settle();
    // Wide enough for the disassembly's comments.
    main.resizeDocks({FCPU, FReg}, {560, 400}, Qt::Horizontal);

    // Load the listing: the disassembly shows the program, pc on the first word.
    main.LoadListing(buggy);
    main.RefreshViews();
    ok = Save(&main, out.filePath("tutorial-loaded.png")) && ok;

    // Four steps with F7: the last, ADD, changes R2 (drawn in red).
    for (int i = 0; i < 4; ++i) main.ActionStep->trigger();
    ok = Save(&main, out.filePath("tutorial-step.png")) && ok;

    // A breakpoint on the ADD (address 3); Reset and Run stop there with R2 not yet changed.
    main.ActionReset->trigger();
    main.ToggleBreakpoint(3);
    main.ActionRun->trigger();
    main.ActionShowBreakpoints->trigger();
    main.RefreshViews();
    ok = Save(&main, out.filePath("tutorial-breakpoint.png")) && ok;
    if (QWidget* breakpoints = main.BreakpointsWindow(); breakpoints != nullptr) {
      if (breakpoints->isWindow()) {
        ok = Save(breakpoints, out.filePath("tutorial-breakpoints-window.png")) && ok;
      }
      breakpoints->hide();
    }

    // Without the breakpoint, Run goes on to the end: the sum at 0x1000 is wrong.
    main.ToggleBreakpoint(3);
    main.ActionRun->trigger();
    main.ActionShowMemory->trigger();
    FMem->resize(380, 150);
    FMem->GoToAddress(0x1000);
    main.RefreshViews();
    ok = Save(FMem, out.filePath("tutorial-bug.png")) && ok;

    // The fixed program, reloaded and run: 0x37 = 55.
    main.LoadListing(fixed);
    main.ActionRun->trigger();
    FMem->GoToAddress(0x1000);
    main.RefreshViews();
    ok = Save(&main, out.filePath("tutorial-fixed.png")) && ok;
    ok = Save(FMem, out.filePath("tutorial-fixed-memory.png")) && ok;
  }
  return ok ? 0 : 1;
}
