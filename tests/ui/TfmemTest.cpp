// The memory dump window on a real main window under the offscreen platform: the last stored
// word in red, scrolling by rows and pages with the wrap at 0.
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

 private:
  std::unique_ptr<Machine> machine_;
};

QTEST_MAIN(TfmemTest)
#include "TfmemTest.moc"
