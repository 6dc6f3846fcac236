// The Watch window: the debugger's watch expressions (M[count], R1+R2, SP-4, labels) with their
// values in hex and decimal, red where a value changed since the last stop. The list lives in the
// Debugger (Debugger::Watches), which the controller updates at every stop and live-view tick;
// this window shows it and edits it. A last, empty row takes a new expression; clearing an
// expression's text removes it.
#pragma once

#include <QAbstractTableModel>
#include <QPushButton>
#include <QTableView>
#include <string>
#include <vector>

#include "DebugController.h"
#include "ToolDock.h"

// The watch list as a table: the expression (editable) and its value or error.
class WatchModel final : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kExpression, kValue, kColumnCount };

  WatchModel(DebugController& controller, QObject* parent);

  // Shows the list as it is now: the values of the last update, rows added or removed.
  void Refresh();
  // Adds an expression and evaluates it now; an empty text adds nothing.
  void Add(const QString& text);
  // Removes row `row`, if it holds an expression.
  void Remove(int row);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

 private:
  // Evaluates the list against the machine now, without touching the last stop's values.
  void Evaluate();

  DebugController& controller_;
  // The list's expressions as the table shows them; the table has one row more for a new one.
  std::vector<std::string> shown_;
  int Rows() const { return static_cast<int>(shown_.size()); }
};

class TFWatch final : public TToolDock {
  Q_OBJECT

 public:
  TFWatch(QWidget* parent, DebugController& controller);

  WatchModel* Model() const { return model_; }
  // Removes the selected rows.
  void RemoveSelected();

  QTableView* Table;
  QPushButton* AddButton;
  QPushButton* RemoveButton;

 private:
  WatchModel* model_;
};
