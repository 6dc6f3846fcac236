// The screen-free arithmetic of the inspection windows: keeping an address in view, scroll steps
// with their wrap at 0 and 0xFFFFFFFF, the wheel and the navigation keys, hit testing, the split
// and columns of a disassembly row, and the register window's row texts.
#include <QtTest>
#include <climits>
#include <string>

#include "Processor.h"
#include "Tfreg.h"
#include "ViewGeometry.h"

using tervik::view::ScrollCode;
Q_DECLARE_METATYPE(ScrollCode)

class ViewGeometryTest : public QObject {
  Q_OBJECT

 private slots:
  // Rows downward and the units left, from what earlier events left and this event's delta.
  void WheelRows_data() {
    QTest::addColumn<int>("pending");
    QTest::addColumn<int>("delta");
    QTest::addColumn<qint64>("rows");
    QTest::addColumn<int>("left");
    QTest::newRow("notch away: 3 up") << 0 << 120 << qint64(-3) << 0;
    QTest::newRow("a row less one unit") << 0 << 39 << qint64(0) << 39;
    QTest::newRow("pending completes a row") << 39 << 1 << qint64(-1) << 0;
    QTest::newRow("notch and a bit") << 0 << 121 << qint64(-3) << 1;
    QTest::newRow("turn back drops pending") << 30 << -30 << qint64(0) << -30;
    QTest::newRow("largest turn toward") << 0 << INT_MIN << qint64(53687091) << -8;
    QTest::newRow("largest turn away, pending") << 39 << INT_MAX << qint64(-53687092) << 6;
  }
  void WheelRows() {
    QFETCH(int, pending);
    QFETCH(int, delta);
    QFETCH(qint64, rows);
    QFETCH(int, left);
    const tervik::view::WheelSteps steps = tervik::view::WheelRows(pending, delta);
    QCOMPARE(steps.rows, rows);
    QCOMPARE(steps.pending, left);
  }

  void CursorAfterKey_data() {
    QTest::addColumn<uint32_t>("top");
    QTest::addColumn<uint32_t>("cursor");
    QTest::addColumn<ScrollCode>("code");
    QTest::addColumn<uint32_t>("whole");
    QTest::addColumn<uint32_t>("expectedTop");
    QTest::addColumn<uint32_t>("expectedCursor");
    QTest::newRow("down off the bottom") << 0u << 9u << ScrollCode::LineDown << 10u << 1u << 10u;
    QTest::newRow("up at 0") << 0u << 0u << ScrollCode::LineUp << 10u << 0xFFFFFFFFu << 0xFFFFFFFFu;
    QTest::newRow("down at the end")
        << 0xFFFFFFF6u << 0xFFFFFFFFu << ScrollCode::LineDown << 10u << 0xFFFFFFF7u << 0u;
    QTest::newRow("page down") << 0u << 3u << ScrollCode::PageDown << 10u << 10u << 13u;
    QTest::newRow("page up across 0")
        << 2u << 4u << ScrollCode::PageUp << 10u << 0xFFFFFFF8u << 0xFFFFFFFAu;
    QTest::newRow("page down, cursor away")
        << 0u << 100u << ScrollCode::PageDown << 10u << 101u << 110u;
    QTest::newRow("page of no whole row is one")
        << 0u << 0u << ScrollCode::PageDown << 0u << 1u << 1u;
    QTest::newRow("other") << 7u << 9u << ScrollCode::Other << 10u << 7u << 9u;
  }
  void CursorAfterKey() {
    QFETCH(uint32_t, top);
    QFETCH(uint32_t, cursor);
    QFETCH(ScrollCode, code);
    QFETCH(uint32_t, whole);
    QFETCH(uint32_t, expectedTop);
    QFETCH(uint32_t, expectedCursor);
    const tervik::view::CursorView v = tervik::view::CursorAfterKey({top, cursor}, code, whole);
    QCOMPARE(v.top, expectedTop);
    QCOMPARE(v.cursor, expectedCursor);
  }

  // Character columns of pixels 7 wide, and the word of a dump row each column hits.
  void DumpHits_data() {
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("word");
    QTest::newRow("left of the box") << -1 << -1 << -1;
    QTest::newRow("blanks after the address") << 69 << 9 << -1;
    QTest::newRow("word 0 first digit") << 70 << 10 << 0;
    QTest::newRow("blank after word 0") << 126 << 18 << -1;
    QTest::newRow("word 3 last digit") << 314 << 44 << 3;
    QTest::newRow("blank after word 3") << 315 << 45 << -1;
    QTest::newRow("past the row") << 700 << 100 << -1;
  }
  void DumpHits() {
    QFETCH(int, x);
    QFETCH(int, column);
    QFETCH(int, word);
    QCOMPARE(tervik::view::ColumnAt(x, 7), column);
    QCOMPARE(tervik::view::DumpWordAt(column), word);
  }

  // The register under a character cell: its label or value with the value's blank; nothing in
  // the gaps between the columns, past the rows' ends or outside the 18 rows.
  void RegisterAt_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("name");
    QTest::newRow("PC label") << 0 << 0 << "PC";
    QTest::newRow("PC value's blank") << 0 << 12 << "PC";
    QTest::newRow("LFSR value's end") << 0 << 53 << "LFSR";
    QTest::newRow("past row 1") << 0 << 54 << "";
    QTest::newRow("O flag: SR") << 1 << 16 << "SR";
    QTest::newRow("N flag: SR") << 1 << 34 << "SR";
    QTest::newRow("past row 2") << 1 << 35 << "";
    QTest::newRow("R00 value's end") << 2 << 12 << "R00";
    QTest::newRow("gap between columns") << 2 << 13 << "";
    QTest::newRow("R01 label") << 2 << 16 << "R01";
    QTest::newRow("past a register row") << 2 << 29 << "";
    QTest::newRow("R31") << 17 << 20 << "R31";
    QTest::newRow("below the rows") << 18 << 0 << "";
    QTest::newRow("left of the rows") << 2 << -1 << "";
  }
  void RegisterAt() {
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QString, name);
    tervik::Processor cpu;
    RegisterTexts texts{};
    LayoutRegisterRows(cpu, texts);
    const std::optional<tervik::debug::RegisterId> id = ::RegisterAt(texts, row, column);
    QCOMPARE(id ? QString::fromStdString(RegisterName(*id)) : QString(), name);
  }

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
