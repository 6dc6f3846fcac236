// The window's layout and settings: the floating sizes, the default widths, where a window shown
// first floats, the files the command line opens, the settings kept from one run to the next and
// a settings file that is broken or off every screen. Every settings file lives in a temporary
// folder.
#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>
#include <functional>

#include "DockLayout.h"
#include "ProgramMenu.h"
#include "RecentFiles.h"
#include "TestFolder.h"
#include "Tfcpu.h"
#include "Tfdebug.h"
#include "Tfmain.h"
#include "Tfmem.h"
#include "Tfreg.h"
#include "WindowSettings.h"

namespace {

using tervik::uitest::WriteFile;

QDockWidget* Dock(const QString& name) {
  if (name == "FCPU") return FCPU;
  if (name == "FReg") return FReg;
  if (name == "FDebug") return FDebug;
  return FMem;
}

bool OnSomeScreen(const QRect& frame) {
  for (const QScreen* screen : QGuiApplication::screens()) {
    const QRect seen = screen->availableGeometry().intersected(frame);
    if (seen.width() >= 40 && seen.height() >= 40) return true;
  }
  return false;
}

// The pinned windows are all shown, each docked with room to show something or floating where
// it can be seen.
void VerifyUsable(TFMain& main) {
  for (QDockWidget* dock : {Dock("FCPU"), Dock("FReg"), Dock("FDebug")}) {
    QVERIFY2(dock->isVisible(), qPrintable(dock->objectName()));
    if (dock->isFloating()) {
      QVERIFY2(OnSomeScreen(dock->frameGeometry()), qPrintable(dock->objectName()));
    } else {
      QVERIFY(main.dockWidgetArea(dock) != Qt::NoDockWidgetArea);
      QVERIFY2(dock->width() >= 40 && dock->height() >= 40, qPrintable(dock->objectName()));
    }
  }
  QVERIFY(OnSomeScreen(main.frameGeometry()));
  QVERIFY(main.ToolBar3->isVisible());
}

void VerifyDefaultLayout(TFMain& main) {
  QCOMPARE(main.dockWidgetArea(FCPU), Qt::TopDockWidgetArea);
  QCOMPARE(main.dockWidgetArea(FReg), Qt::TopDockWidgetArea);
  QCOMPARE(main.dockWidgetArea(FDebug), Qt::BottomDockWidgetArea);
  QVERIFY(!FCPU->isFloating() && !FReg->isFloating() && !FDebug->isFloating());
  QVERIFY(FCPU->geometry().right() < FReg->geometry().left());
  QVERIFY(FMem->isFloating() && FMem->isHidden());
}

// What a first run does to the window before it closes, or to its settings file afterwards.
struct Spoil {
  std::function<void(TFMain&)> beforeSave;
  std::function<void(const QString&)> afterSave;
  bool layoutKept;  // the saved layout is taken
};

}  // namespace

class WindowSettingsTest : public QObject {
  Q_OBJECT

 private:
  tervik::uitest::TestFolder dir_;

  QString SettingsFile() const { return dir_.filePath("settings/tervik.conf"); }

  // A window as the program starts it, with the settings file of the test.
  static std::unique_ptr<TFMain> Start(const QString& settings,
                                       const QString& map = "default.map") {
    auto main = std::make_unique<TFMain>();
    if (!settings.isEmpty()) main->UseSettings(settings);
    main->FormCreate(map);
    main->show();
    if (!QTest::qWaitForWindowExposed(main.get())) return nullptr;
    QCoreApplication::processEvents();
    return main;
  }

 private slots:
  void initTestCase() {
    // Nothing here may reach the user's own settings.
    QStandardPaths::setTestModeEnabled(true);
  }
  void init() {
    dir_.Enter();
    QFile::remove(SettingsFile());
    WriteFile(dir_.filePath("default.map"), "0x0 0x400 ROM\n");
    WriteFile(dir_.filePath("other.map"), "0x0 0x400 ROM\n0x1000 0x400 RAM\n");
    QDir(dir_.path()).mkpath("programs");
    WriteFile(dir_.filePath("programs/one.lst"), "00010 00000000000000000000000000000001 ; one\n");
  }
  void cleanup() { dir_.Leave(); }

