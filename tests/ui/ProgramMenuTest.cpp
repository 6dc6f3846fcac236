// A program opened from its source, as a user does it: the listing and symbols beside it, the
// labels and targets in the disassembly, pc's place in the status bar, a failed build that
// leaves the running program alone, and a reload when the source is saved that keeps the
// breakpoints at their labels.
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <memory>

#include "PathNames.h"
#include "ProgramFiles.h"
#include "ProgramMenu.h"
#include "TestFolder.h"
#include "Tfcpu.h"
#include "Tfdebug.h"
#include "Tfmain.h"

namespace {

using tervik::uitest::LastLine;
using tervik::uitest::WriteFile;

const char* const kSource =
    "start:  MOVEL   R9,count%\n"
    "loop:   CALL    R9\n"
    "        JUMPI   loop\n"
    "count:  ADDI    R1,R1,H#1\n"
    "        RET\n";

}  // namespace

class ProgramMenuTest : public QObject {
  Q_OBJECT

 private:
  tervik::uitest::TestFolder dir_;

 private slots:
  void init() {
    dir_.Enter();
    WriteFile(dir_.filePath("default.map"), "0x0 0x400 RAM\n");
  }
  void cleanup() { dir_.Leave(); }

  void SourceLabelsReloadAndErrors() {
    TFMain main;
    main.FormCreate();
    const QString source = dir_.filePath("prog.asm");
    WriteFile(source, kSource);
    QVERIFY(main.Program()->OpenSource(source.toStdString()));
    QCOMPARE(LastLine(1), QString("Loaded 3 symbols from prog.sym"));  // the working folder
    QCOMPARE(LastLine(), QString("No session file prog.session: no breakpoints or watches to "
                                 "restore"));
    QVERIFY(QFileInfo::exists(dir_.filePath("prog.lst")));
    QCOMPARE(main.PlaceText->text(), QString("pc: start"));

    // The labels at their rows; the targets of MOVEL and of the jump.
    DisassemblyRow row;
    FCPU->PrepareRow(row, 0, 0);
    QCOMPARE(*row.label, std::string("start"));
    QCOMPARE(*row.target, std::string("count"));
    FCPU->PrepareRow(row, 2, 0);
    QCOMPARE(*row.target, std::string("loop"));

    // A breakpoint at count+1 (the RET), and pc inside the program.
    main.ToggleBreakpoint(4);
    main.Cpu().SetPC(4);
    main.RefreshViews();
    QCOMPARE(main.PlaceText->text(), QString("pc: count+1"));

    // A bad edit: the console names the line, memory and breakpoints stay as they were.
    WriteFile(source, std::string(kSource) + "        ADDI R1,R1,R1\n");
    QTRY_VERIFY_WITH_TIMEOUT(LastLine().contains("prog.asm:6:20: error:"), 5000);
    QCOMPARE(main.Cpu().ReadMem(4), main.Session().PeekWord(4).value());
    QCOMPARE(main.Session().Breakpoints(), std::vector<uint32_t>{4});

    // Mended with two more words before count: the reload moves the breakpoint with it.
    std::string mended = kSource;
    mended.insert(mended.find("count:"), "        NOP\n        NOP\n");
    WriteFile(source, mended);
    QTRY_COMPARE_WITH_TIMEOUT(main.Session().Breakpoints(), std::vector<uint32_t>{6}, 5000);
    QCOMPARE(*main.Session().Symbols().Value("count"), 5u);

    // Reload previous LST file assembles the source again; Load LST forgets it.
    main.ActionReloadLST->trigger();
    QCOMPARE(LastLine(1), QString("Loaded 3 symbols from prog.sym"));  // the working folder
    QCOMPARE(LastLine(), QString("Reloaded prog.asm (Reload previous LST file): processor reset"));
    QVERIFY(main.Program()->FromSource());

    // Without a symbol file, a listing loads as it always did: no symbols, no place.
    QFile::remove(dir_.filePath("prog.sym"));
    main.Program()->Forget();
    main.LoadListing(dir_.filePath("prog.lst").toStdString());
    QVERIFY(main.Session().Symbols().empty());
    QCOMPARE(main.PlaceText->text(), QString());
  }

