// The Source window's find bar and go-to-line question.
#include "SourceFind.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <algorithm>

#include "SourceEditor.h"

TSourceFindBar::TSourceFindBar(QWidget* parent, std::function<TSourceEditor*()> editor)
    : QWidget(parent), editor_(std::move(editor)) {
  setObjectName("SourceFindBar");
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(4, 2, 4, 2);
  FindText = new QLineEdit(this);
  FindText->setObjectName("FindText");
  FindText->setPlaceholderText("Find");
  FindText->setAccessibleName("Find text");
  ReplaceText = new QLineEdit(this);
  ReplaceText->setObjectName("ReplaceText");
  ReplaceText->setPlaceholderText("Replace with");
  ReplaceText->setAccessibleName("Replace with");
  auto* next = new QPushButton("Next", this);
  auto* close = new QPushButton("Close", this);
  replaceRow_ = new QWidget(this);
  auto* row = new QHBoxLayout(replaceRow_);
  row->setContentsMargins(0, 0, 0, 0);
  auto* one = new QPushButton("Replace", replaceRow_);
  auto* all = new QPushButton("Replace all", replaceRow_);
  // Screen readers and GUI tests find the buttons by these names.
  for (QPushButton* b : {next, close, one, all}) b->setAccessibleName(b->text());
  row->addWidget(one);
  row->addWidget(all);
  grid->addWidget(FindText, 0, 0);
  grid->addWidget(next, 0, 1);
  grid->addWidget(close, 0, 2);
  grid->addWidget(ReplaceText, 1, 0);
  grid->addWidget(replaceRow_, 1, 1, 1, 2);
  connect(FindText, &QLineEdit::returnPressed, this, &TSourceFindBar::FindNext);
  connect(next, &QPushButton::clicked, this, &TSourceFindBar::FindNext);
  connect(one, &QPushButton::clicked, this, &TSourceFindBar::ReplaceOne);
  connect(all, &QPushButton::clicked, this, &TSourceFindBar::ReplaceAll);
  connect(close, &QPushButton::clicked, this, &QWidget::hide);
  hide();
}

void TSourceFindBar::Open(bool replace) {
  TSourceEditor* e = editor_();
  if (e == nullptr) return;
  if (e->hasSelectedText() && !e->selectedText().contains('\n'))
    FindText->setText(e->selectedText());
  ReplaceText->setVisible(replace);
  replaceRow_->setVisible(replace);
  show();
  FindText->setFocus();
  FindText->selectAll();
}

bool TSourceFindBar::FindNext() {
  TSourceEditor* e = editor_();
  if (e == nullptr || FindText->text().isEmpty()) return false;
  // Plain text, case-insensitive, not whole words, wrapping, forwards.
  return e->findFirst(FindText->text(), false, false, false, true, true);
}

bool TSourceFindBar::ReplaceOne() {
  TSourceEditor* e = editor_();
  if (e == nullptr || FindText->text().isEmpty()) return false;
  if (e->hasSelectedText() &&
      e->selectedText().compare(FindText->text(), Qt::CaseInsensitive) == 0) {
    e->replace(ReplaceText->text());
  }
  return FindNext();
}

int TSourceFindBar::ReplaceAll() {
  TSourceEditor* e = editor_();
  if (e == nullptr || FindText->text().isEmpty()) return 0;
  int count = 0;
  e->beginUndoAction();
  // From the top, without wrapping, so that a replacement that contains the text ends the loop.
  if (e->findFirst(FindText->text(), false, false, false, false, true, 0, 0)) {
    do {
      e->replace(ReplaceText->text());
      ++count;
    } while (e->findNext());
  }
  e->endUndoAction();
  return count;
}

void TSourceFindBar::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Escape) {
    hide();
    if (TSourceEditor* ed = editor_()) ed->setFocus();
    return;
  }
  QWidget::keyPressEvent(e);
}

int AskLine(QWidget* parent, int current, int max, bool& ok) {
  return QInputDialog::getInt(parent, "Go to line", QString("Line (1 to %1):").arg(max), current, 1,
                              std::max(1, max), 1, &ok);
}
