// The disassembly window.
#include "Tfcpu.h"

#include <QAction>
#include <QFontMetrics>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <optional>
#include <span>

#include "RowSymbols.h"
#include "ValueInput.h"

TFCPU* FCPU = nullptr;

using namespace inspection;

TFCPU::TFCPU(QWidget* parent, DebugHost* host) : TToolDock("Memory", parent, true), host_(host) {
  setObjectName("FCPU");
  const ScrolledPaintArea area = MakeScrolledPaintArea(this);
  PB1 = area.box;
  PB1->OnPaint = [this](QPainter& painter) { PB1Paint(painter); };
  PB1->OnMouseDown = [this](int x, int y) { PB1MouseDown(x, y); };
  ScrollBar1 = area.bar;
  connect(ScrollBar1, &QAbstractSlider::actionTriggered, this,
          [this](int action) { ScrollBar1Scroll(action); });
  setWidget(area.client);
  resize(221, 411);
  // Keys reach the paint box once it has the focus, from a click or from Tab.
  PB1->setFocusPolicy(Qt::StrongFocus);
  PB1->OnWheel = [this](int delta) { PB1Wheel(delta); };
  PB1->OnKey = [this](int key, Qt::KeyboardModifiers modifiers) {
    return PB1KeyDown(key, modifiers);
  };
  RouteWheelToBox(ScrollBar1, PB1);
  // Scoped to this window, so that the memory dump's own Ctrl+G does not compete with it.
  ActionGoToAddress = new QAction("Go to address...", this);
  ActionGoToAddress->setObjectName("ActionGoToAddress");
  ActionGoToAddress->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
  ActionGoToAddress->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  connect(ActionGoToAddress, &QAction::triggered, this, [this] { ActionGoToAddressExecute(); });
  addAction(ActionGoToAddress);
  FormCreate();
}

void TFCPU::FormCreate() {
  font_ = InspectionFont();
  const TextMetrics metrics = MeasureW(font_);
  LineHeight_ = metrics.lineHeight;
  CharWidth_ = metrics.charWidth;
  MarginWidth_ = 2 * CharWidth_;
  MarkSize_ = CharWidth_;
  ascent_ = QFontMetrics(font_).ascent();
}

void TFCPU::ShowAddress(uint32_t a) {
  TopAddress_ = tervik::view::TopAfterShow(TopAddress_, a,
                                           tervik::view::WholeRows(PB1->height(), LineHeight_));
  PB1->update();
}

void TFCPU::UpdateView() {
  PB1->update();
}

void TFCPU::PrepareRow(DisassemblyRow& row, uint32_t address, uint32_t pc) const {
  tervik::Processor& cpu = host_->Session().Cpu();
  const uint32_t word = cpu.ReadMem(address);
  row.address = address;
  row.isPc = address == pc;
  row.breakpoint = host_->Session().IsBreakpoint(address);
  tervik::view::WriteHex8(row.head, address);
  row.head[8] = ' ';
  tervik::view::WriteHex8(row.head + 9, word);
  row.head[17] = ' ';
  const size_t length = tervik::Processor::Disassemble(word, std::span<char>(row.text));
  const tervik::view::SplitText split =
      tervik::view::SplitAtTab(std::string_view(row.text, std::min(length, sizeof row.text - 1)));
  row.mnemonic = split.mnemonic;
  row.operands = split.operands;
  row.comment = host_->Session().Listing().Comment(address);
  row.columns = tervik::view::DisassemblyColumns(row.mnemonic.size(), row.operands.size());
  const tervik::SymbolTable& symbols = host_->Session().Symbols();
  const tervik::debug::RowSymbols notes =
      symbols.empty() ? tervik::debug::RowSymbols{}
                      : tervik::debug::SymbolsForRow(symbols, address, word,
                                                     host_->Session().PeekWord(address - 1));
  row.label = notes.label;
  row.target = notes.target;
}

// One text at a character column of the row whose top edge is y, opaque: its cells take the
// background colour, the rest of the row keeps what is there.
void TFCPU::DrawText(QPainter& painter, int column, int y, std::string_view text, const QColor& ink,
                     const QColor& back) {
  if (text.empty()) return;
  const int x = MarginWidth_ + column * CharWidth_;
  const QString& shown = scratch_.Set(text);
  painter.fillRect(x, y, static_cast<int>(shown.size()) * CharWidth_, LineHeight_, back);
  painter.setPen(ink);
  painter.drawText(QPoint(x, y + ascent_), shown);
}

