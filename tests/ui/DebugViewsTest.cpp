// The debugger's further views, each through its model on a real program: watch values and their
// change marks across stops (and at live-view ticks), the call stack of a recursive program at
// three depths (and nothing read during a run), the symbol filter and double-click; and, where
// the behaviour lives in the window, the console's menu, the elided status bar, the title, the
// recent files and "Watch this".
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <fstream>
#include <set>
#include <sstream>

#include "Clipboard.h"
#include "DebugViews.h"
#include "HistoryActions.h"
#include "ProgramMenu.h"
#include "RecentFiles.h"
#include "TestFolder.h"
#include "Tfcallstack.h"
#include "Tfcpu.h"
#include "Tfdebug.h"
#include "Tfmain.h"
#include "Tfmem.h"
#include "Tfreg.h"
#include "Tfsymbols.h"
#include "Tfwatch.h"

namespace {

using tervik::uitest::ReadFile;
using tervik::uitest::WriteFile;

// examples/stack.asm with fact(3) instead of fact(5): the arguments it pushes (3, 2, 1) are
// never taken for return addresses, so every frame the window shows is a real one.
std::string FactorialOfThree() {
  std::string source = ReadFile(QString(TERVIK_EXAMPLES_DIR) + "/stack.asm");
  const std::string five = "MOVEL   R1,5%";
  const size_t at = source.find(five);
  if (at == std::string::npos) return {};
  return source.replace(at, five.size(), "MOVEL   R1,3%");
}

QString Cell(const QAbstractItemModel& model, int row, int column, int role = Qt::DisplayRole) {
  return model.data(model.index(row, column), role).toString();
}

}  // namespace

class DebugViewsTest : public QObject {
  Q_OBJECT

 private:
  tervik::uitest::TestFolder dir_;

  // The main window with fact(3) opened from its source and a breakpoint at `fact`.
  // The factorial program in a new main window; `fresh` drops what an earlier window kept for
  // it (its session file).
  std::unique_ptr<TFMain> Open(bool fresh = true) {
    if (fresh) QFile::remove(dir_.filePath("fact.session"));
    auto main = std::make_unique<TFMain>();
    main->FormCreate();
    const QString source = dir_.filePath("fact.asm");
    WriteFile(source, FactorialOfThree());
    if (!main->Program()->OpenSource(source.toStdString())) return nullptr;
    main->ActionReset->trigger();
    return main;
  }
  static uint32_t Symbol(TFMain& main, const char* name) {
    return main.Session().Symbols().Value(name).value_or(0xFFFFFFFF);
  }

 private slots:
  void init() {
    dir_.Enter();
    WriteFile(dir_.filePath("default.map"), "0x0 0x400 ROM\n0x1000 0x1000 RAM\n");
  }
  void cleanup() { dir_.Leave(); }

  // The call stack at each entry into fact, three calls deep, read from the stack at the stops.
  void CallStackOfARecursiveProgram() {
    auto main = Open();
    QVERIFY(main);
    main->ToggleBreakpoint(Symbol(*main, "fact"));
    main->Views()->ActionShowCallStack->trigger();
    TFCallStack& window = *main->Views()->CallStack();
    QVERIFY(window.isVisible());
    const CallStackModel& model = *window.Model();
    QCOMPARE(model.Chain(), QString("start"));  // before the run: pc alone
    int resets = 0;
    connect(&model, &QAbstractItemModel::modelReset, [&] { ++resets; });
    const struct {
      const char* chain;
      QStringList stackSlots;  // where each frame's return address lies, innermost first
    } stops[] = {
        {"fact \u2190 halt", {"pc", "00001800"}},
        {"fact \u2190 recurse+3 \u2190 halt", {"pc", "00001802", "00001800"}},
        {"fact \u2190 recurse+3 \u2190 recurse+3 \u2190 halt",
         {"pc", "00001804", "00001802", "00001800"}},
    };
    for (const auto& stop : stops) {
      resets = 0;
      main->ActionRun->trigger();
      QCOMPARE(resets, 1);  // read once, at the stop
      QCOMPARE(model.Chain(), QString::fromUtf8(stop.chain));
      QCOMPARE(window.ChainText->text(), model.Chain());
      QStringList slotsShown;
      for (int row = 0; row < model.rowCount(); ++row) {
        slotsShown << Cell(model, row, CallStackModel::kSlot);
      }
      QCOMPARE(slotsShown, stop.stackSlots);
    }
    // A double-click shows the frame's code.
    FCPU->ShowAddress(0x300);
    emit window.Table->doubleClicked(model.index(1, CallStackModel::kPlace));
    QCOMPARE(FCPU->TopAddress(), Symbol(*main, "recurse") + 3);

    // During a run with live views the stack is not read; the window says it is running.
    main->ToggleBreakpoint(Symbol(*main, "fact"));
    main->ActionLiveViews->setChecked(true);
    resets = 0;
    QString during;
    QTimer::singleShot(300, [&] {
      during = window.ChainText->text();
      main->ActionStop->trigger();
    });
    main->Cpu().SetPC(Symbol(*main, "halt"));       // a standstill that Stop when halted ends...
    main->ActionStopWhenHalted->setChecked(false);  // ...unless it is off
    main->ActionRun->trigger();
    QCOMPARE(during, QString("Running..."));
    QCOMPARE(resets, 1);
    QVERIFY(window.Table->isEnabled());
  }

