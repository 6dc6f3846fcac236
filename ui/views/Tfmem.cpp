// The memory dump window.
#include "Tfmem.h"

#include <QAction>
#include <QFontMetrics>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cstdio>
#include <string_view>

#include "Inspection.h"
#include "Processor.h"
#include "Reverse.h"
#include "ValueInput.h"

TFMem* FMem = nullptr;

using namespace inspection;

TFMem::TFMem(QWidget* parent, DebugHost* host)
    : TToolDock("Memory dump", parent, false), host_(host) {
  setObjectName("FMem");
  const ScrolledPaintArea area = MakeScrolledPaintArea(this);
  PB1 = area.box;
  PB1->OnPaint = [this](QPainter& painter) { PB1Paint(painter); };
  ScrollBar1 = area.bar;
  connect(ScrollBar1, &QAbstractSlider::actionTriggered, this,
          [this](int action) { ScrollBar1Scroll(action); });
  setWidget(area.client);
  resize(358, 338);
  // Keys reach the paint box once it has the focus, from a click or from Tab.
  PB1->setFocusPolicy(Qt::StrongFocus);
  PB1->OnWheel = [this](int delta) { PB1Wheel(delta); };
  PB1->OnKey = [this](int key, Qt::KeyboardModifiers modifiers) {
    return PB1KeyDown(key, modifiers);
  };
  PB1->OnDoubleClick = [this](int x, int y) { PB1DoubleClick(x, y); };
  PB1->ContextEntries.push_back([this](QMenu& menu, int x, int y) {
    const std::string text = WatchTextAt(x, y);
    if (text.empty() || host_ == nullptr) return;
    connect(menu.addAction("&Watch this"), &QAction::triggered, this,
            [this, text] { host_->WatchExpression(text); });
  });
  RouteWheelToBox(ScrollBar1, PB1);
  // Scoped to this window, so that the disassembly's own Ctrl+G does not compete with it.
  ActionGoToAddress = new QAction("Go to address...", this);
  ActionGoToAddress->setObjectName("ActionGoToAddress");
  ActionGoToAddress->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
  ActionGoToAddress->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  connect(ActionGoToAddress, &QAction::triggered, this, [this] { ActionGoToAddressExecute(); });
  addAction(ActionGoToAddress);
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
  if (host_ == nullptr) return;
  painter.setFont(font_);
  tervik::Processor& cpu = host_->Session().Cpu();
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

uint32_t DumpHomeAddress(const tervik::Processor& cpu) {
  const auto& regions = cpu.Regions();
  if (regions.empty()) return 0;
  const auto lowest =
      std::min_element(regions.begin(), regions.end(),
                       [](const tervik::MemoryRegion& x, const tervik::MemoryRegion& y) {
                         return x.start < y.start;
                       });
  return tervik::view::DumpRowStart(lowest->start);
}

void TFMem::GoToAddress(uint32_t a) {
  TopAddress_ = tervik::view::DumpRowStart(a);
  PB1->update();
}

std::optional<uint32_t> TFMem::WordAt(int x, int y) const {
  const int word = tervik::view::DumpWordAt(tervik::view::ColumnAt(x, CharWidth_));
  if (word < 0 || y < 0) return std::nullopt;
  return TopAddress_ + kWordsPerRow * tervik::view::RowAt(y, LineHeight_) +
         static_cast<uint32_t>(word);
}

void TFMem::PB1Wheel(int delta) {
  if (host_ == nullptr || host_->Running()) return;
  const tervik::view::WheelSteps steps = tervik::view::WheelRows(wheelPending_, delta);
  wheelPending_ = steps.pending;
  if (steps.rows == 0) return;
  TopAddress_ = tervik::view::TopAfterRows(TopAddress_, steps.rows, kWordsPerRow);
  PB1->update();
}

bool TFMem::PB1KeyDown(int key, Qt::KeyboardModifiers modifiers) {
  if (host_ == nullptr || host_->Running()) return false;
  if ((modifiers & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
  if (key == Qt::Key_Home) {
    GoToAddress(DumpHomeAddress(host_->Session().Cpu()));
    return true;
  }
  const tervik::view::ScrollCode code = ScrollCodeOfKey(key);
  if (code == tervik::view::ScrollCode::Other) return false;
  // As the scroll bar moves, but a page is at least one row.
  const uint32_t page = std::max(1u, tervik::view::WholeRows(PB1->height(), LineHeight_));
  TopAddress_ = tervik::view::TopAfterScroll(TopAddress_, code, kWordsPerRow, page);
  PB1->update();
  return true;
}

void TFMem::PB1DoubleClick(int x, int y) {
  if (const std::optional<uint32_t> a = WordAt(x, y)) EditWord(*a);
}

void TFMem::EditWord(uint32_t a) {
  if (host_ == nullptr || host_->Running()) return;
  if (!host_->Debugger().MayEdit()) return;  // the past: the debugger says why
  tervik::Processor& cpu = host_->Session().Cpu();
  char address[9] = {};
  tervik::view::WriteHex8(address, a);
  if (!IsMapped(cpu, a)) {
    host_->Message(std::string("No memory at ") + address + " to edit");
    return;
  }
  const std::optional<uint32_t> value =
      AskWord(this, "Edit memory", QString("Word at %1 (a number or an expression):").arg(address),
              HexText(cpu.ReadMem(a)), cpu, host_->Session().Lookup());
  if (!value || host_->Running()) return;
  host_->Debugger().EditWord(a, *value);  // the debugger tells the views, which repaint
}

void TFMem::ActionGoToAddressExecute() {
  if (host_ == nullptr || host_->Running()) return;
  const std::optional<uint32_t> a =
      AskWord(this, "Go to address",
              "Address (a number or an expression such as SP - 4):", HexText(TopAddress_),
              host_->Session().Cpu(), host_->Session().Lookup());
  if (a && !host_->Running()) GoToAddress(*a);
}

std::string TFMem::WatchTextAt(int x, int y) const {
  const std::optional<uint32_t> a = WordAt(x, y);
  if (!a) return {};
  char text[16];
  std::snprintf(text, sizeof text, "M[0x%08X]", *a);
  return text;
}
