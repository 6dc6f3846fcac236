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
    QCOMPARE(LastLine(), QString("Loaded 3 symbols from prog.sym"));  // the working folder
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
    QCOMPARE(LastLine(), QString("Loaded 3 symbols from prog.sym"));  // the working folder
    QVERIFY(main.Program()->FromSource());

    // Without a symbol file, a listing loads as it always did: no symbols, no place.
    QFile::remove(dir_.filePath("prog.sym"));
    main.Program()->Forget();
    main.LoadListing(dir_.filePath("prog.lst").toStdString());
    QVERIFY(main.Session().Symbols().empty());
    QCOMPARE(main.PlaceText->text(), QString());
  }
};

QTEST_MAIN(ProgramMenuTest)
#include "ProgramMenuTest.moc"
