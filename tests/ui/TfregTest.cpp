// The register window on a real main window under the offscreen platform: red exactly for what
// the last step changed, black labels, and the box that scrolls when the window is short;
// editing a register by a double-click, and the debugger's write of a register with its markers.
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>

#include "Inspection.h"
#include "InspectionFixture.h"
#include "Tfreg.h"

namespace {

QRect Cells(int row, int column, int length) {
  return QRect(column * FReg->CharWidth(), row * FReg->LineHeight(), length * FReg->CharWidth(),
               FReg->LineHeight());
}
QRect RegisterCells(unsigned n, bool value) {
  return Cells(static_cast<int>(2 + n / 2), (n % 2 == 0 ? 0 : 16) + (value ? 5 : 0), value ? 8 : 4);
}

// "red" or "black" when the cells hold only that ink.
QString InkOf(const QImage& image, QRect cells) {
  const int red = CountPixels(image, cells, IsRedInk);
  const int dark = CountPixels(image, cells, IsDarkInk);
  if (red > 5 && dark == 0) return "red";
  if (dark > 5 && red == 0) return "black";
  return QString("mixed %1 red, %2 dark").arg(red).arg(dark);
}

}  // namespace

class TfregTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { machine_ = std::make_unique<Machine>(); }
  void cleanup() { machine_.reset(); }

  // MOVE R2,R1 with R1 = R2: PC red, R2 black although written; then ADDI R3,R3,1: R3 red.
  // Jump to cursor and a reset keep the colours of the last step.
  void SameValueWriteStaysBlack() {
    tervik::Processor& cpu = machine_->Cpu();
    cpu.WriteMem(0, (27u << 26) | (2u << 21) | 1u);
    cpu.WriteMem(1, (37u << 26) | (3u << 21) | (3u << 16) | 1u);
    cpu.SetRegister(1, 7);
    cpu.SetRegister(2, 7);
    machine_->Main().ActionStepExecute();
    QImage image = Grab(FReg->PB1);
    QCOMPARE(InkOf(image, Cells(0, 4, 8)), "red");
    QCOMPARE(InkOf(image, Cells(0, 0, 3)), "black");
    QCOMPARE(InkOf(image, RegisterCells(2, true)), "black");
    QCOMPARE(InkOf(image, RegisterCells(1, true)), "black");
    machine_->Main().ActionStepExecute();
    machine_->Main().ActionGoExecute();
    machine_->Main().ActionResetExecute();
    image = Grab(FReg->PB1);
    QCOMPARE(InkOf(image, RegisterCells(3, true)), "red");
    QCOMPARE(InkOf(image, RegisterCells(3, false)), "black");
    QCOMPARE(InkOf(image, RegisterCells(2, true)), "black");
  }

  // FFFFFFFF + 1 with Z already set changes only the carry: SR and C red, the rest black.
  void OnlyCarryChanged_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("ink");
    QTest::newRow("SR value") << 4 << 8 << "red";
    QTest::newRow("O value") << 16 << 1 << "black";
    QTest::newRow("C label") << 19 << 2 << "black";
    QTest::newRow("C value") << 22 << 1 << "red";
    QTest::newRow("Z value") << 28 << 1 << "black";
    QTest::newRow("N value") << 34 << 1 << "black";
  }
  void OnlyCarryChanged() {
    QFETCH(int, column);
    QFETCH(int, length);
    QFETCH(QString, ink);
    tervik::Processor& cpu = machine_->Cpu();
    cpu.WriteMem(0, (5u << 26) | (3u << 21) | (1u << 16) | 2u);  // ADD R3,R1,R2
    cpu.SetRegister(1, 0xFFFFFFFF);
    cpu.SetRegister(2, 1);
    cpu.sr = tervik::Processor::kFlagZ;
    machine_->Main().ActionStepExecute();
    QCOMPARE(cpu.sr, tervik::Processor::kFlagZ | tervik::Processor::kFlagC);
    QCOMPARE(InkOf(Grab(FReg->PB1), Cells(1, column, length)), ink);
  }

  // Shorter than 18 rows the box scrolls down to R31; taller, it does not scroll.
  void BoxScrollsWhenShort() {
    FloatAt(FReg, QSize(353, 120));
    QScrollBar* bar = FReg->ScrollBox1->verticalScrollBar();
    bar->setValue(bar->maximum());
    const QPoint r31 =
        FReg->PB1->mapTo(FReg->ScrollBox1->viewport(), RegisterCells(31, true).center());
    QVERIFY(FReg->ScrollBox1->viewport()->rect().contains(r31));
    QCOMPARE(FReg->PB1->height(), 18 * FReg->LineHeight());
    QCOMPARE(FReg->PB1->width(), FReg->ScrollBox1->viewport()->width());
    FloatAt(FReg, QSize(353, 439));
    QCOMPARE(bar->maximum(), 0);
  }

  // A double-click on a register's label or value opens the prompt with its value in hex; the
  // typed value is stored and drawn red, its neighbours stay black. SR keeps bits 0..3 and marks
  // the flags that changed.
  void Edit_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QPoint>("cell");  // (column, row) double-clicked
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("initial");
    QTest::addColumn<uint32_t>("expected");
    QTest::addColumn<QList<QRect>>("red");    // (column, row, length) of texts now red
    QTest::addColumn<QList<QRect>>("black");  // ... and of texts still black
    const auto cells = [](int column, int row, int length) {
      return QRect(column, row, length, 1);
    };
    QTest::newRow("R05 value") << "R05" << QPoint(24, 4) << "0x1234"
                               << "0x00000005" << 0x1234u << QList<QRect>{cells(21, 4, 8)}
                               << QList<QRect>{cells(5, 4, 8), cells(21, 5, 8)};
    QTest::newRow("R30 label, decimal") << "R30" << QPoint(1, 17) << "42"
                                        << "0x0000001E" << 42u << QList<QRect>{cells(5, 17, 8)}
                                        << QList<QRect>{cells(21, 17, 8), cells(0, 17, 4)};
    QTest::newRow("PC, expression") << "PC" << QPoint(5, 0) << "R2 + 0x40"
                                    << "0x00000000" << 0x42u << QList<QRect>{cells(4, 0, 8)}
                                    << QList<QRect>{cells(17, 0, 8), cells(5, 2, 8)};
    QTest::newRow("SR keeps the flag bits")
        << "SR" << QPoint(5, 1) << "0xFF"
        << "0x00000005" << 0xFu << QList<QRect>{cells(4, 1, 8), cells(16, 1, 1), cells(28, 1, 1)}
        << QList<QRect>{cells(22, 1, 1), cells(34, 1, 1)};
  }
  void Edit() {
    QFETCH(QString, name);
    QFETCH(QPoint, cell);
    QFETCH(QString, text);
    QFETCH(QString, initial);
    QFETCH(uint32_t, expected);
    QFETCH(QList<QRect>, red);
    QFETCH(QList<QRect>, black);
    tervik::Processor& cpu = machine_->Cpu();
    for (unsigned n = 0; n < 32; ++n) cpu.SetRegister(n, n);
    cpu.sr = 5;
    PromptLog log;
    AnswerNextPrompt(log, {text});
    const QPoint at(cell.x() * FReg->CharWidth() + FReg->CharWidth() / 2,
                    cell.y() * FReg->LineHeight() + FReg->LineHeight() / 2);
    QTest::mouseDClick(FReg->PB1, Qt::LeftButton, {}, at);
    QVERIFY(log.shown);
    QCOMPARE(log.caption, "Edit " + name);
    QCOMPARE(log.initial, initial);
    QVERIFY(log.accepted);
    QCOMPARE(ReadRegister(cpu, *RegisterAt(LaidOut(cpu), cell.y(), cell.x())), expected);
    const QImage image = Grab(FReg->PB1);
    for (const QRect& r : red) QCOMPARE(InkOf(image, Cells(r.y(), r.x(), r.width())), "red");
    for (const QRect& r : black) QCOMPARE(InkOf(image, Cells(r.y(), r.x(), r.width())), "black");
  }

  // A refused text keeps the prompt open with the error; cancelling changes nothing. A
  // double-click between the columns opens nothing.
  void EditRefusedOrMissed() {
    tervik::Processor& cpu = machine_->Cpu();
    PromptLog log;
    AnswerNextPrompt(log, {"R1 +", "R99"});
    QTest::mouseDClick(FReg->PB1, Qt::LeftButton, {}, RegisterCells(3, true).center());
    QVERIFY(log.shown);
    QCOMPARE(log.errors, (QStringList{ExpressionError(cpu, "R1 +"), ExpressionError(cpu, "R99")}));
    QVERIFY(!log.accepted);
    QCOMPARE(cpu.GetRegister(3), 0u);
    QVERIFY(!cpu.regChanged[3]);
    PromptLog none;
    AnswerNextPrompt(none, {});
    QTest::mouseDClick(FReg->PB1, Qt::LeftButton, {}, Cells(2, 14, 1).center());
    QCoreApplication::processEvents();
    QVERIFY(!none.shown);
  }

 private:
  static RegisterTexts LaidOut(const tervik::Processor& cpu) {
    RegisterTexts texts{};
    LayoutRegisterRows(cpu, texts);
    return texts;
  }

  std::unique_ptr<Machine> machine_;
};

QTEST_MAIN(TfregTest)
#include "TfregTest.moc"
