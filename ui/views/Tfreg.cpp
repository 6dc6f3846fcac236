// The register window.
#include "Tfreg.h"

#include <QFontMetrics>
#include <QFrame>
#include <QMenu>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>
#include <cstdio>

#include "Inspection.h"
#include "Processor.h"
#include "Reverse.h"
#include "ValueInput.h"
#include "ViewGeometry.h"

TFReg* FReg = nullptr;

using namespace inspection;

namespace {

// Appends texts to a row, each starting where the previous one ended unless placed.
class RowWriter {
 public:
  explicit RowWriter(RegisterTexts& out) : out_(out) {}

  void StartRow(int row, int column) {
    row_ = row;
    column_ = column;
  }
  // The register the following texts belong to.
  void Target(tervik::debug::RegisterId id) { target_ = static_cast<uint8_t>(id); }
  void Label(const char* text) { Put(text, RegisterInk::Label); }
  void Hex(uint32_t value, bool changed, bool blank) {
    char text[10];
    tervik::view::WriteHex8(text, value);
    text[8] = blank ? ' ' : '\0';
    text[9] = '\0';
    Put(text, changed ? RegisterInk::Changed : RegisterInk::Value);
  }
  void Text(const char* text, bool changed) {
    Put(text, changed ? RegisterInk::Changed : RegisterInk::Value);
  }
  size_t Count() const { return n_; }

 private:
  void Put(const char* text, RegisterInk ink) {
    RegisterText& t = out_[n_++];
    t.row = static_cast<uint8_t>(row_);
    t.column = static_cast<uint8_t>(column_);
    t.ink = ink;
    t.target = target_;
    size_t length = 0;
    while (text[length] != '\0' && length < sizeof t.text) {
      t.text[length] = text[length];
      ++length;
    }
    t.length = static_cast<uint8_t>(length);
    column_ += static_cast<int>(length);
  }

  RegisterTexts& out_;
  size_t n_ = 0;
  int row_ = 0;
  int column_ = 0;
  uint8_t target_ = kNoRegister;
};

}  // namespace

void LayoutRegisterRows(const tervik::Processor& cpu, RegisterTexts& out) {
  using tervik::Processor;
  using tervik::debug::RegisterId;
  RowWriter w(out);
  w.StartRow(0, 0);
  w.Target(RegisterId::PC);
  w.Label("PC: ");
  w.Hex(cpu.pc, cpu.pcChanged, true);
  w.Target(RegisterId::IM);
  w.Label("IM: ");
  w.Hex(cpu.im, cpu.imChanged, true);
  w.Target(RegisterId::SP);
  w.Label("SP: ");
  w.Hex(cpu.sp, cpu.spChanged, true);
  w.Target(RegisterId::LFSR);
  w.Label("LFSR: ");
  w.Hex(cpu.lfsr, cpu.lfsrChanged, true);

  // The flags from the highest bit to the lowest.
  const auto bit = [&cpu](uint32_t flag) { return (cpu.sr & flag) != 0; };
  w.StartRow(1, 0);
  w.Target(RegisterId::SR);
  w.Label("SR: ");
  w.Hex(cpu.sr, cpu.srChanged, true);
  w.Label("O: ");
  w.Text(bit(Processor::kFlagO) ? "1  " : "0  ", cpu.oChanged);
  w.Label("C: ");
  w.Text(bit(Processor::kFlagC) ? "1  " : "0  ", cpu.cChanged);
  w.Label("Z: ");
  w.Text(bit(Processor::kFlagZ) ? "1  " : "0  ", cpu.zChanged);
  w.Label("N: ");
  w.Text(bit(Processor::kFlagN) ? "1" : "0", cpu.nChanged);

  for (unsigned k = 0; k < 16; ++k) {
    for (unsigned side = 0; side < 2; ++side) {
      const unsigned n = 2 * k + side;
      char label[16];
      std::snprintf(label, sizeof label, "R%02u: ", n);
      w.StartRow(static_cast<int>(2 + k), side == 0 ? 0 : 16);
      w.Target(tervik::debug::GeneralRegister(n));
      w.Label(label);
      w.Hex(cpu.GetRegister(n), cpu.regChanged[n], false);
    }
  }
}

std::optional<tervik::debug::RegisterId> RegisterAt(const RegisterTexts& texts, int row,
                                                    int column) {
  for (const RegisterText& t : texts) {
    if (t.row == row && column >= t.column && column < t.column + t.length &&
        t.target != kNoRegister) {
      return static_cast<tervik::debug::RegisterId>(t.target);
    }
  }
  return std::nullopt;
}

std::string RegisterName(tervik::debug::RegisterId id) {
  using tervik::debug::RegisterId;
  switch (id) {
    case RegisterId::PC: return "PC";
    case RegisterId::SP: return "SP";
    case RegisterId::SR: return "SR";
    case RegisterId::IM: return "IM";
    case RegisterId::LFSR: return "LFSR";
    default: break;
  }
  char name[8];
  std::snprintf(name, sizeof name, "R%02u", static_cast<unsigned>(id) % 32);
  return name;
}

