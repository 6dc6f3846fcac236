// A peripheral module that throws during a run, a trace or a step over: the operation ends with
// a console line naming the module, its entry point and the instruction, the processor is after
// the last instruction that completed, the commands come back, and the window still closes.
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>

#include "Instruction.h"
#include "TestFolder.h"
#include "Tfdebug.h"
#include "Tfmain.h"

namespace {

using tervik::uitest::LastLine;
using tervik::uitest::WriteFile;

uint32_t Word(tervik::Opcode op, unsigned rd, unsigned ra, uint32_t low) {
  return static_cast<uint32_t>(op) << 26 | rd << 21 | ra << 16 | (low & 0xFFFFu);
}

}  // namespace

class ModuleFaultTest : public QObject {
  Q_OBJECT

 private:
  tervik::uitest::TestFolder dir_;

 private slots:
  void init() { dir_.Enter(); }
  void cleanup() { dir_.Leave(); }

  void AThrowingModuleEndsTheOperation_data() {
    QTest::addColumn<QString>("command");  // "run", "trace" (F7) or "over" (a plain word)
    QTest::addColumn<QString>("param");    // when the module throws
    QTest::addColumn<int>("commands");     // how often the command is given
    QTest::addColumn<QString>("entry");
    QTest::addColumn<uint32_t>("pc");
    QTest::addColumn<uint32_t>("r1");  // ADDIs done
    QTest::newRow("run, fifth load") << "run"
                                     << "read 5" << 1 << "ReadMem" << 0x1001u << 5u;
    QTest::newRow("run, third store") << "run"
                                      << "write 3" << 1 << "CPUWriteMem" << 0x1002u << 3u;
    QTest::newRow("run, tenth clock") << "run"
                                      << "clock 10" << 1 << "Clock" << 0x1001u << 3u;
    QTest::newRow("trace into, first load") << "trace"
                                            << "read 1" << 2 << "ReadMem" << 0x1001u << 1u;
    QTest::newRow("trace into, second clock") << "trace"
                                              << "clock 2" << 2 << "Clock" << 0x1001u << 1u;
    QTest::newRow("step over, first store") << "over"
                                            << "write 1" << 3 << "CPUWriteMem" << 0x1002u << 1u;
  }
  void AThrowingModuleEndsTheOperation() {
    QFETCH(QString, command);
    QFETCH(QString, param);
    QFETCH(int, commands);
    QFETCH(QString, entry);
    QFETCH(uint32_t, pc);
    QFETCH(uint32_t, r1);
    // A map names a module by a name found beside it (a path there is not a name).
    const QString module = QFileInfo(TERVIK_THROWER_MODULE).fileName();
    QFile::copy(TERVIK_THROWER_MODULE, dir_.filePath(module));
    WriteFile(dir_.filePath("default.map"), "0x0 0x400 ROM\n0x1000 0x400 RAM\n0x2000 0x4 DLL " +
                                                module.toStdString() + " " + param.toStdString() +
                                                "\n");
    TFMain main;
    main.FormCreate("default.map", true);  // named, as --map names it: its module is trusted
    main.show();
    QCOMPARE(main.Cpu().Regions().size(), size_t{3});
    // loop: ADDI R1,R1,1 ; LOADI R3,R5,0 ; STORE R6,R1 ; JUMPI loop, with R5, R6 in the module.
    using enum tervik::Opcode;
    tervik::Processor& cpu = main.Cpu();
    cpu.WriteMem(0x1000, Word(ADDI, 1, 1, 1));
    cpu.WriteMem(0x1001, Word(LOADI, 3, 5, 0));
    cpu.WriteMem(0x1002, Word(STORE, 0, 6, 1));
    cpu.WriteMem(0x1003, Word(JUMPI, 0, 0, 0xFFFD));
    cpu.r[5] = 0x2000;
    cpu.r[6] = 0x2001;
    cpu.SetPC(0x1000);
    for (int i = 0; i < commands; ++i) {
      if (command == "run") main.ActionRun->trigger();
      if (command == "trace") main.ActionStep->trigger();
      if (command == "over") main.ActionStepOver->trigger();
    }
    char place[16];
    std::snprintf(place, sizeof place, "%08X", pc);
    QCOMPARE(LastLine(), "Module " + module + " (00002000..00002003) failed in " + entry + " at " +
                             place + ": thrower: " + entry + " failed");
    QCOMPARE(cpu.pc, pc);
    QCOMPARE(cpu.r[1], r1);
    QVERIFY(!main.Running());
    for (QAction* a : main.ActionList1) QVERIFY2(a->isEnabled(), qPrintable(a->objectName()));
    QVERIFY(main.ActionStepOver->isEnabled());
    // The module behaves again: the commands go on from there.
    main.ActionStep->trigger();
    QCOMPARE(cpu.pc, pc + 1);
    main.close();
    QVERIFY(!main.isVisible());
  }
};

QTEST_MAIN(ModuleFaultTest)
#include "ModuleFaultTest.moc"
