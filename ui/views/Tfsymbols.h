// The Symbols window: every label and EQU constant of the loaded program with its value, a
// filter box, and a double-click that shows a label in the disassembly and a constant's value as
// an address in the memory dump.
#pragma once

#include <QAbstractTableModel>
#include <QLineEdit>
#include <QTableView>
#include <cstdint>
#include <functional>
#include <vector>

#include "DebugController.h"
#include "SymbolFile.h"
#include "ToolDock.h"

// The program's symbols as a table, in the order the source defines them, those the filter
// lets through.
class SymbolsModel final : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kName, kValue, kKind, kColumnCount };

  SymbolsModel(const tervik::debug::Session& session, QObject* parent);

  // Takes the session's symbols again.
  void Refresh();
  // Shows only the symbols whose name contains `text` (any case), or whose value in hex does
  // ("18" finds 00001800); an empty text shows all.
  void SetFilter(const QString& text);
  // The symbol shown in row `row`.
  const tervik::SymbolEntry& EntryAt(int row) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  void Select();

  const tervik::debug::Session& session_;
  QString filter_;
  std::vector<size_t> shown_;  // indexes into the symbol table's entries
};

class TFSymbols final : public TToolDock {
  Q_OBJECT

 public:
  // `showCode` shows an address in the disassembly, `showData` in the memory dump.
  TFSymbols(QWidget* parent, DebugController& controller, std::function<void(uint32_t)> showCode,
            std::function<void(uint32_t)> showData);

  SymbolsModel* Model() const { return model_; }
  // What a double-click on row `row` does.
  void Activate(int row);

  QLineEdit* Filter;
  QTableView* Table;

 private:
  SymbolsModel* model_;
  std::function<void(uint32_t)> showCode_;
  std::function<void(uint32_t)> showData_;
};
