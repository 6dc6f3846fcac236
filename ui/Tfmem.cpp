// The memory dump window.
#include "Tfmem.h"

#include <QFontMetrics>
#include <QPainter>
#include <QScrollBar>
#include <string_view>

#include "Tfmain.h"
#include "ViewGeometry.h"

TFMem* FMem = nullptr;

using namespace inspection;

TFMem::TFMem(QWidget* parent) : TToolDock("Memory dump", parent, false) {
  setObjectName("FMem");
  const ScrolledPaintArea area = MakeScrolledPaintArea(this);
  PB1 = area.box;
  PB1->OnPaint = [this](QPainter& painter) { PB1Paint(painter); };
  ScrollBar1 = area.bar;
  connect(ScrollBar1, &QAbstractSlider::actionTriggered, this,
          [this](int action) { ScrollBar1Scroll(action); });
  setWidget(area.client);
  resize(358, 338);
  FormCreate();
}

void TFMem::FormCreate() {
  font_ = InspectionFont();
  const TextMetrics metrics = MeasureW(font_);
  LineHeight_ = metrics.lineHeight;
  CharWidth_ = metrics.charWidth;
  ascent_ = QFontMetrics(font_).ascent();
}

void TFMem::UpdateView() {
  PB1->update();
}

void TFMem::PB1Paint(QPainter& painter) {
  const int height = PB1->height();
  painter.fillRect(0, 0, PB1->width(), height, kWhite);
  if (FMain == nullptr) return;
  painter.setFont(font_);
  tervik::Processor& cpu = FMain->Cpu();
  const bool stored = cpu.memWritten;
  const uint32_t storedAt = cpu.lastWriteAddress;
  const uint32_t rows = tervik::view::PaintedRows(height, LineHeight_);
  char text[kWordColumn];
  int baseline = ascent_;
  for (uint32_t k = 0; k < rows; ++k, baseline += LineHeight_) {
    const uint32_t a = TopAddress_ + kWordsPerRow * k;
    tervik::view::WriteHex8(text, a);
    text[8] = ' ';
    text[9] = ' ';
    painter.setPen(kRed);
    painter.drawText(QPoint(0, baseline), scratch_.Set(std::string_view(text, kWordColumn)));
    for (uint32_t i = 0; i < kWordsPerRow; ++i) {
      tervik::view::WriteHex8(text, cpu.ReadMem(a + i));
      text[8] = ' ';
      painter.setPen(stored && a + i == storedAt ? kRed : kBlack);
      const int x = (kWordColumn + static_cast<int>(i) * kWordWidth) * CharWidth_;
      painter.drawText(QPoint(x, baseline), scratch_.Set(std::string_view(text, kWordWidth)));
    }
  }
}

void TFMem::ScrollBar1Scroll(int sliderAction) {
  RecentreThumb(ScrollBar1);
  TopAddress_ = tervik::view::TopAfterScroll(TopAddress_, ScrollCodeOf(sliderAction), kWordsPerRow,
                                             tervik::view::WholeRows(PB1->height(), LineHeight_));
  PB1->update();
}
