// The main window: its menus and actions, the dock layout, start-up with and without a map,
// the loading commands, run control with breakpoints, Stop and closing, and the speed text.
#include <QMenuBar>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <fstream>
#include <functional>

#include "Console.h"
#include "TestFolder.h"
#include "Tfcpu.h"
#include "Tfdebug.h"
#include "Tfmain.h"
#include "Tfmem.h"
#include "Tfreg.h"

namespace {

using tervik::uitest::WriteFile;

// A clock that moves on by a fixed step at every reading.
class SteppingClock final : public tervik::platform::Clock {
 public:
  explicit SteppingClock(double step) : step_(step) {}
  double SecondsNow() override { return now_ += step_; }
  double step_;
  double now_ = 100.0;
};

// The main window with its file dialog answered by the test.
class TestMain final : public TFMain {
 public:
  using TFMain::TFMain;
  QString answer;
  int dialogs = 0;

 protected:
  QString ChooseFile(const OpenDialog&) override {
    ++dialogs;
    return answer;
  }
};

std::vector<std::string> ConsoleLines() {
  std::vector<std::string> lines;
  for (size_t i = 0; i < FDebug->Model()->LineCount(); ++i) {
    lines.emplace_back(FDebug->Model()->Line(i));
  }
  return lines;
}

// ADDI R1,R1,1 ; ADDI R2,R2,-1 ; BNZEI R2,-2 at 0x1000, then a standstill.
const char* const kLoopListing =
    "01000 10010100001000010000000000000001 ADDI R1,R1,H#1 ; count\n"
    "01001 10010100010000101111111111111111 ADDI R2,R2,H#FFFF\n"
    "01002 10110100000000101111111111111110 BNZEI R2,H#FFFE% ; loop\n";

// MOVEL R9,0x1010 ; CALL R9 ; halt: JUMPI halt, and at 0x1010: ADDI R1,R1,1 ; RET.
const char* const kCallListing =
    "01000 11101101001000000001000000010000 MOVEL R9,H#1010%\n"
    "01001 01010100000000000000000000001001 CALL R9\n"
    "01002 10111100000000000000000000000000 JUMPI H#0%\n"
    "01010 10010100001000010000000000000001 ADDI R1,R1,H#1\n"
    "01011 01100000000000000000000000000000 RET\n";

}  // namespace

class TfmainTest : public QObject {
  Q_OBJECT

 private:
  tervik::uitest::TestFolder dir_;

 private slots:
  void init() {
    dir_.Enter();
    WriteFile(dir_.filePath("default.map"), "; test machine\n0x0 0x400 ROM\n0x1000 0x400 RAM\n");
    WriteFile(dir_.filePath("loop.lst"), kLoopListing);
  }
  void cleanup() { dir_.Leave(); }

