// The breakpoints window and its editing.
#include "Tfbreakpoints.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

#include "Expression.h"
#include "Text.h"

TFBreakpoints::TFBreakpoints(QWidget* parent, tervik::debug::Session& session,
                             std::function<void(uint32_t)> showAddress,
                             std::function<void(uint32_t)> showData, std::function<void()> changed)
    : TToolDock("Breakpoints", parent, false),
      session_(session),
      showAddress_(std::move(showAddress)),
      showData_(std::move(showData)),
      changed_(std::move(changed)) {
  setObjectName("FBreakpoints");
  AskText = [this](const QString& label, const QString& text) {
    return AskWithDialog(label, text);
  };

  auto* body = new QWidget(this);
  auto* layout = new QVBoxLayout(body);
  layout->setContentsMargins(2, 2, 2, 2);
  Table = new QTableWidget(0, kColumnCount, body);
  SetUpToolTable(*Table, "BreakpointTable", "Breakpoints and watchpoints",
                 QAbstractItemView::ExtendedSelection,
                 QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
  Table->setHorizontalHeaderLabels({"#", "Address", "Condition", "Stop at hit", "Hits"});
  Table->horizontalHeader()->setSectionResizeMode(kCondition, QHeaderView::Stretch);
  layout->addWidget(Table);

  auto* buttons = new QHBoxLayout();
  AddButton = new QPushButton("&Add...", body);
  AddButton->setToolTip("A breakpoint at an address");
  WatchButton = new QPushButton("&Watch...", body);
  WatchButton->setToolTip("A watchpoint on a word or a range of words");
  RemoveButton = new QPushButton("&Remove", body);
  ClearButton = new QPushButton("&Clear all", body);
  for (QPushButton* b : {AddButton, WatchButton, RemoveButton, ClearButton}) buttons->addWidget(b);
  buttons->addStretch(1);
  layout->addLayout(buttons);
  Message = new QLabel(body);
  Message->setObjectName("BreakpointMessage");
  layout->addWidget(Message);
  setWidget(body);
  resize(460, 220);

  connect(AddButton, &QPushButton::clicked, this, &TFBreakpoints::AddBreakpoint);
  connect(WatchButton, &QPushButton::clicked, this, &TFBreakpoints::AddWatchpoint);
  connect(RemoveButton, &QPushButton::clicked, this, &TFBreakpoints::RemoveSelected);
  connect(ClearButton, &QPushButton::clicked, this, &TFBreakpoints::ClearAll);
  connect(Table, &QTableWidget::cellChanged, this, &TFBreakpoints::CellChanged);
  connect(Table, &QTableWidget::cellDoubleClicked, this, &TFBreakpoints::CellDoubleClicked);
  OnKey(*Table, Qt::Key_Delete, [this] { RemoveSelected(); });
}

QString TFBreakpoints::AddressName(uint32_t address) const {
  if (const auto typed = typed_.find(address); typed != typed_.end()) {
    // Only a text that needs the symbols says more than the hex address, and only while the
    // symbols still put it here.
    tervik::debug::SymbolContext none;
    tervik::debug::SymbolContext symbols(session_.Lookup());
    const tervik::debug::Result<uint32_t> with =
        tervik::debug::EvaluateWord(typed->second, symbols);
    if (!tervik::debug::EvaluateWord(typed->second, none).ok() && with.ok() &&
        with.value() == address) {
      return QString::fromStdString(typed->second);
    }
  }
  return QString::fromStdString(session_.Symbols().Locate(address));
}

void TFBreakpoints::UpdateView() {
  filling_ = true;
  // A removed breakpoint's typed text goes with it.
  std::erase_if(typed_, [this](const auto& entry) { return !session_.IsBreakpoint(entry.first); });
  const std::vector<uint32_t>& addresses = session_.Breakpoints();
  const std::vector<tervik::debug::Watchpoint>& watches = session_.Watchpoints();
  Table->setRowCount(static_cast<int>(addresses.size() + watches.size()));
  for (int row = 0; row < Table->rowCount(); ++row) {
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
    const Row target = *RowAt(row);
    const tervik::debug::BreakpointSettings& settings =
        target.watch ? watches[target.number - 1].settings : session_.Settings(target.number);
    QString number = QString::number(target.number);
    QString address;
    if (target.watch) {
      const tervik::debug::Watchpoint& w = watches[target.number - 1];
      number.prepend('W');
      address = QString::fromStdString(tervik::debug::WatchText(w.first, w.last, w.access));
    } else {
      const uint32_t at = addresses[target.number - 1];
      address = QString::asprintf("%08X", at);
      if (const QString name = AddressName(at); !name.isEmpty()) address += "  " + name;
    }
    cell(kNumber, number, false)->setCheckState(settings.enabled ? Qt::Checked : Qt::Unchecked);
    cell(kAddress, address, false);
    cell(kCondition,
         settings.condition ? QString::fromStdString(settings.condition->Text()) : QString(), true);
    cell(kStopAtHit, QString::number(settings.stopAtHit), true);
    cell(kHits, QString::number(settings.hits), false);
  }
  Table->resizeColumnToContents(kNumber);
  Table->resizeColumnToContents(kAddress);
  filling_ = false;
}

std::optional<TFBreakpoints::Row> TFBreakpoints::RowAt(int row) const {
  if (row < 0) return std::nullopt;
  const size_t index = static_cast<size_t>(row);
  const size_t breakpoints = session_.Breakpoints().size();
  if (index < breakpoints) return Row{false, index + 1};
  if (index - breakpoints < session_.Watchpoints().size()) {
    return Row{true, index - breakpoints + 1};
  }
  return std::nullopt;
}

std::optional<QString> TFBreakpoints::AskWithDialog(const QString& label, const QString& text) {
  bool ok = false;
  const QString answer =
      QInputDialog::getText(this, windowTitle(), label, QLineEdit::Normal, text, &ok);
  if (!ok) return std::nullopt;
  return answer;
}

void TFBreakpoints::AskUntilAccepted(
    const QString& label,
    const std::function<std::optional<std::string>(const std::string&)>& accept) {
  QString text;
  QString question = label;
  while (true) {
    const std::optional<QString> answer = AskText(question, text);
    if (!answer) return;
    text = *answer;
    const std::optional<std::string> error = accept(text.toStdString());
    if (!error) {
      Message->clear();
      UpdateView();
      changed_();
      return;
    }
    // Ask again, saying what is wrong with the text given.
    question = QString::fromStdString(*error) + "\n" + label;
  }
}

void TFBreakpoints::AddBreakpoint() {
  AskUntilAccepted("Address (an expression):", [this](const std::string& text) {
    tervik::debug::ProcessorContext context(session_.Cpu(), session_.Lookup());
    const tervik::debug::Result<uint32_t> address = tervik::debug::EvaluateWord(text, context);
    if (!address.ok()) return std::optional<std::string>(address.error().Text());
    if (!session_.IsBreakpoint(address.value())) session_.ToggleBreakpoint(address.value());
    typed_[address.value()] = std::string(tervik::lang::Trim(text));
    return std::optional<std::string>();
  });
}

void TFBreakpoints::AddWatchpoint() {
  AskUntilAccepted(
      "Watch FIRST or FIRST..LAST (expressions), then \", w\" for stores, \", r\" "
      "for loads or \", rw\" for both:",
      [this](const std::string& text) {
        tervik::debug::ProcessorContext context(session_.Cpu(), session_.Lookup());
        const tervik::debug::Result<tervik::debug::WatchRequest> request =
            tervik::debug::ParseWatch(text, context);
        if (!request.ok()) return std::optional<std::string>(request.error().Text());
        session_.AddWatchpoint(request.value().first, request.value().last, request.value().access);
        return std::optional<std::string>();
      });
}

void TFBreakpoints::RemoveSelected() {
  std::vector<int> rows;
  for (const QModelIndex& index : Table->selectionModel()->selectedRows()) {
    rows.push_back(index.row());
  }
  if (rows.empty() && Table->currentRow() >= 0) rows.push_back(Table->currentRow());
  // From the bottom up, so the rows above keep their numbers while the ones below go.
  std::sort(rows.rbegin(), rows.rend());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  bool removed = false;
  for (int row : rows) {
    const std::optional<Row> target = RowAt(row);
    if (!target) continue;
    if (target->watch) {
      session_.RemoveWatchpoint(target->number);
    } else {
      session_.ToggleBreakpoint(session_.Breakpoints()[target->number - 1]);
    }
    removed = true;
  }
  if (!removed) return;
  UpdateView();
  changed_();
}

void TFBreakpoints::ClearAll() {
  session_.ClearBreakpoints();
  session_.ClearWatchpoints();
  UpdateView();
  changed_();
}

void TFBreakpoints::CellChanged(int row, int column) {
  const std::optional<Row> target = RowAt(row);
  if (filling_ || !target) return;
  tervik::debug::BreakpointSettings& settings = target->watch
                                                    ? session_.WatchpointAt(target->number).settings
                                                    : session_.Settings(target->number);
  const QString name =
      (target->watch ? "watchpoint " : "breakpoint ") + QString::number(target->number);
  QTableWidgetItem* item = Table->item(row, column);
  Message->clear();
  switch (column) {
    case kNumber: settings.enabled = item->checkState() == Qt::Checked; break;
    case kCondition: {
      const tervik::debug::Result<bool> set =
          tervik::debug::SetCondition(settings, item->text().toStdString());
      if (!set.ok()) {
        Message->setText("Condition of " + name + ": " +
                         QString::fromStdString(set.error().Text()));
      }
      break;
    }
    case kStopAtHit: {
      // An expression like every other field: "5", "0x10", "count * 2".
      tervik::debug::ProcessorContext context(session_.Cpu(), session_.Lookup());
      const tervik::debug::Result<int64_t> n =
          tervik::debug::Evaluate(item->text().toStdString(), context);
      if (!n.ok()) {
        Message->setText("Stop at hit: " + QString::fromStdString(n.error().Text()));
      } else if (n.value() >= 1) {
        tervik::debug::SetStopAtHit(settings, static_cast<uint64_t>(n.value()));
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
  const std::optional<Row> target = RowAt(row);
  if (!target) return;
  if (target->watch) {
    showData_(session_.Watchpoints()[target->number - 1].first);
  } else {
    showAddress_(session_.Breakpoints()[target->number - 1]);
  }
}
