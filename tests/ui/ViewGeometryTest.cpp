// The screen-free arithmetic of the inspection windows: keeping an address in view, scroll steps
// with their wrap at 0 and 0xFFFFFFFF, the split and columns of a disassembly row, and the
// register window's row texts.
#include <QtTest>
#include <string>

#include "Processor.h"
#include "Tfreg.h"
#include "ViewGeometry.h"

using tervik::view::ScrollCode;
Q_DECLARE_METATYPE(ScrollCode)

class ViewGeometryTest : public QObject {
  Q_OBJECT

 private slots:
  void TopAfterShow_data() {
    QTest::addColumn<uint32_t>("top");
    QTest::addColumn<uint32_t>("address");
    QTest::addColumn<uint32_t>("whole");
    QTest::addColumn<uint32_t>("expected");
    QTest::newRow("last whole row stays") << 0x100u << 0x109u << 10u << 0x100u;
    QTest::newRow("cut-off row becomes top") << 0x100u << 0x10Au << 10u << 0x10Au;
    QTest::newRow("below becomes top, no centring") << 0x100u << 0xFFu << 10u << 0xFFu;
    QTest::newRow("view across the wrap keeps 2") << 0xFFFFFFFCu << 0x2u << 10u << 0xFFFFFFFCu;
    QTest::newRow("cut-off row behind the wrap") << 0xFFFFFFFCu << 0x6u << 10u << 0x6u;
    QTest::newRow("no whole row: always top") << 0x100u << 0x100u << 0u << 0x100u;
  }
  void TopAfterShow() {
    QFETCH(uint32_t, top);
    QFETCH(uint32_t, address);
    QFETCH(uint32_t, whole);
    QFETCH(uint32_t, expected);
    QCOMPARE(tervik::view::TopAfterShow(top, address, whole), expected);
  }

  void TopAfterScroll_data() {  // a page of 10 whole rows throughout
    QTest::addColumn<uint32_t>("top");
    QTest::addColumn<ScrollCode>("code");
    QTest::addColumn<uint32_t>("wordsPerRow");
    QTest::addColumn<uint32_t>("expected");
    QTest::newRow("line up at 0") << 0u << ScrollCode::LineUp << 1u << 0xFFFFFFFFu;
    QTest::newRow("line down at FFFFFFFF") << 0xFFFFFFFFu << ScrollCode::LineDown << 1u << 0u;
    QTest::newRow("page up wraps") << 5u << ScrollCode::PageUp << 1u << 0xFFFFFFFBu;
    QTest::newRow("page down wraps") << 0xFFFFFFFEu << ScrollCode::PageDown << 1u << 8u;
    QTest::newRow("other") << 5u << ScrollCode::Other << 1u << 5u;
    QTest::newRow("dump line up at 0") << 0u << ScrollCode::LineUp << 4u << 0xFFFFFFFCu;
    QTest::newRow("dump page down") << 8u << ScrollCode::PageDown << 4u << 48u;
    QTest::newRow("dump page up wraps") << 8u << ScrollCode::PageUp << 4u << 0xFFFFFFE0u;
  }
  void TopAfterScroll() {
    QFETCH(uint32_t, top);
    QFETCH(ScrollCode, code);
    QFETCH(uint32_t, wordsPerRow);
    QFETCH(uint32_t, expected);
    QCOMPARE(tervik::view::TopAfterScroll(top, code, wordsPerRow, 10), expected);
  }

  void SplitAndColumns_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("mnemonic");
    QTest::addColumn<QString>("operands");
    QTest::addColumn<int>("operandColumn");
    QTest::addColumn<int>("commentColumn");
    QTest::newRow("NOP ends with its tab") << "NOP\t"
                                           << "NOP"
                                           << "" << 30 << 46;
    QTest::newRow("longest operands") << "ADDI\tR31,R31,H#FFFF"
                                      << "ADDI"
                                      << "R31,R31,H#FFFF" << 30 << 46;
    QTest::newRow("no tab: all mnemonic") << "Invalid MOVEI EC460010"
                                          << "Invalid MOVEI EC460010"
                                          << "" << 40 << 46;
    QTest::newRow("first tab splits") << "A\tB\tC"
                                      << "A"
                                      << "B\tC" << 30 << 46;
    QTest::newRow("operands past 46") << "ADD\tR1,R2,R3,R4,R5,R6,R7"
                                      << "ADD"
                                      << "R1,R2,R3,R4,R5,R6,R7" << 30 << 50;
  }
  void SplitAndColumns() {
    QFETCH(QString, text);
    QFETCH(QString, mnemonic);
    QFETCH(QString, operands);
    QFETCH(int, operandColumn);
    QFETCH(int, commentColumn);
    const std::string bytes = text.toStdString();
    const tervik::view::SplitText split = tervik::view::SplitAtTab(bytes);
    QCOMPARE(QString::fromStdString(std::string(split.mnemonic)), mnemonic);
    QCOMPARE(QString::fromStdString(std::string(split.operands)), operands);
    const tervik::view::RowColumns columns =
        tervik::view::DisassemblyColumns(split.mnemonic.size(), split.operands.size());
    QCOMPARE(columns.operands, operandColumn);
    QCOMPARE(columns.comment, commentColumn);
  }

  // The rows rebuilt from the texts' columns (so gaps and overlaps show), red values bracketed.
  void RegisterRows_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("expected");
    QTest::newRow("row 1") << 0 << "PC: [12345678 ]IM: 0000000F SP: [00000020 ]LFSR: 80000021 ";
    QTest::newRow("row 2: O C Z N of SR 5") << 1 << "SR: [00000005 ]O: 0  C: [1  ]Z: 0  N: 1";
    QTest::newRow("R00 and R01") << 2 << "R00: 00000000   R01: [FFFFFFFF]";
    QTest::newRow("R30 and R31") << 17 << "R30: 0000001E   R31: [0000001F]";
  }
  void RegisterRows() {
    QFETCH(int, row);
    QFETCH(QString, expected);
    tervik::Processor cpu;
    cpu.pc = 0x12345678;
    cpu.im = 0xF;
    cpu.sp = 0x20;
    cpu.lfsr = 0x80000021;
    cpu.sr = 5;
    for (unsigned n = 0; n < 32; ++n) cpu.SetRegister(n, n);
    cpu.SetRegister(1, 0xFFFFFFFF);
    cpu.pcChanged = cpu.spChanged = cpu.srChanged = cpu.cChanged = true;
    cpu.regChanged[1] = cpu.regChanged[31] = true;
    RegisterTexts texts{};
    LayoutRegisterRows(cpu, texts);
    QString line;
    int column = 0;
    for (const RegisterText& t : texts) {
      if (t.row != row) continue;
      QVERIFY2(t.column >= column, "texts overlap");
      line += QString(t.column - column, ' ');
      const QString text = QString::fromLatin1(t.text, t.length);
      line += t.ink == RegisterInk::Changed ? "[" + text + "]" : text;
      column = t.column + t.length;
    }
    QCOMPARE(line, expected);
  }
};

QTEST_MAIN(ViewGeometryTest)
#include "ViewGeometryTest.moc"