  void MenusCarryTheirCaptionsAndShortcuts() {
    TestMain main;
    QStringList tree;
    for (QAction* menu : main.menuBar()->actions()) {
      tree << menu->text();
      for (QAction* item : menu->menu()->actions()) {
        tree << "  " + item->text() +
                    (item->shortcut().isEmpty() ? "" : " [" + item->shortcut().toString() + "]");
      }
    }
    const QStringList expected = {"&File",
                                  "  Copy as &ROM",
                                  "  Exit",
                                  "&Memory",
                                  "  Load memory map",
                                  "  Load LST file [Ctrl+L]",
                                  "  Reload previous LST file [Ctrl+R]",
                                  "  Display memory map",
                                  "  Clear memory",
                                  "&CPU",
                                  "  Reset [Ctrl+F2]",
                                  "  &Jump to cursor",
                                  "  Trace into [F7]",
                                  "  Run [F9]",
                                  "  Stop",
                                  "&Window",
                                  "  Show memory",
                                  "  ",
                                  "  &Board",
                                  "&Help",
                                  "  Tervik uC &Manual",
                                  "  About",
                                  "&Debug",
                                  "  Step &over [F8]",
                                  "  Step o&ut [Shift+F8]",
                                  "  Step &line [F6]",
                                  "  Run to &cursor [F4]",
                                  "  ",
                                  "  Stop when &halted",
                                  "  &Live views during a run",
                                  "  &Translate to host code",
                                  "  Export &ROM...",
                                  "  ",
                                  "  &Breakpoints",
                                  "  Debug &tool bar",
                                  "  Reset &layout",
                                  "  ",
                                  "  &Watch",
                                  "  C&all stack",
                                  "  Sy&mbols",
                                  "  ",
                                  "  Step bac&k [Shift+F7]",
                                  "  Reverse step o&ver [Ctrl+F8]",
                                  "  R&everse step out [Ctrl+Shift+F8]",
                                  "  Reverse co&ntinue [Shift+F9]",
                                  "  Run back to cur&sor [Shift+F4]",
                                  "  Go to &present [Ctrl+F9]",
                                  "  Record histor&y",
                                  "  History bud&get...",
                                  "&Program",
                                  "  &Open source... [Ctrl+O]",
                                  "  Load &symbols...",
                                  "  &Reload on change",
                                  "  ",
                                  "  &New source",
                                  "  &Save [Ctrl+S]",
                                  "  Save &as...",
                                  "  &Close source",
                                  "  Assem&ble [Ctrl+B]",
                                  "  ",
                                  "  &Undo\tCtrl+Z",
                                  "  &Redo\tCtrl+Y",
                                  "  &Find... [Ctrl+F]",
                                  "  R&eplace... [Ctrl+H]",
                                  "  &Go to line... [Ctrl+G]",
                                  "  Go to &definition [F12]",
                                  "  Go &back [Alt+Left]",
                                  "  ",
                                  "  Recent &files",
                                  "  &Module folders"};
    QCOMPARE(tree, expected);
    // The debugger's own tool bar stays hidden until asked for; its switch shows it.
    QVERIFY(main.DebugToolBar->isHidden());
    main.ActionShowDebugToolBar->trigger();
    QVERIFY(!main.DebugToolBar->isHidden());
    QCOMPARE(main.DebugToolBar->actions().first(), main.ActionStepOver);
  }

  void ActionListKeepsItsOrder() {
    TestMain main;
    QStringList names, captions;
    for (QAction* a : main.ActionList1) {
      names << a->objectName();
      captions << a->text();
    }
    QCOMPARE(names,
             (QStringList{"ActionQuit", "ActionReset", "ActionStep", "ActionGo",
                          "ActionExportROMDATA", "ActionShowMemory", "ActionManual", "ActionRun",
                          "ActionStop", "ActionLoadLST", "ActionDisplayMap", "ActionLoadMap",
                          "ActionAbout", "ActionReloadLST", "ActionClearMem"}));
    QCOMPARE(captions.at(4), QString("Export as ROMDATA"));
    QCOMPARE(captions.at(6), QString("ActionManual"));
    QStringList buttons;
    for (QAction* a : main.ToolBar3->actions())
      buttons << (a->isSeparator() ? "|" : a->objectName());
    QCOMPARE(buttons, (QStringList{"ActionQuit", "|", "ActionReset", "ActionGo", "ActionStep",
                                   "ActionRun", "ActionStop", "|"}));
  }

  void StartUpDocksTheToolWindowsAndLoadsTheMap() {
    TestMain main;
    QVERIFY(FCPU && FReg && FDebug && FMem);
    QVERIFY(!FCPU->isVisible());  // nothing shown before the create event
    main.FormCreate();
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    QCOMPARE(main.dockWidgetArea(FCPU), Qt::TopDockWidgetArea);
    QCOMPARE(main.dockWidgetArea(FReg), Qt::TopDockWidgetArea);
    QCOMPARE(main.dockWidgetArea(FDebug), Qt::BottomDockWidgetArea);
    QVERIFY(FCPU->geometry().right() < FReg->geometry().left());
    QVERIFY(FDebug->geometry().top() > FCPU->geometry().bottom());
    QVERIFY(FDebug->width() > main.width() * 9 / 10);  // the whole width
    QVERIFY(FMem->isFloating());
    QVERIFY(!FMem->isVisible());
    QCOMPARE(ConsoleLines(), (std::vector<std::string>{
                                 "Loading memory map from default.map...",
                                 "Start    Size     Type Info", "00000000 00000400 ROM  <internal>",
                                 "00001000 00000400 RAM  <internal>", "Done"}));
    QCOMPARE(main.Cpu().Regions().size(), size_t{2});
    QCOMPARE(main.StatusText->text(), QString("- instruction/sec"));
  }

