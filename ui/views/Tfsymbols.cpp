// The Symbols window and its table model.
#include "Tfsymbols.h"

#include <QHeaderView>
#include <QVBoxLayout>

SymbolsModel::SymbolsModel(const tervik::debug::Session& session, QObject* parent)
    : QAbstractTableModel(parent), session_(session) {
  Select();
}

void SymbolsModel::Refresh() {
  beginResetModel();
  Select();
  endResetModel();
}

void SymbolsModel::SetFilter(const QString& text) {
  filter_ = text.trimmed();
  Refresh();
}

void SymbolsModel::Select() {
  shown_.clear();
  const std::vector<tervik::SymbolEntry>& entries = session_.Symbols().Entries();
  for (size_t i = 0; i < entries.size(); ++i) {
    const tervik::SymbolEntry& e = entries[i];
    if (!filter_.isEmpty() &&
        !QString::fromStdString(e.name).contains(filter_, Qt::CaseInsensitive) &&
        !QString::asprintf("%08X", e.value).contains(filter_, Qt::CaseInsensitive)) {
      continue;
    }
    shown_.push_back(i);
  }
}

const tervik::SymbolEntry& SymbolsModel::EntryAt(int row) const {
  return session_.Symbols().Entries().at(shown_.at(static_cast<size_t>(row)));
}

int SymbolsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

int SymbolsModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant SymbolsModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) return {};
  const tervik::SymbolEntry& e = EntryAt(index.row());
  switch (index.column()) {
    case kName: return QString::fromStdString(e.name);
    case kValue:
      return e.label ? QString::asprintf("%08X", e.value)
                     : QString::asprintf("%08X (%d)", e.value, static_cast<int32_t>(e.value));
    case kKind: return e.label ? QString("label") : QString("constant");
    default: return {};
  }
}

QVariant SymbolsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case kName: return QString("Name");
    case kValue: return QString("Value");
    case kKind: return QString("Kind");
    default: return {};
  }
}

TFSymbols::TFSymbols(QWidget* parent, DebugController& controller,
                     std::function<void(uint32_t)> showCode, std::function<void(uint32_t)> showData)
    : TToolDock("Symbols", parent, false),
      model_(new SymbolsModel(controller.Session(), this)),
      showCode_(std::move(showCode)),
      showData_(std::move(showData)) {
  setObjectName("FSymbols");
  auto* body = new QWidget(this);
  auto* layout = new QVBoxLayout(body);
  layout->setContentsMargins(2, 2, 2, 2);
  Filter = new QLineEdit(body);
  Filter->setAccessibleName("Filter symbols");
  Filter->setObjectName("SymbolFilter");
  Filter->setPlaceholderText("Filter: part of a name or a hex value");
  Filter->setClearButtonEnabled(true);
  layout->addWidget(Filter);
  Table = new QTableView(body);
  SetUpToolTable(*Table, "SymbolTable", "Symbols", QAbstractItemView::SingleSelection,
                 QAbstractItemView::NoEditTriggers);
  Table->setModel(model_);
  Table->horizontalHeader()->setSectionResizeMode(SymbolsModel::kName, QHeaderView::Stretch);
  layout->addWidget(Table);
  setWidget(body);
  resize(300, 320);
  SetFloatingSize({300, 320});

  connect(Filter, &QLineEdit::textChanged, model_, &SymbolsModel::SetFilter);
  connect(Table, &QTableView::doubleClicked, this,
          [this](const QModelIndex& index) { Activate(index.row()); });
  connect(&controller, &DebugController::symbolsChanged, model_, &SymbolsModel::Refresh);
  // The values and kinds shown whole; the names take the rest.
  connect(model_, &QAbstractItemModel::modelReset, Table, [this] {
    Table->resizeColumnToContents(SymbolsModel::kValue);
    Table->resizeColumnToContents(SymbolsModel::kKind);
  });
  Table->resizeColumnToContents(SymbolsModel::kValue);
}

void TFSymbols::Activate(int row) {
  if (row < 0 || row >= model_->rowCount()) return;
  const tervik::SymbolEntry& e = model_->EntryAt(row);
  (e.label ? showCode_ : showData_)(e.value);
}
