// Find and replace in the Source window: a bar under the tabs, and the go-to-line question.
#pragma once

#include <QLineEdit>
#include <QPushButton>
#include <QWidget>
#include <functional>

class TSourceEditor;

class TSourceFindBar final : public QWidget {
  Q_OBJECT

 public:
  // `editor` gives the tab the bar works on (null: none).
  TSourceFindBar(QWidget* parent, std::function<TSourceEditor*()> editor);

  // Shows the bar (with the replace field when `replace`), the selection as the text to find.
  void Open(bool replace);
  // The next match after the cursor, wrapping at the end; false when there is none.
  bool FindNext();
  // Replaces the selected match and finds the next; the number replaced by ReplaceAll.
  bool ReplaceOne();
  int ReplaceAll();

  QLineEdit* FindText;
  QLineEdit* ReplaceText;

 protected:
  void keyPressEvent(QKeyEvent* e) override;

 private:
  std::function<TSourceEditor*()> editor_;
  QWidget* replaceRow_;
};

// Asks for a line number between 1 and `max`; `ok` false when cancelled.
int AskLine(QWidget* parent, int current, int max, bool& ok);