  void StartUpWithoutAMapGoesOnWithNoMemory() {
    QFile::remove(dir_.filePath("default.map"));
    TestMain main;
    main.FormCreate();
    QCOMPARE(ConsoleLines(), (std::vector<std::string>{"Loading memory map from default.map...",
                                                       "Error opening file 'default.map'"}));
    QVERIFY(main.Cpu().Regions().empty());
    QCOMPARE(main.StatusText->text(), QString());  // no refresh after a failed load
  }

  void PinnedWindowsRefuseToCloseAndTheDumpHides() {
    TestMain main;
    main.FormCreate();
    main.show();
    for (QDockWidget* dock : {static_cast<QDockWidget*>(FCPU), static_cast<QDockWidget*>(FReg),
                              static_cast<QDockWidget*>(FDebug)}) {
      QVERIFY(!dock->close());
      QVERIFY(dock->isVisible());
      dock->setFloating(true);
      QVERIFY(!dock->close());
      QVERIFY(dock->isVisible());
      dock->setFloating(false);
    }
    main.ActionShowMemory->trigger();
    QVERIFY(FMem->isVisible());
    QVERIFY(FMem->close());
    QVERIFY(!FMem->isVisible());
    main.ActionShowMemory->trigger();
    QVERIFY(FMem->isVisible());
  }

  // Closing the main window ends the program whatever tool window floats beside it, idle,
  // during a run and with a modal dialog open; the floating window itself keeps refusing to close.
  void ClosingTheMainWindowQuitsWithAFloatingToolWindow_data() {
    QTest::addColumn<QString>("dock");
    QTest::addColumn<QString>("state");
    for (const char* dock : {"FCPU", "FReg", "FDebug"}) {
      for (const char* state : {"idle", "running", "dialog", "exit", "running exit"}) {
        QTest::addRow("%s %s", dock, state) << QString(dock) << QString(state);
      }
    }
  }
  void ClosingTheMainWindowQuitsWithAFloatingToolWindow() {
    QFETCH(QString, dock);
    QFETCH(QString, state);
    TestMain main;
    main.FormCreate();
    main.show();
    main.LoadListing("loop.lst");
    main.Cpu().SetPC(0x1000);
    main.Cpu().r[2] = 0;  // the loop runs until Stop
    auto* floating = main.findChild<QDockWidget*>(dock);
    QVERIFY(floating != nullptr);
    floating->setFloating(true);
    QVERIFY(floating->isWindow() && floating->isVisible());

    bool refused = false;
    auto requestClose = [&] {
      // The tool window refuses a close of its own, and the program goes on.
      refused = !floating->close() && floating->isVisible();
      if (state.endsWith("exit")) {
        // Exit works during a run too: it ends the run, then the program.
        QVERIFY(main.ActionQuit->isEnabled());
        main.ActionQuit->trigger();
      } else {
        main.close();
      }
    };
    QTimer::singleShot(0, &main, [&] {
      if (state.startsWith("running")) {
        QTimer::singleShot(20, &main, requestClose);
        main.ActionRun->trigger();
      } else if (state == "dialog") {
        QMessageBox box(QMessageBox::Information, "t", "modal", QMessageBox::Ok, &main);
        QTimer::singleShot(20, &main, requestClose);
        box.exec();
      } else {
        requestClose();
      }
    });
    // A program that does not quit would hang here; the watchdog ends the loop with 99.
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    watchdog.start(5000);
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(refused);
    QVERIFY(!main.Running());
    for (QWidget* w : QApplication::topLevelWidgets()) {
      QVERIFY2(!w->isVisible(), qPrintable(w->objectName() + " is still shown"));
    }
  }