TFReg::TFReg(QWidget* parent, DebugHost* host)
    : TToolDock("CPU registers", parent, true), host_(host) {
  setObjectName("FReg");
  Panel1 = new QFrame(this);
  Panel1->setObjectName("Panel1");
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel1->setLineWidth(1);
  auto* layout = new QVBoxLayout(Panel1);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  ScrollBox1 = new QScrollArea(Panel1);
  ScrollBox1->setObjectName("ScrollBox1");
  ScrollBox1->setFrameShape(QFrame::NoFrame);
  ScrollBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  ScrollBox1->setWidgetResizable(true);  // as wide as the box; the height stays fixed
  ScrollBox1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  QPalette white = ScrollBox1->palette();
  white.setColor(QPalette::Window, kWhite);
  ScrollBox1->setPalette(white);
  ScrollBox1->viewport()->setPalette(white);
  ScrollBox1->viewport()->setAutoFillBackground(true);
  PB1 = new TPaintBox(ScrollBox1);
  PB1->setObjectName("PB1");
  PB1->OnPaint = [this](QPainter& painter) { PB1Paint(painter); };
  PB1->OnDoubleClick = [this](int x, int y) { PB1DoubleClick(x, y); };
  PB1->ContextEntries.push_back([this](QMenu& menu, int x, int y) {
    const std::string text = WatchTextAt(x, y);
    if (text.empty() || host_ == nullptr) return;
    connect(menu.addAction("&Watch this"), &QAction::triggered, this,
            [this, text] { host_->WatchExpression(text); });
  });
  ScrollBox1->setWidget(PB1);
  layout->addWidget(ScrollBox1);
  setWidget(Panel1);
  resize(353, 439);
  FormCreate();
}

void TFReg::FormCreate() {
  font_ = InspectionFont();
  const TextMetrics metrics = MeasureW(font_);
  LineHeight_ = metrics.lineHeight;
  CharWidth_ = metrics.charWidth;
  ascent_ = QFontMetrics(font_).ascent();
  PB1->setFixedHeight(kRegisterRows * LineHeight_);
}

void TFReg::UpdateView() {
  PB1->update();
}

void TFReg::PB1Paint(QPainter& painter) {
  painter.fillRect(0, 0, PB1->width(), PB1->height(), kWhite);
  if (host_ == nullptr) return;
  painter.setFont(font_);
  LayoutRegisterRows(host_->Session().Cpu(), texts_);
  for (const RegisterText& t : texts_) {
    painter.setPen(t.ink == RegisterInk::Changed ? kRed : kBlack);
    painter.drawText(QPoint(t.column * CharWidth_, t.row * LineHeight_ + ascent_),
                     scratch_.Set(t.View()));
  }
}

std::optional<tervik::debug::RegisterId> TFReg::RegisterAtPoint(int x, int y) {
  if (host_ == nullptr || y < 0) return std::nullopt;
  LayoutRegisterRows(host_->Session().Cpu(), texts_);
  return RegisterAt(texts_, static_cast<int>(tervik::view::RowAt(y, LineHeight_)),
                    tervik::view::ColumnAt(x, CharWidth_));
}

void TFReg::PB1DoubleClick(int x, int y) {
  if (const std::optional<tervik::debug::RegisterId> id = RegisterAtPoint(x, y)) {
    EditRegisterValue(*id);
  }
}

void TFReg::EditRegisterValue(tervik::debug::RegisterId id) {
  if (host_ == nullptr || host_->Running()) return;
  if (!host_->Debugger().MayEdit()) return;  // the past: the debugger says why
  tervik::Processor& cpu = host_->Session().Cpu();
  const std::string name = RegisterName(id);
  const bool isSr = id == tervik::debug::RegisterId::SR;
  const QString prompt =
      isSr ? QString(
                 "SR (a number or an expression):\nonly the flag bits 0..3 are kept: N 1, "
                 "Z 2, C 4, O 8")
           : QString("%1 (a number or an expression):").arg(QString::fromStdString(name));
  const std::optional<uint32_t> value =
      AskWord(this, QString("Edit %1").arg(QString::fromStdString(name)), prompt,
              HexText(ReadRegister(cpu, id)), cpu, host_->Session().Lookup());
  if (!value || host_->Running()) return;
  // The debugger tells the views, which repaint.
  const uint32_t stored = host_->Debugger().EditRegister(id, *value);
  if (stored != *value) {
    host_->Message(QString::asprintf("SR keeps only the flag bits 0..3: %08X was stored as %08X",
                                     *value, stored)
                       .toStdString());
  }
}

std::string TFReg::WatchTextAt(int x, int y) {
  const std::optional<tervik::debug::RegisterId> id = RegisterAtPoint(x, y);
  if (!id) return {};
  const unsigned n = static_cast<unsigned>(*id);
  // The expression language's names: R0..R31 without the window's leading zero.
  if (n >= 32) return RegisterName(*id);
  std::string name = "R";  // appended, not "R" + ...: GCC 12 misreads that at -O2 (-Wrestrict)
  name += std::to_string(n);
  return name;
}