  // Undocked, each window takes its own floating size, whatever size it had docked.
  void UndockedWindowsTakeTheirFloatingSizes_data() {
    QTest::addColumn<QString>("dock");
    QTest::addColumn<QSize>("size");
    QTest::newRow("disassembly") << "FCPU" << QSize(221, 411);
    QTest::newRow("registers") << "FReg" << QSize(353, 439);
    QTest::newRow("console") << "FDebug" << QSize(508, 176);
    QTest::newRow("memory dump") << "FMem" << QSize(358, 338);
  }
  void UndockedWindowsTakeTheirFloatingSizes() {
    QFETCH(QString, dock);
    QFETCH(QSize, size);
    auto main = Start({});
    QVERIFY(main);
    QDockWidget* window = Dock(dock);
    if (window->isFloating()) {  // the memory dump: docked first, then undocked
      main->addDockWidget(Qt::RightDockWidgetArea, window);
      window->setFloating(false);
      window->show();
      QCoreApplication::processEvents();
    }
    QVERIFY(!window->isFloating());
    QVERIFY(window->size() != size);
    window->setFloating(true);
    QCoreApplication::processEvents();
    QCOMPARE(window->size(), size);
    // Docked and undocked again: the same size again, not the docked one.
    window->setFloating(false);
    QCoreApplication::processEvents();
    window->setFloating(true);
    QCoreApplication::processEvents();
    QCOMPARE(window->size(), size);
  }

  // The default layout gives the registers their whole rows and the disassembly the rest, which
  // holds its comment column whenever the screen is wide enough.
  void TheDefaultLayoutShowsTheColumns() {
    auto main = Start({});
    QVERIFY(main);
    VerifyDefaultLayout(*main);
    const int regWidth = tervik::ui::RegisterDockWidth(FReg->CharWidth());
    const int cpuWidth = tervik::ui::DisassemblyDockWidth(FCPU->CharWidth());
    QVERIFY(FReg->width() >= regWidth - 8);
    // The test's screen (wide-screen.json) has room for both.
    QVERIFY(main->screen()->availableGeometry().width() >= cpuWidth + regWidth + 8);
    QVERIFY(FCPU->width() >= cpuWidth);
    // A taller window gives what it gains to the disassembly and registers, not the console.
    const int console = FDebug->height();
    const int cpu = FCPU->height();
    main->resize(main->width(), main->height() + 200);
    QTRY_COMPARE(FCPU->height(), cpu + 200);
    QCOMPARE(FDebug->height(), console);
  }

  // Sizes and places by the screen: the default window size, and where a window first floats.
  void DefaultSizeAndFirstPlace_data() {
    QTest::addColumn<QRect>("room");
    QTest::addColumn<QRect>("frame");  // the main window, for the floating window's place
    QTest::addColumn<QSize>("expectedSize");
    QTest::addColumn<QPoint>("expectedPlace");
    const int charWidth = 7;
    const int wide =
        tervik::ui::DisassemblyDockWidth(charWidth) + tervik::ui::RegisterDockWidth(charWidth) + 8;
    QTest::newRow("wide screen, room on the right")
        << QRect(0, 0, 1920, 1080) << QRect(0, 0, 1000, 600) << QSize(wide, 613) << QPoint(1008, 0);
    QTest::newRow("screen just too narrow: over the window's right edge")
        << QRect(0, 0, 1280, 1024) << QRect(0, 0, 1122, 613) << QSize(wide, 613)
        << QPoint(1280 - 358, 0);
    QTest::newRow("small screen: the window fits it")
        << QRect(0, 0, 800, 600) << QRect(0, 0, 800, 600) << QSize(800, 600) << QPoint(442, 0);
    QTest::newRow("window below the bottom edge: moved up")
        << QRect(0, 0, 1920, 1080) << QRect(100, 900, 500, 400) << QSize(wide, 613)
        << QPoint(608, 1080 - 338);
    QTest::newRow("second screen to the right, panel on top")
        << QRect(1920, 30, 1280, 994) << QRect(1920, 30, 900, 600) << QSize(wide, 613)
        << QPoint(2828, 30);
    QTest::newRow("no screen known")
        << QRect() << QRect(-50, -20, 861, 613) << QSize(wide, 613) << QPoint(819, -20);
  }
  void DefaultSizeAndFirstPlace() {
    QFETCH(QRect, room);
    QFETCH(QRect, frame);
    QFETCH(QSize, expectedSize);
    QFETCH(QPoint, expectedPlace);
    QCOMPARE(tervik::ui::DefaultWindowSize(7, room), expectedSize);
    QCOMPARE(tervik::ui::BesideFrame(frame, QSize(358, 338), room), expectedPlace);
  }