  void ListingCommandsLoadReloadAndMoveTheWorkingDirectory() {
    TestMain main;
    main.FormCreate();
    QDir(dir_.path()).mkdir("sub");
    const QString listing = dir_.filePath("sub/loop.lst");
    WriteFile(listing, kLoopListing);

    main.answer = "";  // cancelled: memory untouched, views refreshed
    main.Cpu().WriteMem(0x1000, 7);
    main.ActionLoadLST->trigger();
    QCOMPARE(main.Cpu().ReadMem(0x1000), 7u);
    QCOMPARE(main.dialogs, 1);

    main.answer = listing;
    main.ActionLoadLST->trigger();
    QCOMPARE(main.Cpu().ReadMem(0x1000), 0x94210001u);
    QCOMPARE(QString::fromStdString(std::string(main.Listing().Comment(0x1000))),
             QString("; count"));
    QCOMPARE(QDir::currentPath(), QFileInfo(listing).absolutePath());

    main.Cpu().WriteMem(0x1000, 0);
    main.ActionReloadLST->trigger();  // no dialog
    QCOMPARE(main.dialogs, 2);
    QCOMPARE(main.Cpu().ReadMem(0x1000), 0x94210001u);

    main.ActionClearMem->trigger();
    QCOMPARE(main.Cpu().ReadMem(0x1000), 0u);
    QVERIFY(!main.Listing().empty());  // clearing keeps the comments
  }

  void ReloadBeforeAnyListingReportsTheEmptyName() {
    TestMain main;
    main.FormCreate();
    main.ActionReloadLST->trigger();
    // The loader's error line, then one that says what it means.
    const std::vector<std::string> lines = ConsoleLines();
    QVERIFY(lines.size() >= 2);
    QCOMPARE(lines[lines.size() - 2], std::string("Error opening file ''"));
    QCOMPARE(lines.back(), std::string("No listing loaded yet"));
  }

  void MapCommandsReplaceTheRegions() {
    TestMain main;
    main.FormCreate();
    WriteFile(dir_.filePath("other.map"), "0x100 0x10 RAM\n");
    main.answer = dir_.filePath("other.map");
    main.ActionLoadMap->trigger();
    QCOMPARE(main.Cpu().Regions().size(), size_t{1});
    QCOMPARE(ConsoleLines().back(), std::string("Done"));
    main.ActionDisplayMap->trigger();
    QCOMPARE(ConsoleLines().back(), std::string("00000100 00000010 RAM  <internal>"));
  }

  void BreakpointsToggleAndKeepTheirOrder() {
    TestMain main;
    for (uint32_t a : {5u, 9u, 7u, 9u, 3u, 9u}) main.ToggleBreakpoint(a);
    QCOMPARE(main.Breakpoints(), (std::vector<uint32_t>{5, 7, 3, 9}));
    QVERIFY(main.IsBreakpoint(9));
    QVERIFY(!main.IsBreakpoint(4));
    main.ToggleBreakpoint(5);
    main.ToggleBreakpoint(5);
    QCOMPARE(main.Breakpoints(), (std::vector<uint32_t>{7, 3, 9, 5}));
  }

  void TraceIntoShowsTheRateOfThatStep() {
    SteppingClock clock(0.25);
    TestMain main(clock);
    main.FormCreate();
    main.ActionStep->trigger();
    QCOMPARE(main.StatusText->text(), QString("4 instruction/sec"));
    clock.step_ = 0;  // equal readings: no rate
    main.ActionStep->trigger();
    QCOMPARE(main.StatusText->text(), QString("- instruction/sec"));
    clock.step_ = 0.5;
    main.ActionStep->trigger();
    main.ActionReset->trigger();
    main.ActionGo->trigger();
    QCOMPARE(main.StatusText->text(), QString("2 instruction/sec"));
  }

