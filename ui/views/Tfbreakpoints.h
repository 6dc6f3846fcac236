// The breakpoints window: every breakpoint and then every watchpoint of the debugging session
// with its address (a watchpoint's range and access), condition, the hit it stops on, its hit
// count and whether it is enabled; add, remove, clear, edit.
#pragma once

#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QTableWidget>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "Session.h"
#include "ToolDock.h"

class TFBreakpoints final : public TToolDock {
  Q_OBJECT

 public:
  // The columns of the table.
  enum Column { kNumber, kAddress, kCondition, kStopAtHit, kHits, kColumnCount };

  // `showAddress` shows an address in the disassembly, `showData` in the memory dump; `changed`
  // tells the owner that the breakpoints changed (the disassembly's margin shows them). Runs on
  // the GUI thread.
  TFBreakpoints(QWidget* parent, tervik::debug::Session& session,
                std::function<void(uint32_t)> showAddress, std::function<void(uint32_t)> showData,
                std::function<void()> changed);

  // Fills the table from the session again.
  void UpdateView();

  // Asks for the address of a new breakpoint (an expression) and sets it. A test replaces
  // AskText, which returns nothing when the user cancels.
  void AddBreakpoint();
  // Asks for a watchpoint ("FIRST..LAST, rw") and sets it.
  void AddWatchpoint();
  // Removes every selected row (the Delete key too).
  void RemoveSelected();
  void ClearAll();
  // What the Address column shows beside the hex address of a breakpoint: the text the user
  // typed when it named symbols and still gives this address ("mul"), else where the symbols
  // put it ("loop+2"); empty when neither says anything.
  QString AddressName(uint32_t address) const;
  std::function<std::optional<QString>(const QString& label, const QString& text)> AskText;

  QTableWidget* Table;
  QPushButton* AddButton;
  QPushButton* WatchButton;
  QPushButton* RemoveButton;
  QPushButton* ClearButton;
  QLabel* Message;  // the last error, e.g. a condition that does not parse

 private:
  void CellChanged(int row, int column);
  void CellDoubleClicked(int row, int column);
  std::optional<QString> AskWithDialog(const QString& label, const QString& text);
  // Asks with `label` until `accept` takes the answer (it returns an error text otherwise,
  // which the next question starts with) or the user cancels.
  void AskUntilAccepted(
      const QString& label,
      const std::function<std::optional<std::string>(const std::string&)>& accept);
  // What a table row shows: breakpoint rows come first, then watchpoint rows.
  struct Row {
    bool watch;
    size_t number;  // from 1
  };
  std::optional<Row> RowAt(int row) const;

  tervik::debug::Session& session_;
  std::function<void(uint32_t)> showAddress_;
  std::function<void(uint32_t)> showData_;
  std::function<void()> changed_;
  bool filling_ = false;                   // the table is being filled, not edited by the user
  std::map<uint32_t, std::string> typed_;  // the text a breakpoint was added with
};
