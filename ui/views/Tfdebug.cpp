// The console window and its line store.
#include "Tfdebug.h"

#include <QFont>
#include <QTimer>

TFDebug* FDebug = nullptr;

ConsoleModel::ConsoleModel(QObject* parent) : QAbstractListModel(parent) {}

void ConsoleModel::Append(std::string_view line) {
  const int row = static_cast<int>(ends_.size());
  beginInsertRows(QModelIndex(), row, row);
  text_.append(line);
  ends_.push_back(text_.size());
  endInsertRows();
}

std::string_view ConsoleModel::Line(size_t row) const {
  const size_t begin = row == 0 ? 0 : ends_[row - 1];
  return std::string_view(text_).substr(begin, ends_[row] - begin);
}

int ConsoleModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(ends_.size());
}

QVariant ConsoleModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) return {};
  const std::string_view line = Line(static_cast<size_t>(index.row()));
  // Console text is 8-bit; bytes that are not UTF-8 show as Latin-1 rather than vanishing.
  QString s = QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
  if (s.contains(QChar::ReplacementCharacter)) {
    s = QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size()));
  }
  // A message is one row even when it holds line breaks: show them as symbols.
  s.replace(QChar('\n'), QChar(0x2424)).replace(QChar('\r'), QChar(0x240D));
  return s;
}

TFDebug::TFDebug(QWidget* parent) : TToolDock("Console", parent, true) {
  setObjectName("FDebug");
  model_ = new ConsoleModel(this);
  ListBox1 = new QListView(this);
  ListBox1->setObjectName("ListBox1");
  ListBox1->setModel(model_);
  ListBox1->setUniformItemSizes(true);
  ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
  ListBox1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ListBox1->setWordWrap(false);
  ListBox1->setTextElideMode(Qt::ElideNone);
  ListBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  QFont font("Courier New");
  font.setStyleHint(QFont::TypeWriter);
  font.setPixelSize(11);
  ListBox1->setFont(font);
  setWidget(ListBox1);
  resize(508, 176);
  // Docking lays the list out anew at another height, which leaves it scrolled wherever the
  // layout put it; once that is done, the newest line comes back into view.
  connect(this, &QDockWidget::topLevelChanged, this, [this](bool floating) {
    if (!floating) QTimer::singleShot(0, this, [this] { ShowNewest(); });
  });
}

void TFDebug::ShowNewest() {
  if (model_->rowCount() > 0) ListBox1->scrollTo(model_->index(model_->rowCount() - 1));
}

void TFDebug::AppendLine(std::string_view line) {
  model_->Append(line);
  // Selecting and scrolling lay the list out, which costs time in proportion to its length:
  // done per line, a million lines would take hours. So the newest line is selected once
  // control returns to the event loop, before anything is painted.
  if (!selectPending_) {
    selectPending_ = true;
    QMetaObject::invokeMethod(this, &TFDebug::SelectNewest, Qt::QueuedConnection);
  }
}

void TFDebug::SelectNewest() {
  selectPending_ = false;
  if (model_->rowCount() == 0) return;
  const QModelIndex last = model_->index(model_->rowCount() - 1);
  ListBox1->setCurrentIndex(last);
  ListBox1->scrollTo(last);
}
