// The console window and its line store.
#include "Tfdebug.h"

#include <QFileDialog>
#include <QFont>
#include <QMenu>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "Clipboard.h"
#include "Files.h"

TFDebug* FDebug = nullptr;

ConsoleModel::ConsoleModel(QObject* parent) : QAbstractListModel(parent) {}

void ConsoleModel::Append(std::string_view line) {
  const int row = static_cast<int>(ends_.size());
  beginInsertRows(QModelIndex(), row, row);
  text_.append(line);
  ends_.push_back(text_.size());
  endInsertRows();
}

void ConsoleModel::Clear() {
  beginResetModel();
  text_.clear();
  ends_.clear();
  endResetModel();
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
  ListBox1->setSelectionMode(QAbstractItemView::ExtendedSelection);
  ListBox1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ListBox1->setWordWrap(false);
  ListBox1->setTextElideMode(Qt::ElideNone);
  ListBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  QFont font("Courier New");
  font.setStyleHint(QFont::TypeWriter);
  font.setPixelSize(11);
  ListBox1->setFont(font);
  FindBox = new QLineEdit(this);
  FindBox->setObjectName("ConsoleFind");
  FindBox->setAccessibleName("Find in the console");
  FindBox->setPlaceholderText("Find (Enter: next line, Escape: close)");
  FindBox->hide();
  auto* body = new QWidget(this);
  auto* layout = new QVBoxLayout(body);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(ListBox1);
  layout->addWidget(FindBox);
  setWidget(body);
  resize(508, 176);

  AskSavePath = [this] {
    return QFileDialog::getSaveFileName(this, "Save console", QString(),
                                        "Text (*.txt);;All files (*)");
  };
  ActionCopy = new QAction("&Copy", this);
  ActionCopy->setShortcut(QKeySequence::Copy);
  ActionCopyAll = new QAction("Copy &all", this);
  ActionClear = new QAction("C&lear", this);
  ActionSaveAs = new QAction("&Save as...", this);
  ActionFind = new QAction("&Find...", this);
  ActionFind->setShortcut(QKeySequence::Find);
  for (QAction* a : {ActionCopy, ActionFind}) {
    a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(a);
  }
  connect(ActionCopy, &QAction::triggered, this, [this] {
    const QString text = SelectedText();
    if (!text.isEmpty()) tervik::platform::SystemClipboard().SetText(text.toStdString());
  });
  connect(ActionCopyAll, &QAction::triggered, this,
          [this] { tervik::platform::SystemClipboard().SetText(AllText()); });
  connect(ActionClear, &QAction::triggered, model_, &ConsoleModel::Clear);
  connect(ActionSaveAs, &QAction::triggered, this, [this] {
    const QString path = AskSavePath();
    if (!path.isEmpty()) SaveTo(path);
  });
  connect(ActionFind, &QAction::triggered, this, [this] {
    FindBox->show();
    FindBox->setFocus();
    FindBox->selectAll();
  });
  connect(FindBox, &QLineEdit::returnPressed, this, [this] {
    if (!FindNext(FindBox->text())) FindBox->setStyleSheet("color: red");
  });
  connect(FindBox, &QLineEdit::textEdited, this, [this] { FindBox->setStyleSheet({}); });
  OnKey(*FindBox, Qt::Key_Escape, [this] {
    FindBox->hide();
    ListBox1->setFocus();
  });
  ListBox1->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(ListBox1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    QMenu menu(this);
    ActionCopy->setEnabled(ListBox1->selectionModel()->hasSelection());
    menu.addActions({ActionCopy, ActionCopyAll});
    menu.addSeparator();
    menu.addActions({ActionClear, ActionSaveAs, ActionFind});
    menu.exec(ListBox1->viewport()->mapToGlobal(at));
    ActionCopy->setEnabled(true);
  });
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

QString TFDebug::SelectedText() const {
  QModelIndexList rows = ListBox1->selectionModel()->selectedIndexes();
  std::sort(rows.begin(), rows.end(),
            [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  QStringList lines;
  for (const QModelIndex& index : rows) lines << index.data().toString();
  return lines.join('\n');
}

std::string TFDebug::AllText() const {
  std::string text;
  for (size_t row = 0; row < model_->LineCount(); ++row) {
    text.append(model_->Line(row));
    text.push_back('\n');
  }
  return text;
}

bool TFDebug::FindNext(const QString& text) {
  const int count = model_->rowCount();
  if (text.isEmpty() || count == 0) return false;
  const int from = ListBox1->currentIndex().isValid() ? ListBox1->currentIndex().row() : -1;
  for (int step = 1; step <= count; ++step) {
    const QModelIndex index = model_->index((from + step) % count);
    if (index.data().toString().contains(text, Qt::CaseInsensitive)) {
      ListBox1->setCurrentIndex(index);
      ListBox1->scrollTo(index);
      return true;
    }
  }
  return false;
}

bool TFDebug::SaveTo(const QString& path) {
  if (tervik::platform::WriteWhole(path.toStdString(), AllText())) return true;
  AppendLine("Cannot write " + path.toStdString() + ": " + std::strerror(errno));
  return false;
}