  // A window shown for the first time floats beside the main window, clear of its title band
  // (title bar and menu bar) and of the windows already floating.
  void FreePlaceKeepsClear() {
    const QSize size(358, 338);
    const struct {
      const char* name;
      QRect room, frame;
      std::vector<QRect> taken;
      QPoint expected;
    } cases[] = {
        {"room on the right", {0, 0, 1920, 1080}, {0, 0, 1000, 600}, {}, {1008, 0}},
        {"below the first",
         {0, 0, 1920, 1080},
         {0, 0, 1000, 600},
         {{1008, 0, 358, 338}},
         {1008, 346}},
        {"right column full",
         {0, 0, 1920, 800},
         {0, 0, 1000, 600},
         {{1008, 0, 358, 338}, {1008, 346, 358, 338}},
         {1562, 0}},
        {"room on the left", {0, 0, 1600, 900}, {400, 0, 1150, 600}, {}, {34, 0}},
        {"screen too narrow: over the window, below its title band",
         {0, 0, 1280, 1024},
         {0, 0, 1122, 613},
         {},
         {922, 58}},
        {"over the window, below the one there",
         {0, 0, 1280, 1024},
         {0, 0, 1122, 613},
         {{922, 58, 358, 338}},
         {922, 404}},
        {"no screen known", {}, {-50, -20, 861, 613}, {}, {819, -20}},
    };
    for (const auto& c : cases) {
      QCOMPARE(tervik::ui::FreePlace(c.frame, 50, size, c.room, c.taken), c.expected);
      const QRect placed(c.expected, size);
      for (const QRect& t : c.taken) QVERIFY2(!t.intersects(placed), c.name);
    }
  }

  // A window mostly off its screen comes fully onto it; one mostly on it stays.
  void KeepOnScreenMovesAMostlyHiddenWindow() {
    QWidget window;
    window.resize(300, 200);
    window.show();
    const QRect room = window.screen()->availableGeometry();
    window.move(room.right() - 100, room.top() + 50);
    QVERIFY(tervik::ui::KeepOnScreen(window));
    QVERIFY(room.contains(window.geometry()));
    window.move(room.right() - 200, room.top() + 50);  // two thirds show
    QVERIFY(!tervik::ui::KeepOnScreen(window));
  }

  // The memory dump shown the first time floats beside the main window.
  void TheMemoryDumpFirstShowsBesideTheWindow() {
    auto main = Start({});
    QVERIFY(main);
    main->move(20, 20);
    main->ActionShowMemory->trigger();
    QVERIFY(FMem->isVisible());
    const QPoint place = FMem->pos();
    const QRect room = main->screen()->availableGeometry();
    QCOMPARE(place, tervik::ui::BesideFrame(main->frameGeometry(), FMem->size(), room));
    QVERIFY(place != room.topLeft());
  }

  // The command line's files: a map instead of default.map, a listing as "Load LST file" opens it.
  void TheCommandLineOpensItsFiles() {
    auto main = Start({}, dir_.filePath("other.map"));
    QVERIFY(main);
    QCOMPARE(std::string(FDebug->Model()->Line(0)),
             "Loading memory map from " + dir_.filePath("other.map").toStdString() + "...");
    QCOMPARE(main->Cpu().Regions().size(), size_t{2});
    main->OpenListing("programs/one.lst");  // relative to the folder the program started in
    QCOMPARE(QDir::currentPath(), QDir(dir_.filePath("programs")).canonicalPath());
    QCOMPARE(main->Cpu().ReadMem(0x10), 1u);
    main->Cpu().WriteMem(0x10, 7);
    main->ActionReloadLST->trigger();  // "Reload previous LST file" knows it
    QCOMPARE(main->Cpu().ReadMem(0x10), 1u);
    main->OpenMap(dir_.filePath("default.map"));
    QCOMPARE(main->Cpu().Regions().size(), size_t{1});
    QCOMPARE(main->Recent()->Files(),
             (QStringList{dir_.filePath("default.map"), dir_.filePath("programs/one.lst")}));
  }