  // Values and change marks of watch expressions across stops at `mul`, and at a live-view tick.
  void WatchValuesAndChangeMarks() {
    auto main = Open();
    QVERIFY(main);
    TFWatch& window = *main->Views()->Watches();
    WatchModel& model = *window.Model();
    QCOMPARE(model.rowCount(), 1);  // the empty row for a new expression
    for (const char* text : {"R2", "M[SP-1]", "R1+R4", "SP-STACK", "nonsense+", "R1/R4"}) {
      QVERIFY(model.setData(model.index(model.rowCount() - 1, WatchModel::kExpression), text,
                            Qt::EditRole));
    }
    QCOMPARE(model.rowCount(), 7);
    QCOMPARE(Cell(model, 4, WatchModel::kValue), QString("col 10: expected an expression"));
    main->ToggleBreakpoint(Symbol(*main, "mul"));
    // Each stop at mul: R2 the running product, M[SP-1] the return address, R1+R4, the stack's
    // depth; red where the value differs from the stop before.
    const struct {
      QStringList values;
      QList<bool> red;
    } stops[] = {
        // fact(1) after 0! = 1: R2 = 0, R3 = 1, R4 = 1.
        {{"00000000 (0)", "0000000B (11)", "00000002 (2)", "00000005 (5)",
          "col 10: expected an expression", "00000001 (1)"},
         {false, false, false, false, false, false}},
        // fact(2), first round: R1 = 2, R4 = 2.
        {{"00000000 (0)", "0000000B (11)", "00000004 (4)", "00000003 (3)",
          "col 10: expected an expression", "00000001 (1)"},
         {false, false, true, true, false, false}},
        // fact(2), second round: R2 = 1, R4 = 1.
        {{"00000001 (1)", "0000000B (11)", "00000003 (3)", "00000003 (3)",
          "col 10: expected an expression", "00000002 (2)"},
         {true, false, true, false, false, true}},
    };
    for (const auto& stop : stops) {
      main->ActionRun->trigger();
      QStringList values;
      QList<bool> red;
      for (int row = 0; row < 6; ++row) {
        values << Cell(model, row, WatchModel::kValue);
        red << (model.data(model.index(row, WatchModel::kValue), Qt::ForegroundRole) ==
                QVariant(QColor(Qt::red)));
      }
      QCOMPARE(values, stop.values);
      QCOMPARE(red, stop.red);
    }
    // Edited in place: the new expression's value at once, with no mark; cleared: removed.
    QVERIFY(model.setData(model.index(0, WatchModel::kExpression), "R2 * 16", Qt::EditRole));
    QCOMPARE(Cell(model, 0, WatchModel::kValue), QString("00000010 (16)"));
    QVERIFY(model.data(model.index(0, WatchModel::kValue), Qt::ForegroundRole).isNull());
    QVERIFY(model.setData(model.index(4, WatchModel::kExpression), "", Qt::EditRole));
    QCOMPARE(model.rowCount(), 6);
    QCOMPARE(main->Debugger().Watches().size(), size_t{5});
    // Delete removes the selected rows.
    window.Table->selectRow(1);
    QTest::keyClick(window.Table, Qt::Key_Delete);
    QCOMPARE(main->Debugger().Watches().Items()[1].text, std::string("R1+R4"));
  }

  // A live-view tick during a run updates the values but keeps the last stop's for the marks.
  void WatchAtALiveViewTick() {
    TFMain main;
    main.FormCreate();
    WriteFile(dir_.filePath("loop.asm"), "loop: ADDI R1,R1,1\n      JUMPI loop\n");
    QVERIFY(main.Program()->OpenSource(dir_.filePath("loop.asm").toStdString()));
    WatchModel& model = *main.Views()->Watches()->Model();
    model.Add("R1");
    main.ActionStep->trigger();  // a stop: R1 is 1
    const tervik::debug::WatchItem& item = main.Debugger().Watches().Items().at(0);
    QCOMPARE(item.atLastStop, std::optional<uint32_t>(1));
    main.ActionLiveViews->setChecked(true);
    std::optional<uint32_t> tickValue, tickLastStop;
    bool tickChanged = false;
    QTimer::singleShot(300, [&] {
      tickValue = item.value;
      tickLastStop = item.atLastStop;
      tickChanged = item.changed;
      main.ActionStop->trigger();
    });
    main.ActionRun->trigger();
    QVERIFY(tickValue.value_or(0) > 1);  // a tick's value, read during the run
    QCOMPARE(tickLastStop, std::optional<uint32_t>(1));
    QVERIFY(tickChanged);
    QCOMPARE(item.atLastStop, item.value);  // the stop takes the values for the next marks
    QCOMPARE(Cell(model, 0, WatchModel::kValue),
             QString::fromStdString(tervik::debug::WatchValueText(main.Cpu().r[1])));
  }

