// The disassembly window on a real main window under the offscreen platform: row contents, the
// pixels of the PC row, comments, breakpoint marks and the cursor frame; clicks and scrolling.
#include <QScrollBar>
#include <QtTest>

#include "InspectionFixture.h"
#include "Tfcpu.h"

namespace {

constexpr uint32_t kAdd = 0x14220003;  // ADD R1,R2,R3

// `length` character cells from `column` (counted from the margin) in `row`, without the row's
// top and bottom pixel lines, where a cursor frame runs.
QRect Cells(int row, int column, int length = 1) {
  return QRect(FCPU->MarginWidth() + column * FCPU->CharWidth(), row * FCPU->LineHeight() + 1,
               length * FCPU->CharWidth(), FCPU->LineHeight() - 2);
}
uint32_t WholeRows() {
  return static_cast<uint32_t>(FCPU->PB1->height() / FCPU->LineHeight());
}
QString Str(std::string_view v) {
  return QString::fromLatin1(v.data(), v.size());
}

}  // namespace

class TfcpuTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    machine_ = std::make_unique<Machine>();
    FloatAt(FCPU, QSize(600, 300));
  }
  void cleanup() { machine_.reset(); }

  void RowContents_data() {
    QTest::addColumn<uint32_t>("address");
    QTest::addColumn<QString>("text");  // head|mnemonic|operands|comment
    QTest::newRow("NOP") << 0u << "00000000 00000000 |NOP||; start";
    QTest::newRow("ADD") << 1u << "00000001 14220003 |ADD|R1,R2,R3|";
    QTest::newRow("invalid MOVEI") << 2u << "00000002 EC460010 |Invalid MOVEI EC460010||; bad";
    QTest::newRow("top of memory") << 0xFFFFFFFFu << "FFFFFFFF FFFFFFFF |???|FFFFFFFF|";
  }
  void RowContents() {
    QFETCH(uint32_t, address);
    QFETCH(QString, text);
    machine_->LoadListing({{0, 0, "; start"}, {1, kAdd, ""}, {2, 0xEC460010, "; bad"}});
    DisassemblyRow row;
    FCPU->PrepareRow(row, address, 1);
    QCOMPARE(Str({row.head, sizeof row.head}) + "|" + Str(row.mnemonic) + "|" + Str(row.operands) +
                 "|" + Str(row.comment),
             text);
    QCOMPARE(row.isPc, address == 1);
  }

  // After start-up and a reset, row 0 is the PC row with the cursor frame; texts sit on maroon
  // in their own cells only, with a white mnemonic and operands; ordinary rows are white with a
  // red address and a black mnemonic; comments are green from column 46.
  void Colours() {
    machine_->LoadListing({{0, kAdd, "; add them"}, {1, 0, ""}});
    machine_->Main().ActionResetExecute();
    const QImage image = Grab(FCPU->PB1);
    const int lh = FCPU->LineHeight();
    QCOMPARE(image.pixel(Cells(0, 8).center()), kMaroonPixel);  // blank after the address
    QCOMPARE(image.pixel(Cells(0, 25).center()), kWhitePixel);  // gap before the operands
    QCOMPARE(image.pixel(3, lh / 2), kWhitePixel);              // margin
    QVERIFY(CountPixels(image, Cells(0, 18, 3), IsBrightInk) > 5);
    QCOMPARE(CountPixels(image, Cells(0, 18, 11), IsDarkInk), 0);
    QCOMPARE(CountPixels(image, Cells(0, 30, 8), IsDarkInk), 0);
    QVERIFY(CountPixels(image, Cells(0, 46, 10), IsGreenInk) > 10);
    QCOMPARE(CountPixels(image, Cells(0, 38, 8), IsGreenInk), 0);
    QCOMPARE(image.pixel(Cells(1, 8).center()), kWhitePixel);
    QVERIFY(CountPixels(image, Cells(1, 0, 17), IsRedInk) > 20);
    QVERIFY(CountPixels(image, Cells(1, 18, 3), IsDarkInk) > 5);
    // The frame on row 0 only: left, right, top and bottom edges.
    for (QPoint p :
         {QPoint(0, lh / 2), QPoint(image.width() - 1, lh / 2), QPoint(3, 0), QPoint(3, lh - 1)}) {
      QCOMPARE(image.pixel(p), kBlackPixel);
    }
    QCOMPARE(image.pixel(0, lh + lh / 2), kWhitePixel);
  }

  // A margin click with any button toggles the breakpoint of its row; the cursor stays.
  void MarginClickTogglesBreakpoint_data() {
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::newRow("left") << Qt::LeftButton;
    QTest::newRow("right") << Qt::RightButton;
  }
  void MarginClickTogglesBreakpoint() {
    QFETCH(Qt::MouseButton, button);
    const int lh = FCPU->LineHeight();
    const auto box =
        tervik::view::BreakpointMarkBox(FCPU->MarginWidth(), FCPU->MarkSize(), lh, 3 * lh);
    const QPoint centre((box.left + box.right - 1) / 2, (box.top + box.bottom - 1) / 2);
    const QPoint click(FCPU->MarginWidth() - 1, 4 * lh - 1);
    QTest::mouseClick(FCPU->PB1, button, {}, click);
    QCOMPARE(machine_->Main().Breakpoints(), std::vector<uint32_t>{3});
    QCOMPARE(FCPU->CursorAddress(), 0u);
    QImage image = Grab(FCPU->PB1);
    QCOMPARE(image.pixel(centre), kMaroonPixel);
    QCOMPARE(image.pixel(box.left, centre.y()), kBlackPixel);
    QTest::mouseClick(FCPU->PB1, button, {}, click);
    QVERIFY(machine_->Main().Breakpoints().empty());
    image = Grab(FCPU->PB1);
    QCOMPARE(CountPixels(image, QRect(1, 3 * lh, FCPU->MarginWidth() - 1, lh), IsNotWhite), 0);
  }

  // Clicks elsewhere move the cursor frame; scrolled away it is not drawn but still used; rows
  // behind the wrap name the addresses after FFFFFFFF.
  void ClickMovesCursor() {
    const int lh = FCPU->LineHeight();
    QTest::mouseClick(FCPU->PB1, Qt::LeftButton, {}, QPoint(FCPU->MarginWidth(), 4 * lh + 1));
    QCOMPARE(FCPU->CursorAddress(), 4u);
    QImage image = Grab(FCPU->PB1);
    QCOMPARE(image.pixel(0, 4 * lh + lh / 2), kBlackPixel);
    QCOMPARE(image.pixel(0, lh / 2), kWhitePixel);
    FCPU->ScrollBar1->triggerAction(QAbstractSlider::SliderPageStepAdd);
    image = Grab(FCPU->PB1);
    QCOMPARE(CountPixels(image, QRect(0, 0, 1, image.height()), IsNotWhite), 0);
    machine_->Main().ActionGoExecute();
    QCOMPARE(machine_->Cpu().GetPC(), 4u);

    FCPU->ShowAddress(0xFFFFFFFF);
    QTest::mouseClick(FCPU->PB1, Qt::LeftButton, {}, QPoint(100, 2 * lh));
    QCOMPARE(FCPU->CursorAddress(), 1u);
    QTest::mouseClick(FCPU->PB1, Qt::LeftButton, {}, QPoint(1, 5));
    QCOMPARE(machine_->Main().Breakpoints(), std::vector<uint32_t>{0xFFFFFFFF});
  }

  void ShowAddressKeepsWholeRows() {
    FCPU->ShowAddress(WholeRows() - 1);
    QCOMPARE(FCPU->TopAddress(), 0u);
    FCPU->ShowAddress(WholeRows());  // the cut-off row counts as outside
    QCOMPARE(FCPU->TopAddress(), WholeRows());
    machine_->Cpu().SetPC(0xFFFFFFFE);
    machine_->Main().RefreshViews();
    FCPU->ShowAddress(2);  // shown behind the wrap: the view stays
    QCOMPARE(FCPU->TopAddress(), 0xFFFFFFFEu);
  }

  void ScrollEvents_data() {
    QTest::addColumn<int>("action");
    QTest::addColumn<int>("rows");  // rows moved; 1000 stands for a page
    QTest::newRow("line up") << int(QAbstractSlider::SliderSingleStepSub) << -1;
    QTest::newRow("line down") << int(QAbstractSlider::SliderSingleStepAdd) << 1;
    QTest::newRow("page up") << int(QAbstractSlider::SliderPageStepSub) << -1000;
    QTest::newRow("page down") << int(QAbstractSlider::SliderPageStepAdd) << 1000;
    QTest::newRow("to minimum") << int(QAbstractSlider::SliderToMinimum) << 0;
    QTest::newRow("move") << int(QAbstractSlider::SliderMove) << 0;
  }
  void ScrollEvents() {
    QFETCH(int, action);
    QFETCH(int, rows);
    FCPU->ShowAddress(0x1000);
    FCPU->ScrollBar1->triggerAction(static_cast<QAbstractSlider::SliderAction>(action));
    const int64_t moved = rows == 1000 ? WholeRows() : rows == -1000 ? -int64_t(WholeRows()) : rows;
    QCOMPARE(FCPU->TopAddress(), uint32_t(0x1000 + moved));
    QCOMPARE(FCPU->ScrollBar1->value(), 0);
  }

  // Dragging moves nothing; line up at 0 puts FFFFFFFF first and the PC row 0 second.
  void DragAndLineUpAtZero() {
    QScrollBar* bar = FCPU->ScrollBar1;
    bar->setSliderDown(true);
    bar->setSliderPosition(60);
    bar->setSliderDown(false);
    QCOMPARE(FCPU->TopAddress(), 0u);
    QCOMPARE(bar->value(), 0);
    bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    const QImage image = Grab(FCPU->PB1);
    QCOMPARE(image.pixel(Cells(0, 8).center()), kWhitePixel);
    QCOMPARE(image.pixel(Cells(1, 8).center()), kMaroonPixel);
  }

 private:
  std::unique_ptr<Machine> machine_;
};

QTEST_MAIN(TfcpuTest)
#include "TfcpuTest.moc"