  // A source saved during a run stops the run, then reloads: the fresh start is not run on from
  // the old program's place. Opening another program waits for the run's end too.
  void ASaveDuringARunStopsItAndReloads() {
    TFMain main;
    main.FormCreate();
    const QString source = dir_.filePath("busy.asm");
    WriteFile(source, kSource);
    QVERIFY(main.Program()->OpenSource(source.toStdString()));
    bool openDuringRun = true;
    QTimer::singleShot(300, [&] {
      openDuringRun = main.Program()->ActionOpenSource->isEnabled();
      WriteFile(source, std::string(kSource) + "; saved\n");
    });
    bool late = false;  // the reload did not end the run: stopped by the test instead
    QTimer safety;
    safety.setSingleShot(true);
    connect(&safety, &QTimer::timeout, [&] {
      late = true;
      main.ActionStop->trigger();
    });
    safety.start(10000);
    main.ActionRun->trigger();
    safety.stop();
    QVERIFY(!late);
    QVERIFY(!openDuringRun);
    QVERIFY(main.Program()->ActionOpenSource->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(
        LastLine(), QString("Reloaded busy.asm (changed on disk): processor reset"), 5000);
    QVERIFY(LastLine(1).startsWith("Stopped at ") || LastLine(2).startsWith("Stopped at "));
    QCOMPARE(main.Cpu().GetPC(), 0u);
    QVERIFY(!main.Running());
  }

  // A folder and files whose names hold the byte FF, which is not UTF-8: Qt shows them with
  // U+FFFD, as its file dialog and the command line hand them over, and the window still opens
  // the very files.
  void NamesThatAreNotUtf8() {
    const std::filesystem::path folder = std::filesystem::path(dir_.path().toStdString()) / "d\xff";
    std::filesystem::create_directory(folder);
    // QTemporaryDir cannot name what is inside to remove it.
    const std::unique_ptr<const std::filesystem::path, void (*)(const std::filesystem::path*)>
        removed(&folder, [](const std::filesystem::path* f) { std::filesystem::remove_all(*f); });
    const std::string map = (folder / "m\xffx.map").string();
    const std::string source = (folder / "p\xff.asm").string();
    const std::string listing = (folder / "p\xff.lst").string();
    std::ofstream(map, std::ios::binary) << "0x0 0x400 ROM\n";
    std::ofstream(source, std::ios::binary) << kSource;
    const auto shown = [](const std::string& bytes) { return QFile::decodeName(bytes.c_str()); };
    QVERIFY(shown(map).contains(QChar::ReplacementCharacter));

    TFMain main;
    main.FormCreate(shown(map));
    QVERIFY2(!LastLine().contains("Error opening"), qPrintable(LastLine()));
    QVERIFY(main.Program()->OpenSource(tervik::platform::LocalPath(shown(source))));
    QCOMPARE(main.Cpu().Regions().size(), size_t{1});
    QCOMPARE(main.Cpu().Regions()[0].type, tervik::RegionType::ROM);
    const uint32_t first = main.Cpu().ReadMem(0);
    QVERIFY(first != 0);
    main.ActionClearMemExecute();
    QCOMPARE(main.Cpu().ReadMem(0), 0u);
    main.OpenListing(shown(listing));
    QCOMPARE(main.Cpu().ReadMem(0), first);
    const size_t lines = FDebug->Model()->LineCount();
    QCOMPARE(std::string(FDebug->Model()->Line(lines - 1)),
             "Loaded 3 symbols from " + tervik::debug::ShownPath((folder / "p\xff.sym").string()));

    // Two names that differ only in bytes that are not UTF-8 look alike: none is guessed.
    std::ofstream(folder / "a\xfe.lst") << "";
    std::ofstream(folder / "a\xff.lst") << "";
    const std::string ambiguous =
        tervik::platform::LocalPath(shown((folder / "a\xff.lst").string()));
    QVERIFY(ambiguous != (folder / "a\xff.lst").string());
    QVERIFY(ambiguous != (folder / "a\xfe.lst").string());
  }

  // A build that failed for want of an included file reloads once the file is created, in the
  // source's folder, in a folder that did not exist yet, or below it.
  void AMissingIncludeReloadsWhenItAppears_data() {
    QTest::addColumn<QString>("include");
    QTest::newRow("beside the source") << "defs.inc";
    QTest::newRow("in a folder not there yet") << "defs/consts.inc";
    QTest::newRow("two folders not there yet") << "lib/defs/consts.inc";
  }
  void AMissingIncludeReloadsWhenItAppears() {
    QFETCH(QString, include);
    QTemporaryDir dir;
    TFMain main;
    main.FormCreate();
    const QString source = dir.filePath("prog.asm");
    WriteFile(source, "        INCLUDE \"" + include.toStdString() +
                          "\"\nstart:  MOVEL   R1,ANSWER%\nhalt:   JUMPI   halt\n");
    QVERIFY(!main.Program()->OpenSource(source.toStdString()));
    bool missing = false;
    for (size_t i = 0; i < FDebug->Model()->LineCount(); ++i) {
      missing |= std::string(FDebug->Model()->Line(i)).find("cannot read") != std::string::npos;
    }
    QVERIFY(missing);
    // The folders first, then, once the watch has seen them, the file.
    QDir(dir.path()).mkpath(QFileInfo(dir.filePath(include)).path());
    QTest::qWait(600);
    WriteFile(dir.filePath(include), "ANSWER  EQU     42\n");
    // The path as the working folder of the moment shows it: whole, or relative in it. The
    // program was never loaded, so this is its first opening, with no session file yet.
    QTRY_VERIFY_WITH_TIMEOUT(LastLine(1).startsWith("Loaded 3 symbols from ") &&
                                 LastLine(1).endsWith("prog.sym") &&
                                 LastLine().startsWith("No session file "),
                             5000);
    QCOMPARE(main.Cpu().ReadMem(0) & 0xFFFFu, 42u);
  }

  // Open source writes the line table beside the listing, and Step line goes by source lines:
  // an LI and a CALLTO of several words are one step each, and the CALLTO stops on the first
  // line of the subroutine in the included file.
  void StepLineAcrossAnInclude() {
    TFMain main;
    main.FormCreate();
    WriteFile(dir_.filePath("lib.inc"),
              "twice:  ADD     R2,R1,R1\n"
              "        RET\n");
    const QString source = dir_.filePath("main.asm");
    WriteFile(source,
              "start:  MVSPL   H#300%\n"
              "        LI      R1,H#12345678\n"
              "        CALLTO  R9,twice\n"
              "        LI      R4,-5\n"
              "halt:   JUMPI   halt%\n"
              "        INCLUDE \"lib.inc\"\n");
    QVERIFY(main.Program()->OpenSource(source.toStdString()));
    QVERIFY(QFileInfo::exists(dir_.filePath("main.lines")));
    main.Cpu().SetPC(0);
    const struct {
      uint32_t pc;
      const char* line;
    } steps[] = {
        {1, "Stepped to 00000001 (main.asm:2) after 1 instruction"},
        {3, "Stepped to 00000003 (main.asm:3) after 2 instructions"},
        {8, "Stepped to 00000008 (lib.inc:1) after 3 instructions"},
        {9, "Stepped to 00000009 (lib.inc:2) after 1 instruction"},
        {6, "Stepped to 00000006 (main.asm:4) after 1 instruction"},
    };
    for (const auto& step : steps) {
      main.ActionStepLine->trigger();
      QCOMPARE(main.Cpu().GetPC(), step.pc);
      QCOMPARE(LastLine(), QString(step.line));
    }
    QCOMPARE(main.Cpu().r[2], 0x2468ACF0u);
  }
};

QTEST_MAIN(ProgramMenuTest)
#include "ProgramMenuTest.moc"