  void ShortcutsReachTheirActions() {
    TestMain main;
    main.FormCreate();
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    main.Cpu().SetPC(0x1000);
    QTest::keyClick(&main, Qt::Key_F7);
    QCOMPARE(main.Cpu().GetPC(), 0x1001u);
    QTest::keyClick(&main, Qt::Key_F2, Qt::ControlModifier);
    QCOMPARE(main.Cpu().GetPC(), 0u);
    main.answer = dir_.filePath("loop.lst");
    QTest::keyClick(&main, Qt::Key_L, Qt::ControlModifier);
    QCOMPARE(main.dialogs, 1);
    QTest::keyClick(&main, Qt::Key_R, Qt::ControlModifier);
    QCOMPARE(main.dialogs, 1);
    QCOMPARE(main.LastListingPath(), dir_.filePath("loop.lst").toStdString());
  }

  void RunStopsRightAfterTheInstructionThatReachesABreakpoint() {
    TestMain main;
    main.FormCreate();
    main.LoadListing("loop.lst");
    main.Cpu().SetPC(0x1000);
    main.Cpu().r[2] = 1000;  // 1000 rounds of three instructions, then a standstill
    main.ToggleBreakpoint(0x1002);
    main.ActionRun->trigger();
    QCOMPARE(main.LastRunCount(), uint64_t{2});
    QCOMPARE(main.Cpu().GetPC(), 0x1002u);
    main.ActionRun->trigger();  // starts on the breakpoint, stops when it comes round again
    QCOMPARE(main.LastRunCount(), uint64_t{3});
    QCOMPARE(main.Cpu().r[1], 2u);
  }

  void StopEndsARunAndTheActionsComeBack() {
    TestMain main;
    main.FormCreate();
    main.LoadListing("loop.lst");
    main.Cpu().SetPC(0x1000);
    QStringList disabledDuringRun;
    QTimer::singleShot(20, &main, [&] {
      for (QAction* a : main.ActionList1) {
        if (!a->isEnabled()) disabledDuringRun << a->objectName();
      }
      QVERIFY(main.Running());
      main.ActionStop->trigger();
    });
    main.ActionRun->trigger();
    QCOMPARE(disabledDuringRun,
             (QStringList{"ActionReset", "ActionStep", "ActionGo", "ActionExportROMDATA",
                          "ActionShowMemory", "ActionManual", "ActionRun"}));
    for (QAction* a : main.ActionList1) QVERIFY(a->isEnabled());
    QVERIFY(main.LastRunCount() > 100000);
    QVERIFY(main.StatusText->text().endsWith(" instruction/sec"));
    QVERIFY(main.StatusText->text() != "- instruction/sec");
    QVERIFY(QString::fromStdString(ConsoleLines().back()).startsWith("Stopped at "));
  }

  void ClosingTheWindowEndsTheRun() {
    TestMain main;
    main.FormCreate();
    main.show();
    main.LoadListing("loop.lst");
    main.Cpu().SetPC(0x1000);
    QTimer::singleShot(20, &main, [&] { main.close(); });
    main.ActionRun->trigger();
    QVERIFY(!main.Running());
    QVERIFY(!main.isVisible());
  }

