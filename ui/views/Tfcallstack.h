// The Call stack window: at each stop, pc and the return addresses read from the stack
// (debug/CallStack.h), innermost first, each with its place by the symbols ("fact+3"); a
// double-click shows a frame's code in the disassembly. Nothing is read during a run.
#pragma once

#include <QAbstractTableModel>
#include <QLabel>
#include <QTableView>
#include <cstdint>
#include <functional>
#include <vector>

#include "CallStack.h"
#include "DebugController.h"
#include "ToolDock.h"

// The frames of the last stop as a table: where (by the symbols), the address, and the stack
// slot the return address lies in.
class CallStackModel final : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kPlace, kAddress, kSlot, kColumnCount };

  explicit CallStackModel(QObject* parent) : QAbstractTableModel(parent) {}

  // Reads the frames of `session` now.
  void Read(tervik::debug::Session& session);
  const std::vector<tervik::debug::Frame>& Frames() const { return frames_; }
  // The frames in one line: "fact+3 ← fact+3 ← start+3".
  const QString& Chain() const { return chain_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  std::vector<tervik::debug::Frame> frames_;
  std::vector<QString> places_;
  QString chain_;
};

class TFCallStack final : public TToolDock {
  Q_OBJECT

 public:
  // `showCode` shows an address in the disassembly.
  TFCallStack(QWidget* parent, DebugController& controller, std::function<void(uint32_t)> showCode);

  CallStackModel* Model() const { return model_; }
  // Reads the stack again, unless a run goes on.
  void UpdateView();

  QLabel* ChainText;  // the frames in one line
  QTableView* Table;

 protected:
  // A window shown after the last stop reads the stack then.
  void showEvent(QShowEvent* event) override;

 private:
  DebugController& controller_;
  CallStackModel* model_;
  std::function<void(uint32_t)> showCode_;
};
