// The memory dump window on a real main window under the offscreen platform: the last stored
// word in red, scrolling by rows and pages with the wrap at 0; the wheel, the keys, Go to and
// editing a word; the debugger's write of a word and Home's address on plain processors.
#include <QAction>
#include <QScrollBar>
#include <QtTest>

#include "InspectionFixture.h"
#include "Tfmem.h"

namespace {

// (word, row) of every word of the dump that holds red ink; the red addresses are not counted.
std::vector<QPoint> RedWords() {
  const QImage image = Grab(FMem->PB1);
  std::vector<QPoint> red;
  for (int k = 0; k < image.height() / FMem->LineHeight(); ++k) {
    for (int i = 0; i < 4; ++i) {
      const QRect cells((TFMem::kWordColumn + i * TFMem::kWordWidth) * FMem->CharWidth(),
                        k * FMem->LineHeight(), 8 * FMem->CharWidth(), FMem->LineHeight());
      if (CountPixels(image, cells, IsRedInk) > 0) red.emplace_back(i, k);
    }
  }
  return red;
}

uint32_t WholeRows() {
  return static_cast<uint32_t>(FMem->PB1->height() / FMem->LineHeight());
}

// Puts the row of `top` first, as Go to does.
void ScrollTo(uint32_t top) {
  FMem->GoToAddress(top);
}

// The middle of the digits of word i of row k.
QPoint WordPoint(int k, int i) {
  return QPoint((TFMem::kWordColumn + i * TFMem::kWordWidth + 4) * FMem->CharWidth(),
                k * FMem->LineHeight() + FMem->LineHeight() / 2);
}

}  // namespace

class TfmemTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    machine_ = std::make_unique<Machine>();
    machine_->Main().ActionShowMemoryExecute();
    FloatAt(FMem, QSize(358, 338));
  }
  void cleanup() { machine_.reset(); }

  // PUSH R1 with sp = 0x20: word 0 of row 8 red; a reset keeps it; a step without a store, a
  // listing load and Clear memory leave none.
  void LastStoreIsRed() {
    tervik::Processor& cpu = machine_->Cpu();
    cpu.WriteMem(0, (25u << 26) | 1u);
    cpu.sp = 0x20;
    machine_->Main().ActionStepExecute();
    QCOMPARE(RedWords(), std::vector<QPoint>{QPoint(0, 8)});
    machine_->Main().ActionResetExecute();
    QCOMPARE(RedWords(), std::vector<QPoint>{QPoint(0, 8)});
    cpu.SetPC(1);
    machine_->Main().ActionStepExecute();  // NOP
    QVERIFY(RedWords().empty());
    machine_->LoadListing({{0, 0x11111111, ""}, {5, 0x22222222, ""}});
    machine_->Main().ClearMemory();
    QVERIFY(RedWords().empty());
  }

  // Line up at 0 shows FFFFFFFC..FFFFFFFF first, 00000000 next; pages are whole rows of four.
  void ScrollingAndWrap() {
    tervik::Processor& cpu = machine_->Cpu();
    cpu.WriteMem(0, (25u << 26) | 1u);
    cpu.sp = 0x5;
    machine_->Main().ActionStepExecute();
    QScrollBar* bar = FMem->ScrollBar1;
    bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    QCOMPARE(FMem->TopAddress(), 0xFFFFFFFCu);
    QCOMPARE(RedWords(), std::vector<QPoint>{QPoint(1, 2)});
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(RedWords(), std::vector<QPoint>{QPoint(1, 0)});
    const uint32_t whole = static_cast<uint32_t>(FMem->PB1->height() / FMem->LineHeight());
    bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    QCOMPARE(FMem->TopAddress(), 4u - 4u * whole);
    bar->triggerAction(QAbstractSlider::SliderToMaximum);
    bar->setSliderDown(true);
    bar->setSliderPosition(70);
    bar->setSliderDown(false);
    QCOMPARE(FMem->TopAddress(), 4u - 4u * whole);
    QCOMPARE(bar->value(), 0);
  }

  // Three rows of four words a notch; partial turns add up; the wrap at both ends.
  void Wheel_data() {
    QTest::addColumn<uint32_t>("top");
    QTest::addColumn<QList<int>>("deltas");
    QTest::addColumn<bool>("overBar");
    QTest::addColumn<uint32_t>("expected");
    QTest::newRow("notch down") << 0x100u << QList<int>{-120} << false << 0x10Cu;
    QTest::newRow("parts add up") << 0x100u << QList<int>{50, 50} << false << 0xF8u;
    QTest::newRow("over the scroll bar") << 0x100u << QList<int>{-120} << true << 0x10Cu;
  }
  void Wheel() {
    QFETCH(uint32_t, top);
    QFETCH(QList<int>, deltas);
    QFETCH(bool, overBar);
    QFETCH(uint32_t, expected);
    ScrollTo(top);
    for (int delta : deltas) {
      TurnWheel(overBar ? static_cast<QWidget*>(FMem->ScrollBar1) : FMem->PB1, delta);
    }
    QCOMPARE(FMem->TopAddress(), expected);
    QCOMPARE(FMem->ScrollBar1->value(), 0);
  }

  // Up and Down a row of four words, the page keys W whole rows; Home the lowest mapped row.
  void Keys_data() {
    QTest::addColumn<uint32_t>("top");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("expected");
    QTest::newRow("down") << 0x100u << int(Qt::Key_Down) << "0x104";
    QTest::newRow("up at 0 wraps") << 0u << int(Qt::Key_Up) << "0xFFFFFFFC";
    QTest::newRow("page up") << 0x100u << int(Qt::Key_PageUp) << "0x100 - 4 * W";
    QTest::newRow("home: the lowest region") << 0x500u << int(Qt::Key_Home) << "0";
    QTest::newRow("right moves nothing") << 0x100u << int(Qt::Key_Right) << "0x100";
  }
  void Keys() {
    QFETCH(uint32_t, top);
    QFETCH(int, key);
    QFETCH(QString, expected);
    QCOMPARE(FMem->PB1->focusPolicy(), Qt::StrongFocus);
    ScrollTo(top);
    QTest::keyClick(FMem->PB1, static_cast<Qt::Key>(key));
    QCOMPARE(FMem->TopAddress(), WithRows(expected, WholeRows()));
  }

  // Home on a processor: the row of the lowest start of any region, whatever their order.
  void HomeAddress_data() {
    QTest::addColumn<QList<uint32_t>>("starts");  // RAM regions of 16 words, in map order
    QTest::addColumn<uint32_t>("expected");
    QTest::newRow("no regions") << QList<uint32_t>{} << 0u;
    QTest::newRow("row of an unaligned start") << QList<uint32_t>{0x1006} << 0x1004u;
    QTest::newRow("lowest, not first") << QList<uint32_t>{0x7000, 0x1000, 0x4000} << 0x1000u;
  }
  void HomeAddress() {
    QFETCH(QList<uint32_t>, starts);
    QFETCH(uint32_t, expected);
    tervik::Processor cpu;
    for (uint32_t start : starts) cpu.AddRegion(start, 16, tervik::RegionType::RAM);
    QCOMPARE(DumpHomeAddress(cpu), expected);
  }

  // Go to puts the row of the address first; a refused text keeps the prompt and the view.
  void GoTo_data() {
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<int>("errors");
    QTest::addColumn<uint32_t>("expected");
    QTest::newRow("row of the address") << QStringList{"0x1237"} << 0 << 0x1234u;
    QTest::newRow("stack pointer") << QStringList{"SP - 6"} << 0 << 0x1Cu;
    QTest::newRow("refused, then right") << QStringList{"M[", "0x40"} << 1 << 0x40u;
  }
  void GoTo() {
    QFETCH(QStringList, texts);
    QFETCH(int, errors);
    QFETCH(uint32_t, expected);
    machine_->Cpu().sp = 0x25;
    ScrollTo(0x80);
    PromptLog log;
    AnswerNextPrompt(log, texts);
    FMem->ActionGoToAddress->trigger();
    QVERIFY(log.shown);
    QCOMPARE(log.parent, FMem);
    QCOMPARE(log.initial, "0x00000080");
    QCOMPARE(log.errors.size(), errors);
    for (int i = 0; i < errors; ++i) {
      QCOMPARE(log.errors[i], ExpressionError(machine_->Cpu(), texts[i].toStdString()));
    }
    QCOMPARE(FMem->TopAddress(), expected);
  }

  // A double-click on a word edits it: the prompt shows the word in hex, the new value is
  // written and drawn red as a store would be, alone.
  void EditWord_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("word");
    QTest::addColumn<QString>("text");
    QTest::addColumn<uint32_t>("expected");
    QTest::newRow("hex, first word") << 0 << 0 << "0xDEADBEEF" << 0xDEADBEEFu;
    QTest::newRow("decimal, second word") << 2 << 1 << "100" << 100u;
    QTest::newRow("expression of the old word") << 1 << 2 << "M[6] + 1" << 0x12345679u;
  }
  void EditWord() {
    QFETCH(int, row);
    QFETCH(int, word);
    QFETCH(QString, text);
    QFETCH(uint32_t, expected);
    tervik::Processor& cpu = machine_->Cpu();
    const uint32_t a = static_cast<uint32_t>(4 * row + word);
    cpu.WriteMem(a, 0x12345678);
    cpu.WriteMem(6, 0x12345678);
    PromptLog log;
    AnswerNextPrompt(log, {text});
    QTest::mouseDClick(FMem->PB1, Qt::LeftButton, {}, WordPoint(row, word));
    QVERIFY(log.shown);
    QCOMPARE(log.initial, "0x12345678");
    QVERIFY(log.accepted);
    QCOMPARE(cpu.ReadMem(a), expected);
    QCOMPARE(RedWords(), std::vector<QPoint>{QPoint(word, row)});
  }

  // A double-click beside the words, a cancelled prompt or a word no region serves changes
  // nothing and marks nothing.
  void EditNothing_data() {
    QTest::addColumn<uint32_t>("top");
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("prompt");
    QTest::newRow("on the address") << 0u << 3 << false;
    QTest::newRow("cancelled") << 0u << TFMem::kWordColumn << true;
    QTest::newRow("unmapped word") << 0x1000u << TFMem::kWordColumn << false;
  }
  void EditNothing() {
    QFETCH(uint32_t, top);
    QFETCH(int, column);
    QFETCH(bool, prompt);
    ScrollTo(top);
    PromptLog log;
    AnswerNextPrompt(log, {});
    QTest::mouseDClick(FMem->PB1, Qt::LeftButton, {},
                       QPoint(column * FMem->CharWidth() + 1, FMem->LineHeight() / 2));
    QCoreApplication::processEvents();
    QCOMPARE(log.shown, prompt);
    QVERIFY(!machine_->Cpu().memWritten);
    QCOMPARE(machine_->Cpu().ReadMem(top), top == 0 ? 0u : 0xFFFFFFFFu);
    QVERIFY(RedWords().empty());
  }

 private:
  std::unique_ptr<Machine> machine_;
};

QTEST_MAIN(TfmemTest)
#include "TfmemTest.moc"
