// A soak of the whole window: random commands (the reverse ones too), keys, clicks, wheel turns,
// docking and loads of good and bad files, also during runs, for a fixed time. It passes when
// nothing crashes, the sanitizers (asan preset) find nothing, and the window is always usable
// again afterwards.
//
// TERVIK_SOAK_SECONDS sets the time (default 10); TERVIK_SOAK_SEED the random seed (default:
// from the clock, printed so that a failure can be repeated). scripts/soak.sh runs a long soak.
#include <QApplication>
#include <QDockWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QWheelEvent>
#include <QtTest>
#include <chrono>
#include <fstream>
#include <random>

#include "DebugViews.h"
#include "HistoryActions.h"
#include "ProgramMenu.h"
#include "SourceEditor.h"
#include "SourceWindow.h"
#include "Tfabout.h"
#include "Tfcallstack.h"
#include "Tfcpu.h"
#include "Tfdebug.h"
#include "Tfmain.h"
#include "Tfmem.h"
#include "Tfreg.h"
#include "Tfsymbols.h"
#include "Tfwatch.h"

namespace {

// The main window with its file dialog answered at random from a set of good and bad files.
class SoakMain final : public TFMain {
 public:
  std::mt19937* random = nullptr;
  QStringList files;

 protected:
  QString ChooseFile(const OpenDialog&) override {
    if (files.isEmpty()) return {};
    return files[static_cast<int>((*random)() % static_cast<unsigned>(files.size()))];
  }
};

}  // namespace

class SoakTest : public QObject {
  Q_OBJECT