  // The debugger's run commands, one after another as a user gives them: each ends where it
  // should and says why in the console.
  void DebugCommandsStopWhereAskedAndSayWhy() {
    WriteFile(dir_.filePath("call.lst"), kCallListing);
    TestMain main;
    main.FormCreate();
    main.LoadListing("call.lst");
    main.Cpu().sp = 0x1100;
    struct Command {
      std::function<void()> prepare;
      QAction* action;
      uint32_t pc;
      const char* line;
    } const commands[] = {
        {[&] { main.Cpu().SetPC(0x1000); }, main.ActionStep, 0x1001, nullptr},
        {{}, main.ActionStepOver, 0x1002, "Stepped over to 00001002 after 3 instructions"},
        {{}, main.ActionRun, 0x1002, "Halted at 00001002 (JUMPI H#0%)"},
        {[&] {
           main.Cpu().SetPC(0x1000);
           FCPU->ShowAddress(0x1000);
           FCPU->PB1MouseDown(
               FCPU->MarginWidth() + 2,
               static_cast<int>(0x1011 - FCPU->TopAddress()) * FCPU->LineHeight() + 1);
         },
         main.ActionRunToCursor, 0x1011, "Reached 00001011 after 3 instructions"},
        {{}, main.ActionStepOut, 0x1002, "Stepped out to 00001002 after 1 instruction"},
        {[&] {
           main.Cpu().SetPC(0x1000);
           main.ToggleBreakpoint(0x1010);
         },
         main.ActionStepOver, 0x1001, nullptr},
        {{}, main.ActionStepOver, 0x1010, "Breakpoint 1 at 00001010 after 1 instruction"},
        // Without a line table every word is a line of its own.
        {{}, main.ActionStepLine, 0x1011, "Stepped to 00001011 after 1 instruction"},
    };
    for (const Command& c : commands) {
      if (c.prepare) c.prepare();
      const size_t lines = FDebug->Model()->LineCount();
      c.action->trigger();
      QCOMPARE(main.Cpu().GetPC(), c.pc);
      if (c.line == nullptr) {
        QCOMPARE(FDebug->Model()->LineCount(), lines);  // a single step says nothing
      } else {
        QCOMPARE(ConsoleLines().back(), std::string(c.line));
      }
    }
    QCOMPARE(main.Cpu().r[1], 3u);  // ADDI ran in the step over, the run to cursor and Step line
    for (QAction* a : main.ActionList1) QVERIFY(a->isEnabled());
  }

  // With live views the disassembly follows pc while the run goes on; without, it waits for
  // the end of the run.
  void LiveViewsFollowTheRun() {
    for (const bool live : {true, false}) {
      TestMain main;
      main.FormCreate();
      main.LoadListing("loop.lst");
      main.ActionLiveViews->setChecked(live);
      main.Cpu().SetPC(0x1000);  // not shown yet: the disassembly still shows address 0
      main.Cpu().r[2] = 0;       // the loop runs until Stop
      uint32_t topDuringRun = 0;
      QTimer::singleShot(300, &main, [&] {
        topDuringRun = FCPU->TopAddress();
        main.ActionStop->trigger();
      });
      main.ActionRun->trigger();
      QCOMPARE(topDuringRun >= 0x1000 && topDuringRun <= 0x1002, live);
      QVERIFY(FCPU->TopAddress() >= 0x1000 && FCPU->TopAddress() <= 0x1002);
    }
  }

