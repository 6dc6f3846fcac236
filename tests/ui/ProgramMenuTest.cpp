// A program opened from its source, as a user does it: the listing and symbols beside it, the
// labels and targets in the disassembly, pc's place in the status bar, a failed build that
// leaves the running program alone, and a reload when the source is saved that keeps the
// breakpoints at their labels.
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>

#include "ProgramMenu.h"
#include "Tfcpu.h"
#include "Tfdebug.h"
#include "Tfmain.h"

namespace {

void WriteFile(const QString& path, const std::string& text) {
  std::ofstream(path.toStdString(), std::ios::binary) << text;
}

QString LastLine() {
  const size_t n = FDebug->Model()->LineCount();
  return n == 0 ? QString() : QString::fromStdString(std::string(FDebug->Model()->Line(n - 1)));
}

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
  QTemporaryDir dir_;
  QString oldCwd_;

 private slots:
  void init() {
    oldCwd_ = QDir::currentPath();
    QDir::setCurrent(dir_.path());
    WriteFile(dir_.filePath("default.map"), "0x0 0x400 RAM\n");
  }
  void cleanup() { QDir::setCurrent(oldCwd_); }

  void SourceLabelsReloadAndErrors() {
    TFMain main;
    main.FormCreate();
    const QString source = dir_.filePath("prog.asm");
    WriteFile(source, kSource);
    QVERIFY(main.Program()->OpenSource(source.toStdString()));
    QCOMPARE(LastLine(), "Loaded 3 symbols from " + dir_.filePath("prog.sym"));
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
    QCOMPARE(LastLine(), "Loaded 3 symbols from " + dir_.filePath("prog.sym"));
    QVERIFY(main.Program()->FromSource());

    // Without a symbol file, a listing loads as it always did: no symbols, no place.
    QFile::remove(dir_.filePath("prog.sym"));
    main.Program()->Forget();
    main.LoadListing(dir_.filePath("prog.lst").toStdString());
    QVERIFY(main.Session().Symbols().empty());
    QCOMPARE(main.PlaceText->text(), QString());
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
    QTRY_COMPARE_WITH_TIMEOUT(LastLine(), "Loaded 3 symbols from " + dir.filePath("prog.sym"),
                              5000);
    QCOMPARE(main.Cpu().ReadMem(0) & 0xFFFFu, 42u);
  }
};

QTEST_MAIN(ProgramMenuTest)
#include "ProgramMenuTest.moc"
