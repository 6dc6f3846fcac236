// The message console: one line per message, in arrival order, the newest selected. Its context
// menu copies the selected lines or all of them, clears the console and saves it to a file;
// Ctrl+F finds a text.
#pragma once

#include <QAbstractListModel>
#include <QAction>
#include <QLineEdit>
#include <QListView>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "Console.h"
#include "ToolDock.h"

// The console's lines, held as one text buffer and an offset per line, so that millions of
// lines cost little more than their text.
class ConsoleModel final : public QAbstractListModel {
  Q_OBJECT

 public:
  explicit ConsoleModel(QObject* parent = nullptr);

  void Append(std::string_view line);
  std::string_view Line(size_t row) const;
  size_t LineCount() const { return ends_.size(); }
  // Drops every line.
  void Clear();

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

 private:
  std::string text_;          // every line, back to back
  std::vector<size_t> ends_;  // end offset of each line in text_
};

// The console window (FDebug). It is also the sink of the console functions: every line
// written through ConsoleMessage, ConsolePrintf or ConsolePuts lands here.
class TFDebug final : public TToolDock, public tervik::ConsoleSink {
  Q_OBJECT

 public:
  explicit TFDebug(QWidget* parent);

  // Appends one line, selects it and scrolls it into view (the selection follows when control
  // returns to the event loop). Runs on the GUI thread.
  void AppendLine(std::string_view line) override;
  // Selects the last line and scrolls it into view.
  void SelectNewest();
  // Scrolls the last line into view, leaving the selection alone.
  void ShowNewest();

  QListView* ListBox1;
  ConsoleModel* Model() const { return model_; }

  // The selected lines, in their order, one per line (as shown); empty without a selection.
  QString SelectedText() const;
  // Every line, each ended by a line feed, as it was written.
  std::string AllText() const;
  // Selects the next line after the current one (wrapping round) that contains `text` in any
  // case; false when no line does.
  bool FindNext(const QString& text);
  // Writes every line to `path`; false, with a console line saying why, when it cannot.
  bool SaveTo(const QString& path);

  QAction* ActionCopy;
  QAction* ActionCopyAll;
  QAction* ActionClear;
  QAction* ActionSaveAs;
  QAction* ActionFind;
  QLineEdit* FindBox;  // shown by Ctrl+F; Enter finds the next line, Escape hides it
  // Asks for the file Save as writes; empty when the user cancels. A test replaces it.
  std::function<QString()> AskSavePath;

 private:
  ConsoleModel* model_;
  bool selectPending_ = false;
};

extern TFDebug* FDebug;