  // Every symbol with its value; the filter by name or hex value; a double-click shows a label's
  // code and a constant's address in the memory dump.
  void SymbolFilterAndDoubleClick() {
    auto main = Open();
    QVERIFY(main);
    main->Views()->ActionShowSymbols->trigger();
    TFSymbols& window = *main->Views()->Symbols();
    const SymbolsModel& model = *window.Model();
    auto names = [&] {
      QStringList shown;
      for (int row = 0; row < model.rowCount(); ++row) shown << Cell(model, row, 0);
      return shown;
    };
    const struct {
      const char* filter;
      QStringList names;
    } cases[] = {
        {"", {"STACK", "start", "halt", "fact", "recurse", "mul"}},
        {"A", {"STACK", "start", "halt", "fact"}},  // any case
        {"re", {"recurse"}},
        {"1800", {"STACK"}},  // by the value's hex digits
        {"  mul ", {"mul"}},
        {"zzz", {}},
    };
    for (const auto& c : cases) {
      window.Filter->setText(c.filter);
      QCOMPARE(names(), c.names);
    }
    window.Filter->clear();
    QCOMPARE(Cell(model, 0, SymbolsModel::kValue), QString("00001800 (6144)"));
    QCOMPARE(Cell(model, 0, SymbolsModel::kKind), QString("constant"));
    QCOMPARE(Cell(model, 3, SymbolsModel::kValue), QString("00000005"));
    window.Activate(3);  // fact
    QCOMPARE(FCPU->TopAddress(), 5u);
    window.Activate(0);  // STACK
    QVERIFY(FMem->isVisible());
    QCOMPARE(FMem->TopAddress(), 0x1800u);
    // A new program's symbols replace the list.
    WriteFile(dir_.filePath("other.asm"), "only: JUMPI only\n");
    QVERIFY(main->Program()->OpenSource(dir_.filePath("other.asm").toStdString()));
    QCOMPARE(names(), QStringList{"only"});
  }

  // "Watch this" in the memory dump and the register window adds the word or the register.
  void WatchThisFromTheOtherWindows() {
    auto main = Open();
    QVERIFY(main);
    FMem->GoToAddress(0x1800);
    const int x = FMem->kWordColumn * FMem->CharWidth() + 2;
    const std::string word = FMem->WatchTextAt(x, 2);
    QCOMPARE(word, std::string("M[0x00001800]"));
    // One menu holds the window's own entry and the reverse commands' entry.
    QMenu menu;
    FMem->PB1->FillContextMenu(menu, x, 2);
    QStringList texts;
    for (const QAction* a : menu.actions()) texts << a->text();
    QCOMPARE(texts, (QStringList{"&Watch this", "", "Last write of 00001800"}));
    menu.actions().front()->trigger();
    QVERIFY(main->Views()->Watches()->isVisible());
    QCOMPARE(main->Debugger().Watches().Items().back().text, word);
    QMenu none;  // off the words: no menu at all
    FMem->PB1->FillContextMenu(none, 1, 2);
    QVERIFY(none.isEmpty());
    // Every register the window shows gives a name the expression language reads.
    std::set<std::string> names;
    for (int y = 0; y < 18 * FReg->LineHeight(); y += 2) {
      for (int x = 0; x < 54 * FReg->CharWidth(); x += 3) names.insert(FReg->WatchTextAt(x, y));
    }
    names.erase("");
    QCOMPARE(names.size(), size_t{37});  // R0..R31, PC, SR, IM, SP, LFSR
    QVERIFY(names.count("R5") == 1 && names.count("LFSR") == 1);
    for (const std::string& name : names) main->WatchExpression(name);
    const tervik::debug::WatchList& list = main->Debugger().Watches();
    QCOMPARE(list.size(), size_t{38});
    for (const tervik::debug::WatchItem& item : list.Items()) {
      QVERIFY2(item.value.has_value(), item.text.c_str());
    }
    // The next window on the program shows the same list, kept in its session file.
    main->Views()->Watches()->Model()->Remove(0);
    main.reset();
    main = Open(false);
    QVERIFY(main);
    QCOMPARE(main->Debugger().Watches().size(), size_t{37});
    QCOMPARE(main->Views()->Watches()->Model()->rowCount(), 38);  // and the row for a new one
  }