 private slots:
  void RandomUseNeverBreaksTheWindow() {
    const double seconds = qEnvironmentVariableIsSet("TERVIK_SOAK_SECONDS")
                               ? qEnvironmentVariable("TERVIK_SOAK_SECONDS").toDouble()
                               : 10.0;
    const unsigned seed =
        qEnvironmentVariableIsSet("TERVIK_SOAK_SEED")
            ? qEnvironmentVariable("TERVIK_SOAK_SEED").toUInt()
            : static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
    // Qt Test ends a function after QTEST_FUNCTION_TIMEOUT milliseconds (300 s unset): a soak
    // that cannot finish in that time fails now, saying so, not after the limit.
    const double limit = qEnvironmentVariableIsSet("QTEST_FUNCTION_TIMEOUT")
                             ? qEnvironmentVariable("QTEST_FUNCTION_TIMEOUT").toDouble() / 1000.0
                             : 300.0;
    if (seconds + 60.0 > limit) {
      QFAIL(qPrintable(QString("a soak of %1 s needs QTEST_FUNCTION_TIMEOUT above %2 ms")
                           .arg(seconds)
                           .arg((seconds + 60.0) * 1000.0, 0, 'f', 0)));
    }
    qInfo("soak seed %u for %.0f s", seed, seconds);
    std::mt19937 random(seed);
    auto pick = [&](unsigned n) { return static_cast<int>(random() % n); };

    QTemporaryDir dir;
    const QString oldCwd = QDir::currentPath();
    QDir::setCurrent(dir.path());
    // A copy of the examples: the emulator keeps each program's breakpoints in a session file
    // beside it, which must land in the test's folder, not in the source tree.
    const QString examples = dir.filePath("examples");
    QDir().mkpath(examples);
    for (const QString& name : QDir(TERVIK_EXAMPLES_DIR).entryList(QDir::Files))
      QFile::copy(QString(TERVIK_EXAMPLES_DIR) + "/" + name, examples + "/" + name);
    std::ofstream(dir.filePath("default.map").toStdString())
        << "0x0 0x400 ROM\n0x1000 0x400 RAM\n0x7000 0x4 DLL libtervik_terminal.so\n";
    std::ofstream(dir.filePath("bad.lst").toStdString()) << "0100 1x1\n\x01\x02\xff garbage\n";
    std::ofstream(dir.filePath("bad.map").toStdString()) << "0x0 0xFFFFFFFF RAM\nnot a map\n";
    {
      SoakMain main;
      main.random = &random;
      main.files = {examples + "/counter.lst",
                    examples + "/stack.lst",
                    examples + "/hello.lst",
                    examples + "/default.map",
                    dir.filePath("default.map"),
                    dir.filePath("bad.lst"),
                    dir.filePath("bad.map"),
                    dir.path(),
                    "/dev/zero",
                    dir.filePath("missing.lst"),
                    {}};
      main.FormCreate();
      main.show();
      TFAbout about(&main);
      FAbout = &about;

      // Any modal window (About, a message, a prompt) is closed again soon, as a user would.
      QTimer closer;
      connect(&closer, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
      });
      closer.start(30);

      std::vector<QAction*> actions(main.ActionList1.begin(), main.ActionList1.end());
      actions.erase(std::remove(actions.begin(), actions.end(), main.ActionQuit), actions.end());
      actions.erase(std::remove(actions.begin(), actions.end(), main.ActionManual), actions.end());
      for (QAction* a :
           {main.ActionStepOver, main.ActionStepOut, main.ActionStepLine, main.ActionRunToCursor,
            main.ActionStopWhenHalted, main.ActionLiveViews, main.ActionShowBreakpoints,
            main.ActionShowDebugToolBar, main.Views()->ActionShowWatch,
            main.Views()->ActionShowCallStack, main.Views()->ActionShowSymbols, FDebug->ActionClear,
            FDebug->ActionCopyAll}) {
        actions.push_back(a);
      }
      // Watch expressions that read registers, memory, a module's word and nothing valid.
      for (const char* text : {"R1 + R2", "M[SP - 1]", "M[0x7000]", "start", "1 / R0", "(("}) {
        main.Views()->Watches()->Model()->Add(text);
      }
      TFWatch& watch = *main.Views()->Watches();
      TFCallStack& stack = *main.Views()->CallStack();
      TFSymbols& symbols = *main.Views()->Symbols();
      // The reverse commands, also during runs (when they are disabled, as the forward ones).
      const THistoryActions* history = main.History();
      for (QAction* a :
           {history->ActionStepBack, history->ActionStepOverBack, history->ActionStepOutBack,
            history->ActionContinueBack, history->ActionRunBackToCursor, history->ActionPresent,
            history->ActionRecord}) {
        actions.push_back(a);
      }
      // The Source window with a copy of an example, edited, assembled and debugged at random.
      QFile::copy(examples + "/stack.asm", dir.filePath("stack.asm"));
      main.Program()->OpenSource(dir.filePath("stack.asm").toStdString());
      TFSource* source = main.Source();
      source->SetChooseSavePath([&dir](const QString&) { return dir.filePath("new.asm"); });
      const std::vector<QAction*> sourceActions = {source->ActionNewSource,  source->ActionSave,
                                                   source->ActionAssemble,   source->ActionUndo,
                                                   source->ActionRedo,       source->ActionClose,
                                                   source->ActionFind,       source->ActionGoToLine,
                                                   source->ActionDefinition, source->ActionBack};
      const char* const typed[] = {"x", "\n", " ", "NOP", "R1", ":", ";", "\"", "0x", "LI"};
      const std::vector<QDockWidget*> docks = {FCPU,   FReg,   FDebug, FMem,
                                               source, &watch, &stack, &symbols};
      const std::vector<QWidget*> surfaces = {
          FCPU->PB1, FReg, FMem, FDebug->ListBox1, watch.Table, stack.Table, symbols.Table};
      const int keys[] = {Qt::Key_Up,     Qt::Key_Down, Qt::Key_PageUp, Qt::Key_PageDown,
                          Qt::Key_Home,   Qt::Key_F7,   Qt::Key_F8,     Qt::Key_F4,
                          Qt::Key_Escape, Qt::Key_G,    Qt::Key_Return, Qt::Key_1};

      // One random thing a user does.
      auto act = [&] {
        switch (pick(11)) {
          case 0:
          case 1:
          case 2: {
            QAction* a = actions[static_cast<size_t>(pick(static_cast<unsigned>(actions.size())))];
            // A run ends by itself or by a Stop that arrives later, as from a user.
            if (a == main.ActionRun || a == main.ActionStepOut || a == main.ActionStepOver ||
                a == main.ActionStepLine || a == main.ActionRunToCursor) {
              QTimer::singleShot(pick(60), &main, [&main] { main.ActionStop->trigger(); });
            }
            a->trigger();
            break;
          }
          case 3: {
            QWidget* w = surfaces[static_cast<size_t>(pick(surfaces.size()))];
            const QPoint at(pick(static_cast<unsigned>(std::max(1, w->width()))),
                            pick(static_cast<unsigned>(std::max(1, w->height()))));
            if (pick(3) == 0) {
              QTest::mouseDClick(w, Qt::LeftButton, {}, at);
            } else {
              QTest::mouseClick(w, Qt::LeftButton, {}, at);
            }
            break;
          }
          case 4: {
            QWidget* w = surfaces[static_cast<size_t>(pick(surfaces.size()))];
            const QPoint at(w->width() / 2, w->height() / 2);
            QWheelEvent wheel(at, w->mapToGlobal(at), {}, QPoint(0, pick(721) - 360), Qt::NoButton,
                              {}, Qt::NoScrollPhase, false);
            QApplication::sendEvent(w, &wheel);
            break;
          }
          case 5: {
            QWidget* w = surfaces[static_cast<size_t>(pick(surfaces.size()))];
            const int key = keys[pick(std::size(keys))];
            if (key == Qt::Key_F4 || key == Qt::Key_F8) {  // these may start a long run
              QTimer::singleShot(pick(60), &main, [&main] { main.ActionStop->trigger(); });
            }
            QTest::keyClick(w, static_cast<Qt::Key>(key),
                            key == Qt::Key_G ? Qt::ControlModifier : Qt::NoModifier);
            break;
          }
          case 6: {
            QDockWidget* d = docks[static_cast<size_t>(pick(docks.size()))];
            d->setFloating(!d->isFloating());
            if (pick(4) == 0) d->close();
            break;
          }
          case 7: {
            const uint32_t a = static_cast<uint32_t>(pick(0x20)) + (pick(2) ? 0x1000u : 0u);
            if (pick(5) == 0) {
              main.History()->LastWriteOfWord(a);
            } else if (pick(3) != 0) {
              main.ToggleBreakpoint(a);
            } else if (pick(4) == 0) {
              main.Session().ClearWatchpoints();
            } else {  // a watchpoint on words the programs store to, load from or never touch
              main.Session().AddWatchpoint(a, a + pick(16),
                                           static_cast<tervik::debug::WatchAccess>(pick(3)));
            }
            break;
          }
          case 8: {
            TSourceEditor* e = source->Current();
            const long length = e == nullptr ? 0 : e->SendScintilla(QsciScintilla::SCI_GETLENGTH);
            const long at = pick(static_cast<unsigned>(length + 1));
            switch (pick(5)) {
              case 0:
                sourceActions[static_cast<size_t>(pick(sourceActions.size()))]->trigger();
                break;
              case 1:
                if (e != nullptr) {
                  e->SendScintilla(QsciScintilla::SCI_GOTOPOS, static_cast<unsigned long>(at));
                  e->insert(typed[pick(std::size(typed))]);
                  e->UpdateAliases();
                }
                break;
              case 2:
                if (e != nullptr) emit e->marginLineClicked(pick(40) + 1);
                break;
              case 3:
                if (e != nullptr) {
                  source->HoverText(e, at);
                  source->GoToDefinition(e, at);
                }
                break;
              default: source->ShowPc(); break;
            }
            break;
          }
          case 9: {  // a filter typed, a watch expression removed or added
            if (pick(2) == 0) {
              symbols.Filter->setText(QString::number(pick(20), 16));
            } else if (watch.Model()->rowCount() > 8) {
              watch.Model()->Remove(static_cast<int>(pick(8)));
            } else {
              watch.Model()->Add(pick(2) ? "M[R1]" : "SP - STACK");
            }
            break;
          }
          default: QCoreApplication::processEvents(); break;
        }
      };

      // Commands are given from inside the event loop, so that some arrive during runs.
      const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
      long count = 0;
      QTimer driver;
      connect(&driver, &QTimer::timeout, [&] {
        if (std::chrono::steady_clock::now() >= end) {
          driver.stop();
          if (main.Running()) main.ActionStop->trigger();
          QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
          return;
        }
        ++count;
        act();
      });
      driver.start(0);
      QApplication::exec();
      qInfo("soak: %ld actions", count);

      // Afterwards the window works as at the start.
      QVERIFY(!main.Running());
      for (QAction* a : main.ActionList1) QVERIFY(a->isEnabled());
      main.LoadMemoryMap((examples + "/default.map").toStdString());
      main.LoadListing((examples + "/counter.lst").toStdString());
      main.Cpu().SetPC(0);
      main.ActionStep->trigger();
      QCOMPARE(main.Cpu().GetPC(), 1u);
      QVERIFY(count > 0);
      FAbout = nullptr;
    }
    QDir::setCurrent(oldCwd);
  }
};

QTEST_MAIN(SoakTest)
#include "SoakTest.moc"
