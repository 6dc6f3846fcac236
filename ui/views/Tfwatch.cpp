// The Watch window and its table model.
#include "Tfwatch.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>
#include <algorithm>

#include "WatchList.h"

namespace {

const QColor kChanged(Qt::red);
const QColor kError(Qt::darkGray);

std::vector<std::string> Texts(const tervik::debug::WatchList& list) {
  std::vector<std::string> texts;
  texts.reserve(list.size());
  for (const tervik::debug::WatchItem& item : list.Items()) texts.push_back(item.text);
  return texts;
}

}  // namespace

WatchModel::WatchModel(DebugController& controller, QObject* parent)
    : QAbstractTableModel(parent), controller_(controller) {
  shown_ = Texts(controller_.Debugger().Watches());
}

void WatchModel::Refresh() {
  std::vector<std::string> texts = Texts(controller_.Debugger().Watches());
  if (texts != shown_) {
    // The list itself changed (another program's list was restored): show it anew.
    beginResetModel();
    shown_ = std::move(texts);
    endResetModel();
    return;
  }
  // Only values changed; an expression being edited keeps its editor.
  if (Rows() > 0) emit dataChanged(index(0, kValue), index(Rows() - 1, kValue));
}

void WatchModel::Evaluate() {
  // A live-view tick's update: values now, compared with the last stop's, which stay.
  controller_.Debugger().Watches().Update(controller_.Session(), false);
}

void WatchModel::Add(const QString& text) {
  if (text.trimmed().isEmpty()) return;
  beginInsertRows(QModelIndex(), Rows(), Rows());
  controller_.Debugger().Watches().Add(text.trimmed().toStdString());
  shown_.push_back(text.trimmed().toStdString());
  endInsertRows();
  controller_.Debugger().SaveProgramSession();
  Evaluate();
  Refresh();
}

void WatchModel::Remove(int row) {
  if (row < 0 || row >= Rows()) return;
  beginRemoveRows(QModelIndex(), row, row);
  controller_.Debugger().Watches().Remove(static_cast<size_t>(row));
  shown_.erase(shown_.begin() + row);
  endRemoveRows();
  controller_.Debugger().SaveProgramSession();
}

int WatchModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : Rows() + 1;
}

int WatchModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant WatchModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= Rows()) return {};
  const tervik::debug::WatchItem& item =
      controller_.Debugger().Watches().Items().at(static_cast<size_t>(index.row()));
  if (role == Qt::DisplayRole || role == Qt::EditRole) {
    if (index.column() == kExpression) return QString::fromStdString(item.text);
    if (item.value) return QString::fromStdString(tervik::debug::WatchValueText(*item.value));
    return QString::fromStdString(item.error);
  }
  if (role == Qt::ForegroundRole && index.column() == kValue) {
    if (!item.value) return kError;
    if (item.changed) return kChanged;
  }
  return {};
}

QVariant WatchModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  return section == kExpression ? QString("Expression") : QString("Value");
}

Qt::ItemFlags WatchModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (index.column() == kExpression) flags |= Qt::ItemIsEditable;
  return flags;
}

bool WatchModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !index.isValid() || index.column() != kExpression) return false;
  const QString text = value.toString().trimmed();
  if (index.row() == Rows()) {  // the empty last row: a new expression
    Add(text);
    return !text.isEmpty();
  }
  if (text.isEmpty()) {
    Remove(index.row());
    return true;
  }
  controller_.Debugger().Watches().Edit(static_cast<size_t>(index.row()), text.toStdString());
  shown_.at(static_cast<size_t>(index.row())) = text.toStdString();
  controller_.Debugger().SaveProgramSession();
  Evaluate();
  emit dataChanged(this->index(index.row(), 0), this->index(index.row(), kColumnCount - 1));
  return true;
}

TFWatch::TFWatch(QWidget* parent, DebugController& controller)
    : TToolDock("Watch", parent, false), model_(new WatchModel(controller, this)) {
  setObjectName("FWatch");
  auto* body = new QWidget(this);
  auto* layout = new QVBoxLayout(body);
  layout->setContentsMargins(2, 2, 2, 2);
  Table = new QTableView(body);
  SetUpToolTable(*Table, "WatchTable", "Watch expressions", QAbstractItemView::ExtendedSelection,
                 QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                     QAbstractItemView::AnyKeyPressed);
  Table->setModel(model_);
  Table->horizontalHeader()->setSectionResizeMode(WatchModel::kExpression,
                                                  QHeaderView::Interactive);
  Table->horizontalHeader()->setStretchLastSection(true);
  Table->setColumnWidth(WatchModel::kExpression, 140);
  layout->addWidget(Table);
  auto* buttons = new QHBoxLayout();
  AddButton = new QPushButton("&Add", body);
  AddButton->setToolTip("Type an expression in the empty last row");
  RemoveButton = new QPushButton("&Remove", body);
  buttons->addWidget(AddButton);
  buttons->addWidget(RemoveButton);
  buttons->addStretch(1);
  layout->addLayout(buttons);
  setWidget(body);
  resize(320, 200);
  SetFloatingSize({320, 200});

  connect(AddButton, &QPushButton::clicked, this, [this] {
    const QModelIndex last = model_->index(model_->rowCount() - 1, WatchModel::kExpression);
    Table->setCurrentIndex(last);
    Table->edit(last);
  });
  connect(RemoveButton, &QPushButton::clicked, this, &TFWatch::RemoveSelected);
  OnKey(*Table, Qt::Key_Delete, [this] { RemoveSelected(); });
  connect(&controller, &DebugController::machineChanged, model_, &WatchModel::Refresh);
}

void TFWatch::RemoveSelected() {
  std::vector<int> rows;
  for (const QModelIndex& index : Table->selectionModel()->selectedRows()) {
    rows.push_back(index.row());
  }
  std::sort(rows.rbegin(), rows.rend());  // from the bottom, so the rows above keep their place
  for (int row : rows) model_->Remove(row);
}
