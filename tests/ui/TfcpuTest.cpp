// The disassembly window on a real main window under the offscreen platform: row contents, the
// pixels of the PC row, comments, breakpoint marks and the cursor frame; clicks and scrolling;
// the wheel, the navigation keys and Go to address, and that none of them acts during a run.
#include <QAction>
#include <QScrollBar>
#include <QtTest>

#include "InspectionFixture.h"
#include "Tfcpu.h"
#include "Tfmem.h"
#include "Tfreg.h"

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
// Puts `top` in the first row, wherever the view was.
void ScrollTo(uint32_t top) {
  FCPU->ShowAddress(top + 0x80000000u);
  FCPU->ShowAddress(top);
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
    // Disabled, it is a hollow circle: the outline in maroon, the centre white.
    machine_->Main().Session().SetEnabled(1, false);
    FCPU->UpdateView();
    image = Grab(FCPU->PB1);
    QCOMPARE(image.pixel(centre), kWhitePixel);
    QCOMPARE(image.pixel(box.left, centre.y()), kMaroonPixel);
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

  // Three rows a notch, partial turns adding up, a turn back dropping the rest, the wrap at both
  // ends as the arrows wrap; the same over the scroll bar.
  void Wheel_data() {
    QTest::addColumn<uint32_t>("top");
    QTest::addColumn<QList<int>>("deltas");
    QTest::addColumn<bool>("overBar");
    QTest::addColumn<uint32_t>("expected");
    QTest::newRow("notch up") << 0x1000u << QList<int>{120} << false << 0xFFDu;
    QTest::newRow("parts add up") << 0x1000u << QList<int>{30, 30, 30, 30} << false << 0xFFDu;
    QTest::newRow("turn back drops it") << 0x1000u << QList<int>{30, -30, -10} << false << 0x1001u;
    QTest::newRow("up at 1 wraps") << 1u << QList<int>{120} << false << 0xFFFFFFFEu;
    QTest::newRow("over the scroll bar") << 0x1000u << QList<int>{120} << true << 0xFFDu;
  }
  void Wheel() {
    QFETCH(uint32_t, top);
    QFETCH(QList<int>, deltas);
    QFETCH(bool, overBar);
    QFETCH(uint32_t, expected);
    ScrollTo(top);
    for (int delta : deltas) {
      TurnWheel(overBar ? static_cast<QWidget*>(FCPU->ScrollBar1) : FCPU->PB1, delta);
    }
    QCOMPARE(FCPU->TopAddress(), expected);
    QCOMPARE(FCPU->ScrollBar1->value(), 0);
    QCOMPARE(FCPU->CursorAddress(), 0u);  // the wheel leaves the cursor
  }

  // Keys move the cursor and keep it in view (W: whole rows); Home shows pc; other keys and
  // modified keys move nothing.
  void Keys_data() {
    QTest::addColumn<QString>("top");
    QTest::addColumn<QString>("cursor");
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<QString>("expectedTop");
    QTest::addColumn<QString>("expectedCursor");
    const Qt::KeyboardModifiers none = Qt::NoModifier;
    QTest::newRow("down off the last whole row")
        << "0x1000"
        << "0x1000 + W - 1" << int(Qt::Key_Down) << none << "0x1001"
        << "0x1000 + W";
    QTest::newRow("up off the top row") << "0x1000"
                                        << "0x1000" << int(Qt::Key_Up) << none << "0xFFF"
                                        << "0xFFF";
    QTest::newRow("page down keeps the screen row")
        << "0x1000"
        << "0x1002" << int(Qt::Key_PageDown) << none << "0x1000 + W"
        << "0x1002 + W";
    QTest::newRow("cursor scrolled away comes back at the bottom")
        << "0x1000"
        << "0x10" << int(Qt::Key_Down) << none << "0x12 - W"
        << "0x11";
    QTest::newRow("home shows pc") << "0x1000"
                                   << "0x1000" << int(Qt::Key_Home) << none << "0x2000"
                                   << "0x2000";
    QTest::newRow("shift+down moves nothing")
        << "0x1000"
        << "0x1002" << int(Qt::Key_Down) << Qt::KeyboardModifiers(Qt::ShiftModifier) << "0x1000"
        << "0x1002";
  }
  void Keys() {
    QFETCH(QString, top);
    QFETCH(QString, cursor);
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(QString, expectedTop);
    QFETCH(QString, expectedCursor);
    const uint32_t w = WholeRows();
    QVERIFY(w > 4);
    machine_->Cpu().SetPC(0x2000);
    FCPU->GoToAddress(WithRows(cursor, w));
    ScrollTo(WithRows(top, w));
    QTest::keyClick(FCPU->PB1, static_cast<Qt::Key>(key), modifiers);
    QCOMPARE(FCPU->TopAddress(), WithRows(expectedTop, w));
    QCOMPARE(FCPU->CursorAddress(), WithRows(expectedCursor, w));
  }

  // Go to: the prompt starts with the cursor's address; a valid text moves the cursor there and
  // brings it into view; a refused one shows the language's error, stays open and moves nothing.
  void GoTo_data() {
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QStringList>("errors");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<uint32_t>("expected");
    QTest::newRow("hex") << QStringList{"0x2000"} << QStringList{} << true << 0x2000u;
    QTest::newRow("expression") << QStringList{"PC + 4 * R1"} << QStringList{} << true << 0x3Cu;
    QTest::newRow("memory word") << QStringList{"M[0x10]"} << QStringList{} << true << 0xABCDu;
    QTest::newRow("refused, then right")
        << QStringList{"0x20 +", "0x20"} << QStringList{"0x20 +"} << true << 0x20u;
    QTest::newRow("unknown register, cancelled")
        << QStringList{"R32"} << QStringList{"R32"} << false << 0u;
  }
  void GoTo() {
    QFETCH(QStringList, texts);
    QFETCH(QStringList, errors);
    QFETCH(bool, accepted);
    QFETCH(uint32_t, expected);
    tervik::Processor& cpu = machine_->Cpu();
    cpu.SetPC(0x30);
    cpu.SetRegister(1, 3);
    cpu.WriteMem(0x10, 0xABCD);
    PromptLog log;
    AnswerNextPrompt(log, texts);
    FCPU->ActionGoToAddress->trigger();
    QVERIFY(log.shown);
    QCOMPARE(log.parent, FCPU);
    QCOMPARE(log.initial, "0x00000000");
    QStringList shown;
    for (const QString& e : errors) shown << ExpressionError(cpu, e.toStdString());
    QCOMPARE(log.errors, shown);
    for (const QString& e : log.errors) QVERIFY2(e.startsWith("col "), qPrintable(e));
    QCOMPARE(log.accepted, accepted);
    QCOMPARE(FCPU->CursorAddress(), expected);
    QCOMPARE(FCPU->TopAddress(), tervik::view::TopAfterShow(0, expected, WholeRows()));
  }

  // Ctrl+G reaches the window with the focus, floating or docked in the main window beside the
  // other: each dock has its own, so neither is ambiguous.
  void CtrlGIsScopedToEachWindow_data() {
    QTest::addColumn<bool>("floating");
    QTest::newRow("floating") << true;
    QTest::newRow("docked") << false;
  }
  void CtrlGIsScopedToEachWindow() {
    QFETCH(bool, floating);
    machine_->Main().ActionShowMemoryExecute();
    FloatAt(FMem, QSize(358, 338));
    for (QDockWidget* dock : {static_cast<QDockWidget*>(FCPU), static_cast<QDockWidget*>(FMem)}) {
      dock->setFloating(floating);
    }
    QApplication::processEvents();
    for (QDockWidget* dock : {static_cast<QDockWidget*>(FCPU), static_cast<QDockWidget*>(FMem)}) {
      auto* action = dock->findChild<QAction*>("ActionGoToAddress");
      QVERIFY(action != nullptr);
      QCOMPARE(action->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_G));
      QWidget* box = dock->findChild<QWidget*>("PB1");
      box->window()->activateWindow();
      box->setFocus();
      QVERIFY(QTest::qWaitForWindowActive(box->window()));
      QTRY_VERIFY(box->hasFocus());
      PromptLog log;
      AnswerNextPrompt(log, {});
      QTest::keyClick(box, Qt::Key_G, Qt::ControlModifier);
      QVERIFY(log.shown);
      QCOMPARE(log.parent, dock);
    }
  }

  // During a run the wheel, the keys, Go to and the edits do nothing and open no prompt.
  void NothingDuringARun() {
    tervik::Processor& cpu = machine_->Cpu();
    cpu.WriteMem(0, 0x00000000);             // NOP
    cpu.WriteMem(1, (47u << 26) | 0xFFFFu);  // JUMPI -1: back to the NOP
    machine_->Main().ActionLiveViews->setChecked(false);
    machine_->Main().ActionShowMemoryExecute();
    FCPU->ShowAddress(0x1000);
    bool checked = false;
    QTimer::singleShot(30, &machine_->Main(), [&] {
      machine_->Main().ActionStopExecute();  // takes effect once this returns
      QVERIFY(machine_->Main().Running());
      PromptLog log;
      AnswerNextPrompt(log, {});
      TurnWheel(FCPU->PB1, 120);
      TurnWheel(FMem->PB1, 120);
      QTest::keyClick(FCPU->PB1, Qt::Key_Down);
      QTest::keyClick(FMem->PB1, Qt::Key_Home);
      FCPU->ActionGoToAddress->trigger();
      FMem->ActionGoToAddress->trigger();
      FReg->EditRegisterValue(tervik::debug::GeneralRegister(1));
      FMem->EditWord(5);
      QCoreApplication::processEvents();
      QVERIFY(!log.shown);
      QCOMPARE(FCPU->TopAddress(), 0x1000u);
      QCOMPARE(FCPU->CursorAddress(), 0u);
      QCOMPARE(FMem->TopAddress(), 0u);
      checked = true;
    });
    machine_->Main().ActionRunExecute();
    QVERIFY(checked);
  }

 private:
  std::unique_ptr<Machine> machine_;
};

QTEST_MAIN(TfcpuTest)
#include "TfcpuTest.moc"