  void LoadingAMapDuringARunIsSafe() {
    TestMain main;
    main.FormCreate();
    main.LoadListing("loop.lst");
    main.Cpu().SetPC(0x1000);
    WriteFile(dir_.filePath("moved.map"), "0x1000 0x10 ROM\n0x2000 0x10 RAM\n");
    main.ActionStopWhenHalted->setChecked(false);  // the run goes on over the unmapped words
    int ticks = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, &main, [&] {
      ++ticks;
      if (ticks == 2) main.LoadMemoryMap("moved.map");  // the loop's words become zeros
      if (ticks == 4) main.LoadListing("loop.lst");     // and come back
      if (ticks == 5) main.ActionClearMem->trigger();   // zeros: NOPs run on
      if (ticks == 6) main.LoadListing("loop.lst");
      if (ticks == 8) main.ActionStop->trigger();
    });
    timer.start(10);
    main.ActionRun->trigger();
    QCOMPARE(main.Cpu().Regions().size(), size_t{2});
    QCOMPARE(main.Cpu().ReadMem(0x1000), 0x94210001u);  // the run went on over the new memory
    QVERIFY(main.LastRunCount() > 0);
  }

  // The clock reads the square of the instructions executed so far (three per round of the
  // loop), so the rate shown tells exactly after how many instructions it was measured.
  void FreeRunSpeedIsMeasuredAtWholeHundredThousands() {
    struct SquareClock final : tervik::platform::Clock {
      TFMain* main = nullptr;
      double SecondsNow() override {
        const double done = main == nullptr ? 0.0 : 3.0 * main->Cpu().r[1];
        return done * done / 1073741824.0;
      }
    } clock;
    TestMain main(clock);
    clock.main = &main;
    main.FormCreate();
    main.LoadListing("loop.lst");
    main.Cpu().SetPC(0x1000);
    main.Cpu().r[2] = 200000;  // 600000 instructions, then a standstill at 0x1003
    main.ToggleBreakpoint(0x1003);
    main.ActionRun->trigger();
    QCOMPARE(main.LastRunCount(), uint64_t{600000});
    // Measured after exactly 600000: 2^30 / 600000 = 1789.57 instructions per second.
    QCOMPARE(main.StatusText->text(), QString("1789 instruction/sec"));

    // A run shorter than 100000 instructions leaves the speed as it was.
    main.Cpu().SetPC(0x1000);
    main.Cpu().r[1] = 0;
    main.Cpu().r[2] = 1000;
    main.ActionRun->trigger();
    QCOMPARE(main.LastRunCount(), uint64_t{3000});
    QCOMPARE(main.StatusText->text(), QString("1789 instruction/sec"));
  }

  // Instructions that take 15 us each (as with a slow peripheral) still let events in every few
  // milliseconds, and the speed is still measured at whole hundred thousands.
  void SlowInstructionsDoNotHoldUpEvents() {
    struct InstructionClock final : tervik::platform::Clock {
      TFMain* main = nullptr;
      double SecondsNow() override {
        return main == nullptr ? 0.0 : 3.0 * main->Cpu().r[1] / 65536.0;
      }
    } clock;
    TestMain main(clock);
    clock.main = &main;
    main.FormCreate();
    main.LoadListing("loop.lst");
    main.Cpu().SetPC(0x1000);
    main.Cpu().r[2] = 100000;  // 300000 instructions, 4.6 s of this clock
    main.ToggleBreakpoint(0x1003);
    uint32_t lastRound = 0, widestGap = 0;
    QTimer events;  // fires whenever the run lets events in
    connect(&events, &QTimer::timeout, [&] {
      widestGap = std::max(widestGap, main.Cpu().r[1] - lastRound);
      lastRound = main.Cpu().r[1];
    });
    events.start(0);
    main.ActionRun->trigger();
    QCOMPARE(main.LastRunCount(), uint64_t{300000});
    QCOMPARE(main.StatusText->text(), QString("65536 instruction/sec"));
    // Events every 5 ms of this clock are 328 instructions apart; allow for the batches' sizing.
    QVERIFY2(3 * widestGap <= 1500, qPrintable(QString::number(3 * widestGap)));
  }

  void ConsoleKeepsLinesWholeAndSelectsTheNewest() {
    TestMain main;
    main.FormCreate();
    FDebug->ListBox1->setCurrentIndex(FDebug->Model()->index(0));
    ConsolePuts("100% sure: %s %d");
    ConsolePuts("two\nlines");
    QCoreApplication::processEvents();  // the selection follows in the event loop
    const std::vector<std::string> lines = ConsoleLines();
    QCOMPARE(lines[lines.size() - 2], std::string("100% sure: %s %d"));
    QCOMPARE(lines.back(), std::string("two\nlines"));
    QCOMPARE(FDebug->ListBox1->currentIndex().row(), static_cast<int>(lines.size()) - 1);
    QCOMPARE(main.ConsoleMessage("%s", ""), 0);
    QCOMPARE(ConsoleLines().back(), std::string());
  }
};

QTEST_MAIN(TfmainTest)
#include "TfmainTest.moc"
