// The breakpoints window: adding by expression, editing conditions, hits and the enabled switch
// in the table, the run stopping accordingly, removing and clearing, and showing an address.
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>

#include "ProgramMenu.h"
#include "TestFolder.h"
#include "Tfbreakpoints.h"
#include "Tfcpu.h"
#include "Tfdebug.h"
#include "Tfmain.h"
#include "Tfmem.h"

namespace {

// ADDI R1,R1,1 ; ADDI R2,R2,-1 ; BNZEI R2,-2 at 0x1000, then a standstill.
const char* const kLoopListing =
    "01000 10010100001000010000000000000001 ADDI R1,R1,H#1\n"
    "01001 10010100010000101111111111111111 ADDI R2,R2,H#FFFF\n"
    "01002 10110100000000101111111111111110 BNZEI R2,H#FFFE%\n";

// ADDI R1,R1,1 ; STORE R3,R1 ; JUMPI -2 at 0x1000: stores a count at R3 forever.
const char* const kStoreListing =
    "01000 10010100001000010000000000000001 ADDI R1,R1,H#1\n"
    "01001 01010000000000110000000000000001 STORE R3,R1\n"
    "01002 10111100000000001111111111111110 JUMPI H#FFFE%\n";

std::string LastConsoleLine() {
  const size_t n = FDebug->Model()->LineCount();
  return n == 0 ? std::string() : std::string(FDebug->Model()->Line(n - 1));
}

}  // namespace

class TfbreakpointsTest : public QObject {
  Q_OBJECT

 private:
  tervik::uitest::TestFolder dir_;

 private slots:
  void init() {
    dir_.Enter();
    std::ofstream(dir_.filePath("default.map").toStdString())
        << "0x0 0x400 ROM\n0x1000 0x400 RAM\n";
    std::ofstream(dir_.filePath("loop.lst").toStdString()) << kLoopListing;
    std::ofstream(dir_.filePath("store.lst").toStdString()) << kStoreListing;
  }
  void cleanup() { dir_.Leave(); }

  // A user's session with the window, step by step: each step's effect on the session and on
  // the table.
  void EditingDrivesTheSession() {
    TFMain main;
    main.FormCreate();
    main.LoadListing("loop.lst");
    main.ActionShowBreakpoints->trigger();
    TFBreakpoints& w = *main.BreakpointsWindow();
    QVERIFY(w.isVisible());
    tervik::debug::Session& session = main.Session();
    QStringList answers;
    QStringList labels;
    w.AskText = [&](const QString& label, const QString&) -> std::optional<QString> {
      labels << label;
      if (answers.isEmpty()) return std::nullopt;
      return answers.takeFirst();
    };
    auto cell = [&](int row, int column) { return w.Table->item(row, column)->text(); };

    // Added by expression; a wrong one is asked again with the error in the question.
    answers = {"0x1000 +", "0x1000 + 2"};
    w.AddButton->click();
    QCOMPARE(session.Breakpoints(), (std::vector<uint32_t>{0x1002}));
    QCOMPARE(labels.size(), 2);
    QVERIFY2(labels[1].startsWith("col 9: "), qPrintable(labels[1]));
    QCOMPARE(cell(0, TFBreakpoints::kAddress), QString("00001002"));
    answers = {};
    w.AddButton->click();  // cancelled: nothing added
    QCOMPARE(session.Breakpoints().size(), size_t{1});

    // A condition that does not parse is refused and said; a good one is taken.
    w.Table->item(0, TFBreakpoints::kCondition)->setText("R1 == (3");
    QCOMPARE(w.Message->text(), QString("Condition of breakpoint 1: col 9: expected ')'"));
    QCOMPARE(cell(0, TFBreakpoints::kCondition), QString());
    w.Table->item(0, TFBreakpoints::kCondition)->setText("R1 >= 3");
    QCOMPARE(session.Settings(1).condition->Text(), std::string("R1 >= 3"));
    w.Table->item(0, TFBreakpoints::kStopAtHit)->setText("2");
    QCOMPARE(session.Settings(1).stopAtHit, uint64_t{2});
    w.Table->item(0, TFBreakpoints::kStopAtHit)->setText("0");
    QCOMPARE(cell(0, TFBreakpoints::kStopAtHit), QString("2"));

    // The run stops at the second time the condition holds: R1 is 3, then 4.
    main.Cpu().SetPC(0x1000);
    main.Cpu().r[2] = 100;
    main.ActionRun->trigger();
    QCOMPARE(main.Cpu().GetPC(), 0x1002u);
    QCOMPARE(main.Cpu().r[1], 4u);
    QCOMPARE(cell(0, TFBreakpoints::kHits), QString("2"));

    // Disabled, it lets the run go on to the standstill.
    w.Table->item(0, TFBreakpoints::kNumber)->setCheckState(Qt::Unchecked);
    QVERIFY(!session.Settings(1).enabled);
    main.ActionRun->trigger();
    QCOMPARE(main.Cpu().r[2], 0u);

    // A double-click on the address shows it in the disassembly.
    FCPU->ShowAddress(0);
    emit w.Table->cellDoubleClicked(0, TFBreakpoints::kAddress);
    QCOMPARE(FCPU->TopAddress(), 0x1002u);

    // The margin's toggle shows in the table; remove and clear empty it.
    main.ToggleBreakpoint(0x1000);
    QCOMPARE(w.Table->rowCount(), 2);
    w.Table->setCurrentCell(0, TFBreakpoints::kAddress);
    w.RemoveButton->click();
    QCOMPARE(session.Breakpoints(), (std::vector<uint32_t>{0x1000}));
    QCOMPARE(cell(0, TFBreakpoints::kNumber), QString("1"));
    w.ClearButton->click();
    QVERIFY(session.Breakpoints().empty());
    QCOMPARE(w.Table->rowCount(), 0);
  }

