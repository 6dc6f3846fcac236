// The window's time travel: the reverse commands in the Debug menu and on the debug tool bar,
// "Last write here" in the memory dump's and the register window's context menus, the switch
// and the budget of the history, and the timeline in the status bar. The commands themselves
// are the session's (Reverse.h); this only offers them and shows where they stopped.
#pragma once

#include <QLabel>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>

#include "Reverse.h"

class QAction;
class QMenu;
class QToolBar;
class QStatusBar;
class QWidget;
class DebugController;

class THistoryActions final : public QObject {
  Q_OBJECT

 public:
  static constexpr int kDefaultBudgetMB = 256;

  // Makes the actions for `window` (their parent and the dialogs'); history is on, with the
  // default budget. The reverse commands are enabled whenever `enabledLike` is (Step over): not
  // during a run.
  THistoryActions(QWidget& window, DebugController& controller, QAction& enabledLike);

  // Adds the commands to the Debug menu (a section of their own) and the debug tool bar, the
  // timeline to the status bar, and "Last write here" to the memory dump and the registers.
  void Install(QMenu* debugMenu, QToolBar* toolBar, QStatusBar* statusBar);
  // Shows the instruction count and the span of history in the status bar.
  void UpdateTimeline();
  // When the views show the past: says in the console how to get back and returns true.
  bool RefuseEdit();
  // The switch and the budget from the settings file, and back.
  void Restore(const QString& file);
  void Save(const QString& file) const;
  void SetBudgetMB(int megabytes);
  int BudgetMB() const { return budgetMB_; }

  QAction* ActionStepBack;
  QAction* ActionStepOverBack;
  QAction* ActionStepOutBack;
  QAction* ActionContinueBack;
  QAction* ActionRunBackToCursor;
  QAction* ActionPresent;
  QAction* ActionRecord;  // checked: the run is recorded
  QAction* ActionBudget;
  QLabel* Timeline;

  // The memory word's and the register's last write (r0..r31), as the context menus do.
  void LastWriteOfWord(uint32_t address);
  void LastWriteOfRegister(unsigned n);

 private:
  QAction* Make(const QString& caption, const QString& name, const QKeySequence& key,
                const std::function<tervik::debug::ReverseStop(tervik::debug::Reverse&)>& run);
  void Execute(const std::function<tervik::debug::ReverseStop(tervik::debug::Reverse&)>& run);
  void InstallContextMenus();

  QWidget& window_;
  DebugController& controller_;
  tervik::debug::Session& session_;
  QAction& enabledLike_;
  int budgetMB_ = kDefaultBudgetMB;
};