void TFCPU::PB1Paint(QPainter& painter) {
  const int width = PB1->width();
  const int height = PB1->height();
  painter.fillRect(0, 0, width, height, kWhite);
  if (host_ == nullptr) return;
  painter.setFont(font_);
  const uint32_t rows = tervik::view::PaintedRows(height, LineHeight_);
  const uint32_t pc = host_->Session().Cpu().GetPC();
  DisassemblyRow row;
  int y = 0;
  for (uint32_t i = 0; i < rows; ++i, y += LineHeight_) {
    PrepareRow(row, TopAddress_ + i, pc);
    if (row.breakpoint) {
      const tervik::view::MarkBox box =
          tervik::view::BreakpointMarkBox(MarginWidth_, MarkSize_, LineHeight_, y);
      painter.setPen(kBlack);
      painter.setBrush(kMaroon);
      // A one-pixel outline covers the rectangle's right and bottom edges too, hence the -1.
      painter.drawEllipse(
          QRect(box.left, box.top, box.right - box.left - 1, box.bottom - box.top - 1));
      painter.setBrush(Qt::NoBrush);
    }
    const QColor& back = row.isPc ? kMaroon : kWhite;
    const QColor& ink = row.isPc ? kWhite : kBlack;
    DrawText(painter, 0, y, std::string_view(row.head, sizeof row.head), kRed, back);
    DrawText(painter, row.columns.mnemonic, y, row.mnemonic, ink, back);
    DrawText(painter, row.columns.operands, y, row.operands, ink, back);
    // With symbols, the label and the target go first in the comment column; the comment follows.
    int column = row.columns.comment;
    if (row.label != nullptr) {
      const std::string text = *row.label + ":";
      DrawText(painter, column, y, text, row.isPc ? kWhite : kNavy, back);
      column += static_cast<int>(text.size()) + 1;
    }
    if (row.target != nullptr) {
      const std::string text = "-> " + *row.target;
      DrawText(painter, column, y, text, row.isPc ? kWhite : kPurple, back);
      column += static_cast<int>(text.size()) + 1;
    }
    DrawText(painter, column, y, row.comment, kGreen, back);
    if (row.address == CursorAddress_) {
      painter.setPen(kBlack);
      painter.drawRect(0, y, width - 1, LineHeight_ - 1);
    }
  }
}

void TFCPU::PB1MouseDown(int x, int y) {
  const uint32_t address = TopAddress_ + tervik::view::RowAt(y, LineHeight_);
  if (x < MarginWidth_) {
    if (host_ != nullptr) host_->ToggleBreakpoint(address);
  } else {
    CursorAddress_ = address;
  }
  PB1->update();
}

void TFCPU::ScrollBar1Scroll(int sliderAction) {
  RecentreThumb(ScrollBar1);
  TopAddress_ = tervik::view::TopAfterScroll(TopAddress_, ScrollCodeOf(sliderAction), 1,
                                             tervik::view::WholeRows(PB1->height(), LineHeight_));
  PB1->update();
}

void TFCPU::GoToAddress(uint32_t a) {
  CursorAddress_ = a;
  ShowAddress(a);
}

void TFCPU::PB1Wheel(int delta) {
  if (host_ == nullptr || host_->Running()) return;
  const tervik::view::WheelSteps steps = tervik::view::WheelRows(wheelPending_, delta);
  wheelPending_ = steps.pending;
  if (steps.rows == 0) return;
  TopAddress_ = tervik::view::TopAfterRows(TopAddress_, steps.rows, 1);
  PB1->update();
}

bool TFCPU::PB1KeyDown(int key, Qt::KeyboardModifiers modifiers) {
  if (host_ == nullptr || host_->Running()) return false;
  if ((modifiers & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
  if (key == Qt::Key_Home) {
    GoToAddress(host_->Session().Cpu().GetPC());
    return true;
  }
  const tervik::view::ScrollCode code = ScrollCodeOfKey(key);
  if (code == tervik::view::ScrollCode::Other) return false;
  const tervik::view::CursorView moved = tervik::view::CursorAfterKey(
      {TopAddress_, CursorAddress_}, code, tervik::view::WholeRows(PB1->height(), LineHeight_));
  TopAddress_ = moved.top;
  CursorAddress_ = moved.cursor;
  PB1->update();
  return true;
}

void TFCPU::ActionGoToAddressExecute() {
  if (host_ == nullptr || host_->Running()) return;
  const std::optional<uint32_t> a =
      AskWord(this, "Go to address",
              "Address (a number or an expression such as PC + 4):", HexText(CursorAddress_),
              host_->Session().Cpu(), host_->Session().Lookup());
  if (a && !host_->Running()) GoToAddress(*a);
}