  // The Address column names a breakpoint as the user typed it or by the symbols, Stop at hit
  // takes an expression, and Delete removes every selected row.
  void NamesHitExpressionsAndDelete() {
    TFMain main;
    main.FormCreate();
    std::ofstream(dir_.filePath("named.asm").toStdString())
        << "times   EQU     3\nstart:  MOVEL   R1,0%\nloop:   ADDI    R1,R1,1\n"
           "        SUBBI   R2,R2,1\n        JUMPI   loop\n";
    QVERIFY(main.Program()->OpenSource(dir_.filePath("named.asm").toStdString()));
    main.ActionShowBreakpoints->trigger();
    TFBreakpoints& w = *main.BreakpointsWindow();
    QStringList answers = {"loop", "loop + 2", "0x0"};
    w.AskText = [&](const QString&, const QString&) -> std::optional<QString> {
      if (answers.isEmpty()) return std::nullopt;
      return answers.takeFirst();
    };
    for (int i = 0; i < 3; ++i) w.AddButton->click();
    main.ToggleBreakpoint(2);  // from the margin: by the symbols
    const QStringList expected = {"00000001  loop", "00000003  loop + 2", "00000000  start",
                                  "00000002  loop+1"};
    for (int row = 0; row < 4; ++row) {
      QCOMPARE(w.Table->item(row, TFBreakpoints::kAddress)->text(), expected[row]);
    }
    const struct {
      const char* text;
      uint64_t stopAtHit;  // afterwards
      const char* message;
    } hits[] = {
        {"times * 2", 6, ""},
        {"0x10", 16, ""},
        {"times +", 16, "Stop at hit: col 8: expected an expression"},
        {"times - 3", 16, "Stop at hit: a whole number from 1"},
    };
    for (const auto& hit : hits) {
      w.Table->item(0, TFBreakpoints::kStopAtHit)->setText(hit.text);
      QCOMPARE(main.Session().Settings(1).stopAtHit, hit.stopAtHit);
      QCOMPARE(w.Message->text(), QString(hit.message));
    }
    // Rows 2 and 4 selected: Delete takes both.
    w.Table->clearSelection();
    w.Table->selectionModel()->select(w.Table->model()->index(1, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    w.Table->selectionModel()->select(w.Table->model()->index(3, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    w.Table->setFocus();
    QTest::keyClick(w.Table, Qt::Key_Delete);
    QCOMPARE(main.Session().Breakpoints(), (std::vector<uint32_t>{1, 0}));
  }

  // A watchpoint added by its text stops the run after the store, says so on the console, takes
  // a stop-at-hit in its row, shows its words in the memory dump, and goes with Remove.
  void WatchpointsFromTheWindow() {
    TFMain main;
    main.FormCreate();
    main.LoadListing("store.lst");
    main.ActionShowBreakpoints->trigger();
    TFBreakpoints& w = *main.BreakpointsWindow();
    tervik::debug::Session& session = main.Session();
    QStringList answers{"0x1100, x", "0x1100"};
    QStringList labels;
    w.AskText = [&](const QString& label, const QString&) -> std::optional<QString> {
      labels << label;
      if (answers.isEmpty()) return std::nullopt;
      return answers.takeFirst();
    };
    main.ToggleBreakpoint(0x1000);  // breakpoint rows come first
    w.Table->item(0, TFBreakpoints::kNumber)->setCheckState(Qt::Unchecked);
    w.WatchButton->click();
    QCOMPARE(labels.size(), 2);
    QVERIFY2(labels[1].startsWith("col 9: expected w, r or rw"), qPrintable(labels[1]));
    QCOMPARE(session.Watchpoints().size(), size_t{1});
    QCOMPARE(w.Table->item(1, TFBreakpoints::kNumber)->text(), QString("W1"));
    QCOMPARE(w.Table->item(1, TFBreakpoints::kAddress)->text(), QString("00001100, w"));

    main.Cpu().SetPC(0x1000);
    main.Cpu().r[3] = 0x1100;
    main.ActionRun->trigger();
    QCOMPARE(main.Cpu().GetPC(), 0x1002u);
    QCOMPARE(LastConsoleLine(),
             std::string("Watchpoint 1: M[00001100] 00000000 -> 00000001 by the word at 00001001"));
    QCOMPARE(w.Table->item(1, TFBreakpoints::kHits)->text(), QString("1"));

    w.Table->item(1, TFBreakpoints::kStopAtHit)->setText("3");
    w.Table->item(1, TFBreakpoints::kCondition)->setText("R1 > 2");
    main.ActionRun->trigger();
    QCOMPARE(LastConsoleLine(),
             std::string("Watchpoint 1: M[00001100] 00000004 -> 00000005 by the word at 00001001"));

    emit w.Table->cellDoubleClicked(1, TFBreakpoints::kAddress);
    QCOMPARE(FMem->TopAddress(), 0x1100u);
    w.Table->setCurrentCell(1, TFBreakpoints::kAddress);
    w.RemoveButton->click();
    QVERIFY(session.Watchpoints().empty());
    QCOMPARE(w.Table->rowCount(), 1);
  }
};

QTEST_MAIN(TfbreakpointsTest)
#include "TfbreakpointsTest.moc"
