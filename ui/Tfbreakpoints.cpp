// The breakpoints window and its editing.
#include "Tfbreakpoints.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QVBoxLayout>

#include "Expression.h"

TFBreakpoints::TFBreakpoints(QWidget* parent, tervik::debug::Session& session,
                             std::function<void(uint32_t)> showAddress,
                             std::function<void()> changed)
    : TToolDock("Breakpoints", parent, false),
      session_(session),
      showAddress_(std::move(showAddress)),
      changed_(std::move(changed)) {
  setObjectName("FBreakpoints");
  AskText = [this](const QString& label, const QString& text) {
    return AskWithDialog(label, text);
  };

  auto* body = new QWidget(this);
  auto* layout = new QVBoxLayout(body);
  layout->setContentsMargins(2, 2, 2, 2);
  Table = new QTableWidget(0, kColumnCount, body);
  Table->setObjectName("BreakpointTable");
  Table->setHorizontalHeaderLabels({"#", "Address", "Condition", "Stop at hit", "Hits"});
  Table->verticalHeader()->hide();
  Table->setSelectionBehavior(QAbstractItemView::SelectRows);
  Table->setSelectionMode(QAbstractItemView::SingleSelection);
  Table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
  Table->horizontalHeader()->setSectionResizeMode(kCondition, QHeaderView::Stretch);
  QFont mono("Courier New");
  mono.setStyleHint(QFont::TypeWriter);
  mono.setPixelSize(11);
  Table->setFont(mono);
  Table->verticalHeader()->setDefaultSectionSize(QFontMetrics(mono).height() + 6);
  layout->addWidget(Table);

  auto* buttons = new QHBoxLayout();
  AddButton = new QPushButton("&Add...", body);
  RemoveButton = new QPushButton("&Remove", body);
  ClearButton = new QPushButton("&Clear all", body);
  for (QPushButton* b : {AddButton, RemoveButton, ClearButton}) buttons->addWidget(b);
  buttons->addStretch(1);
  layout->addLayout(buttons);
  Message = new QLabel(body);
  Message->setObjectName("BreakpointMessage");
  layout->addWidget(Message);
  setWidget(body);
  resize(460, 220);

  connect(AddButton, &QPushButton::clicked, this, &TFBreakpoints::AddBreakpoint);
  connect(RemoveButton, &QPushButton::clicked, this, &TFBreakpoints::RemoveSelected);
  connect(ClearButton, &QPushButton::clicked, this, &TFBreakpoints::ClearAll);
  connect(Table, &QTableWidget::cellChanged, this, &TFBreakpoints::CellChanged);
  connect(Table, &QTableWidget::cellDoubleClicked, this, &TFBreakpoints::CellDoubleClicked);
}

void TFBreakpoints::UpdateView() {
  filling_ = true;
  const std::vector<uint32_t>& addresses = session_.Breakpoints();
  Table->setRowCount(static_cast<int>(addresses.size()));
  for (size_t i = 0; i < addresses.size(); ++i) {
    const tervik::debug::BreakpointSettings& settings = session_.Settings(i + 1);
    const int row = static_cast<int>(i);
    auto cell = [&](Column column, const QString& text, bool editable) {
      QTableWidgetItem* item = Table->item(row, column);
      if (item == nullptr) {
        item = new QTableWidgetItem;
        Table->setItem(row, column, item);
      }
      item->setText(text);
      Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
      if (editable) flags |= Qt::ItemIsEditable;
      if (column == kNumber) flags |= Qt::ItemIsUserCheckable;
      item->setFlags(flags);
      return item;
    };
    cell(kNumber, QString::number(i + 1), false)
        ->setCheckState(settings.enabled ? Qt::Checked : Qt::Unchecked);
    cell(kAddress, QString::asprintf("%08X", addresses[i]), false);
    cell(kCondition,
         settings.condition ? QString::fromStdString(settings.condition->Text()) : QString(), true);
    cell(kStopAtHit, QString::number(settings.stopAtHit), true);
    cell(kHits, QString::number(settings.hits), false);
  }
  Table->resizeColumnToContents(kNumber);
  Table->resizeColumnToContents(kAddress);
  filling_ = false;
}

std::optional<QString> TFBreakpoints::AskWithDialog(const QString& label, const QString& text) {
  bool ok = false;
  const QString answer =
      QInputDialog::getText(this, windowTitle(), label, QLineEdit::Normal, text, &ok);
  if (!ok) return std::nullopt;
  return answer;
}

void TFBreakpoints::AddBreakpoint() {
  QString text;
  QString label = "Address (an expression):";
  while (true) {
    const std::optional<QString> answer = AskText(label, text);
    if (!answer) return;
    text = *answer;
    const std::string source = text.toStdString();
    tervik::debug::ProcessorContext context(session_.Cpu());
    tervik::debug::Result<tervik::debug::Expression> parsed =
        tervik::debug::Expression::Parse(source);
    std::string error;
    if (parsed.ok()) {
      const tervik::debug::Result<uint32_t> address = parsed.value().EvaluateWord(context);
      if (address.ok()) {
        if (!session_.IsBreakpoint(address.value())) session_.ToggleBreakpoint(address.value());
        Message->clear();
        UpdateView();
        changed_();
        return;
      }
      error = address.error().Text();
    } else {
      error = parsed.error().Text();
    }
    // Ask again, saying what is wrong with the text given.
    label = QString::fromStdString(error) + "\nAddress (an expression):";
  }
}

void TFBreakpoints::RemoveSelected() {
  const int row = Table->currentRow();
  if (row < 0 || row >= static_cast<int>(session_.Breakpoints().size())) return;
  session_.ToggleBreakpoint(session_.Breakpoints()[static_cast<size_t>(row)]);
  UpdateView();
  changed_();
}

void TFBreakpoints::ClearAll() {
  session_.ClearBreakpoints();
  UpdateView();
  changed_();
}

void TFBreakpoints::CellChanged(int row, int column) {
  if (filling_ || row < 0 || row >= static_cast<int>(session_.Breakpoints().size())) return;
  const size_t number = static_cast<size_t>(row) + 1;
  QTableWidgetItem* item = Table->item(row, column);
  Message->clear();
  switch (column) {
    case kNumber: session_.SetEnabled(number, item->checkState() == Qt::Checked); break;
    case kCondition: {
      const tervik::debug::Result<bool> set =
          session_.SetCondition(number, item->text().toStdString());
      if (!set.ok()) {
        Message->setText("Condition of breakpoint " + QString::number(number) + ": " +
                         QString::fromStdString(set.error().Text()));
      }
      break;
    }
    case kStopAtHit: {
      bool ok = false;
      const qulonglong n = item->text().trimmed().toULongLong(&ok);
      if (ok && n >= 1) {
        session_.SetStopAtHit(number, n);
      } else {
        Message->setText("Stop at hit: a whole number from 1");
      }
      break;
    }
    default: break;
  }
  // Show what the session holds: a rejected edit goes back to the value before it.
  UpdateView();
  changed_();
}

void TFBreakpoints::CellDoubleClicked(int row, int column) {
  if (column != kAddress && column != kNumber && column != kHits) return;
  if (row < 0 || row >= static_cast<int>(session_.Breakpoints().size())) return;
  showAddress_(session_.Breakpoints()[static_cast<size_t>(row)]);
}