  // Options, recent files, folders and the layout come back in the next run; a file that is
  // broken, older or describes a layout that cannot be used leaves the defaults.
  void SettingsComeBackOrFallBack_data() {
    QTest::addColumn<int>("row");
    QTest::newRow("round trip") << 0;
    QTest::newRow("garbage file") << 1;
    QTest::newRow("layout of another version") << 2;
    QTest::newRow("layout bytes broken") << 3;
    QTest::newRow("a pinned window hidden") << 4;
    QTest::newRow("a floating window off every screen") << 5;
    QTest::newRow("main window off every screen") << 6;
    QTest::newRow("options that are not booleans") << 7;
    QTest::newRow("empty file") << 8;
    QTest::newRow("a floating window mostly off its screen") << 9;
  }
  void SettingsComeBackOrFallBack() {
    QFETCH(int, row);
    const QString file = SettingsFile();
    auto setValue = [file](const char* key, const QVariant& value) {
      QSettings settings(file, QSettings::IniFormat);
      settings.setValue(key, value);
    };
    const Spoil spoils[] = {
        {{}, {}, true},
        {{},
         [](const QString& f) { WriteFile(f, std::string("\0\xff[[[=\n@ByteArray(\x01", 18)); },
         false},
        {{}, [&](const QString&) { setValue("layout/version", 0); }, false},
        {{}, [&](const QString&) { setValue("layout/state", QByteArray("\x00\x01zz", 4)); }, false},
        {[](TFMain&) { FReg->hide(); }, {}, false},
        {[](TFMain&) { FReg->move(20000, 20000); }, {}, true},
        {{},
         [&](const QString&) {
           // The geometry of a window far outside every screen.
           QWidget far;
           far.setGeometry(-30000, -30000, 700, 500);
           setValue("layout/geometry", far.saveGeometry());
         },
         true},
        {{}, [&](const QString&) { setValue("debug/liveViews", "perhaps"); }, true},
        {{}, [](const QString& f) { WriteFile(f, ""); }, false},
        {[](TFMain& main) {
           // Only a 100-pixel strip shows at the screen's right edge.
           const QRect room = main.screen()->availableGeometry();
           FReg->move(room.right() - 100, room.top() + 100);
         },
         {},
         true},
    };
    const Spoil& spoil = spoils[row];

    // The first run changes every option from its default and floats the registers.
    {
      auto main = Start(file);
      QVERIFY(main);
      main->ActionStopWhenHalted->setChecked(false);
      main->ActionLiveViews->setChecked(false);
      main->ActionTranslate->setChecked(false);
      QCOMPARE(main->Session().Engine(), tervik::jit::EngineKind::Interpreter);
      main->Program()->ActionReloadOnChange->setChecked(false);
      main->ActionShowDebugToolBar->trigger();
      FReg->setFloating(true);
      FReg->move(main->frameGeometry().topLeft() + QPoint(40, 60));
      FReg->resize(300, 320);
      QCoreApplication::processEvents();
      main->OpenListing(dir_.filePath("programs/one.lst"));
      main->OpenMap(dir_.filePath("other.map"));
      main->Settings()->NoteFolder("lst", dir_.filePath("programs"));
      if (spoil.beforeSave) spoil.beforeSave(*main);
      main->close();
    }
    QVERIFY(QFileInfo::exists(file));
    if (spoil.afterSave) spoil.afterSave(file);

    auto main = Start(file);
    QVERIFY(main);
    VerifyUsable(*main);
    if (QTest::currentTestFailed()) return;
    const bool fileReadable = row != 1 && row != 8;
    QCOMPARE(main->ActionStopWhenHalted->isChecked(), !fileReadable);
    QCOMPARE(main->ActionLiveViews->isChecked(), !fileReadable || row == 7);
    // The engine follows the setting: the translator by default where the build has it.
    const bool translate = tervik::jit::TranslatorAvailable() && !fileReadable;
    QCOMPARE(main->ActionTranslate->isChecked(), translate);
    QCOMPARE(main->Session().Engine(), translate ? tervik::jit::EngineKind::Translator
                                                 : tervik::jit::EngineKind::Interpreter);
    QCOMPARE(main->Program()->ActionReloadOnChange->isChecked(), !fileReadable);
    const QStringList recent = {dir_.filePath("other.map"), dir_.filePath("programs/one.lst")};
    QCOMPARE(main->Recent()->Files(), fileReadable ? recent : QStringList());
    QCOMPARE(main->Settings()->LastFolder("lst"),
             fileReadable ? dir_.filePath("programs") : QString());
    if (spoil.layoutKept) {
      QVERIFY(FReg->isFloating());
      QVERIFY(!main->DebugToolBar->isHidden());
      if (row == 0) QCOMPARE(FReg->size(), QSize(300, 320));
      if (row == 9) {  // brought onto the screen (the offscreen frame adds 2 pixels around)
        QVERIFY(main->screen()->availableGeometry().contains(FReg->geometry()));
      }
    } else {
      VerifyDefaultLayout(*main);
    }
    // "Reset layout" brings the default back from any of them.
    main->ActionResetLayout->trigger();
    QCoreApplication::processEvents();
    VerifyDefaultLayout(*main);
    VerifyUsable(*main);
  }