  // The console's menu: copy the selected lines or all, clear, save; Ctrl+F finds a text.
  void ConsoleMenu() {
    TFMain main;
    main.FormCreate();
    FDebug->ActionClear->trigger();
    QCOMPARE(FDebug->Model()->LineCount(), size_t{0});
    for (const char* line : {"first line", "Second", "third LINE", "fourth"}) {
      FDebug->AppendLine(line);
    }
    QCoreApplication::processEvents();
    QItemSelectionModel& selection = *FDebug->ListBox1->selectionModel();
    selection.select(FDebug->Model()->index(2), QItemSelectionModel::ClearAndSelect);
    selection.select(FDebug->Model()->index(0), QItemSelectionModel::Select);
    FDebug->ActionCopy->trigger();
    QCOMPARE(tervik::platform::SystemClipboard().Text(), std::string("first line\nthird LINE"));
    FDebug->ActionCopyAll->trigger();
    QCOMPARE(tervik::platform::SystemClipboard().Text(),
             std::string("first line\nSecond\nthird LINE\nfourth\n"));
    // Find goes on from the current line and wraps round, in any case.
    FDebug->ListBox1->setCurrentIndex(FDebug->Model()->index(0));
    QVERIFY(FDebug->FindNext("line"));
    QCOMPARE(FDebug->ListBox1->currentIndex().row(), 2);
    QVERIFY(FDebug->FindNext("line"));
    QCOMPARE(FDebug->ListBox1->currentIndex().row(), 0);
    QVERIFY(!FDebug->FindNext("absent"));
    FDebug->ActionFind->trigger();
    QVERIFY(FDebug->FindBox->isVisibleTo(FDebug));
    // Save as writes every line; a file that cannot be written says so on the console.
    const QString saved = dir_.filePath("console.txt");
    FDebug->AskSavePath = [&] { return saved; };
    FDebug->ActionSaveAs->trigger();
    QCOMPARE(ReadFile(saved), std::string("first line\nSecond\nthird LINE\nfourth\n"));
    FDebug->AskSavePath = [&] { return dir_.filePath("no/such/folder/x.txt"); };
    FDebug->ActionSaveAs->trigger();
    QVERIFY(std::string(FDebug->Model()->Line(4)).starts_with("Cannot write "));
    FDebug->ActionClear->trigger();
    QCOMPARE(FDebug->Model()->rowCount(), 0);
  }

  // A long label at pc is elided in the status bar rather than widening the window; the title
  // names the program; the count of instructions since Reset; Recent files lists the source.
  void StatusBarTitleAndRecentFiles() {
    TFMain main;
    main.FormCreate();
    main.show();
    QCOMPARE(main.windowTitle(), QString("Tervik CPU Emulator"));
    const std::string label(279, 'x');
    WriteFile(dir_.filePath("long.asm"), label + ": JUMPI " + label + "\n");
    const int width = main.width();
    QVERIFY(main.Program()->OpenSource(dir_.filePath("long.asm").toStdString()));
    QCoreApplication::processEvents();
    main.layout()->activate();  // the layout takes the label's new size at once
    QCOMPARE(main.PlaceText->text(), QString::fromStdString("pc: " + label));
    QCOMPARE(main.width(), width);
    QVERIFY(main.minimumSizeHint().width() <= width);
    QVERIFY(main.PlaceText->width() < main.width());
    QCOMPARE(main.windowTitle(), QString("Tervik CPU Emulator - long.asm"));
    QCOMPARE(main.Recent()->Files().value(0), dir_.filePath("long.asm"));

    main.ActionStep->trigger();
    main.ActionStep->trigger();
    QCOMPARE(main.CountText->text(), QString("2 instructions since Reset"));
    // Going back in time counts back, and coming to the present counts forward again.
    main.History()->ActionStepBack->trigger();
    QCOMPARE(main.CountText->text(), QString("1 instruction since Reset"));
    main.History()->ActionPresent->trigger();
    QCOMPARE(main.CountText->text(), QString("2 instructions since Reset"));
    main.ActionReset->trigger();
    QCOMPARE(main.CountText->text(), QString("0 instructions since Reset"));
    // A reload is a fresh start, which counts from 0 too.
    main.ActionStep->trigger();
    main.ActionReloadLST->trigger();
    QCOMPARE(main.CountText->text(), QString("0 instructions since Reset"));
  }
};

QTEST_MAIN(DebugViewsTest)
#include "DebugViewsTest.moc"