  // A saved geometry counts only when the window's title bar is on a screen (1600 x 1000 here),
  // cut to the screen's size; any other gives way to the default. Either way the title bar ends
  // on the screen with room to grab it, and the window fits the screen.
  void SavedGeometryNeedsItsTitleBarOnAScreen_data() {
    QTest::addColumn<QRect>("saved");
    QTest::addColumn<bool>("kept");  // the saved geometry comes back exactly
    QTest::newRow("on the screen") << QRect(100, 80, 700, 500) << true;
    QTest::newRow("partly right of the screen, title bar to grab")
        << QRect(1000, 100, 900, 500) << true;
    QTest::newRow("larger than the screen, at its corner") << QRect(0, 0, 32767, 32767) << false;
    QTest::newRow("larger than the screen, far right") << QRect(31616, 0, 32767, 32767) << false;
    QTest::newRow("larger than the screen, from far left")
        << QRect(-3000, 0, 32767, 32767) << false;
    QTest::newRow("left of every screen") << QRect(-3000, 0, 861, 613) << false;
    QTest::newRow("title bar above the screen") << QRect(100, -300, 700, 500) << false;
    QTest::newRow("title bar below the screen") << QRect(100, 990, 700, 500) << false;
    QTest::newRow("only a corner of the title bar on the screen")
        << QRect(1550, 100, 700, 500) << false;
  }
  void SavedGeometryNeedsItsTitleBarOnAScreen() {
    QFETCH(QRect, saved);
    QFETCH(bool, kept);
    const QString file = SettingsFile();
    {
      auto main = Start(file);
      QVERIFY(main);
      main->close();
    }
    {
      QWidget window;
      window.setGeometry(saved);
      QSettings(file, QSettings::IniFormat).setValue("layout/geometry", window.saveGeometry());
    }
    auto main = Start(file);
    QVERIFY(main);
    if (kept) QCOMPARE(main->geometry(), saved);
    const QRect screen = main->screen()->availableGeometry();
    const QRect frame = main->frameGeometry();
    const QRect bar(frame.left(), frame.top(), frame.width(),
                    std::max(main->geometry().top() - frame.top(), 24));
    const QRect seen = screen.intersected(bar);
    QVERIFY2(seen.height() == bar.height() && seen.width() >= std::min(bar.width(), 100),
             qPrintable(QString("title bar %1,%2 %3x%4")
                            .arg(bar.x())
                            .arg(bar.y())
                            .arg(bar.width())
                            .arg(bar.height())));
    QVERIFY(main->width() <= screen.width() && main->height() <= screen.height());
    VerifyUsable(*main);
  }

  // The recent list: newest first, no repeats, at most eight.
  void RecentFilesKeepTheNewestEight() {
    auto main = Start({});
    QVERIFY(main);
    TRecentFiles& recent = *main->Recent();
    for (int i = 0; i < 10; ++i) recent.Note(dir_.filePath(QString("f%1.lst").arg(i)));
    recent.Note(dir_.filePath("f5.lst"));
    QStringList expected;
    for (int i : {5, 9, 8, 7, 6, 4, 3, 2}) expected << dir_.filePath(QString("f%1.lst").arg(i));
    QCOMPARE(recent.Files(), expected);
  }
};

// The offscreen platform's own screen (800 x 600) is narrower than the default layout wants:
// this test runs on a wider one.
int main(int argc, char* argv[]) {
  const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
  if (platform.isEmpty() || platform == "offscreen")
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" TERVIK_WIDE_SCREEN);
  QApplication app(argc, argv);
  WindowSettingsTest test;
  return QTest::qExec(&test, argc, argv);
}
#include "WindowSettingsTest.moc"
