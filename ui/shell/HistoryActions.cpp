// The reverse commands of the window, the history's switch, budget and timeline.
#include "HistoryActions.h"

#include <QAction>
#include <QApplication>
#include <QInputDialog>
#include <QMenu>
#include <QSettings>
#include <QStatusBar>
#include <QToolBar>

#include "DebugController.h"
#include "PaintBox.h"
#include "Recorder.h"
#include "Tfcpu.h"
#include "Tfmem.h"
#include "Tfreg.h"

using tervik::debug::Reverse;
using tervik::debug::ReverseStop;

THistoryActions::THistoryActions(QWidget& window, DebugController& controller, QAction& enabledLike)
    : QObject(&window),
      window_(window),
      controller_(controller),
      session_(controller.Session()),
      enabledLike_(enabledLike) {
  setObjectName("HistoryActions");
  ActionStepBack = Make("Step bac&k", "ActionStepBack", QKeySequence(Qt::SHIFT | Qt::Key_F7),
                        [](Reverse& r) { return r.StepBack(); });
  ActionStepOverBack =
      Make("Reverse step o&ver", "ActionStepOverBack", QKeySequence(Qt::CTRL | Qt::Key_F8),
           [](Reverse& r) { return r.StepOverBack(); });
  ActionStepOutBack = Make("R&everse step out", "ActionStepOutBack",
                           QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F8),
                           [](Reverse& r) { return r.StepOutBack(); });
  ActionContinueBack =
      Make("Reverse co&ntinue", "ActionContinueBack", QKeySequence(Qt::SHIFT | Qt::Key_F9),
           [](Reverse& r) { return r.ContinueBack(); });
  ActionRunBackToCursor =
      Make("Run back to cur&sor", "ActionRunBackToCursor", QKeySequence(Qt::SHIFT | Qt::Key_F4),
           [](Reverse& r) { return r.RunBackTo(FCPU->CursorAddress()); });
  ActionPresent = Make("Go to &present", "ActionPresent", QKeySequence(Qt::CTRL | Qt::Key_F9),
                       [](Reverse& r) { return r.Present(); });
  ActionRecord = new QAction("Record histor&y", this);
  ActionRecord->setObjectName("ActionRecord");
  ActionRecord->setCheckable(true);
  ActionRecord->setChecked(true);
  connect(ActionRecord, &QAction::toggled, this, [this](bool on) {
    session_.History().SetEnabled(on);
    UpdateTimeline();
  });
  ActionBudget = new QAction("History bud&get...", this);
  ActionBudget->setObjectName("ActionBudget");
  connect(ActionBudget, &QAction::triggered, this, [this] {
    bool ok = false;
    const int mb = QInputDialog::getInt(&window_, "History budget",
                                        "Megabytes of history:", budgetMB_, 1, 1 << 20, 16, &ok);
    if (ok) SetBudgetMB(mb);
  });
  Timeline = new QLabel(&window_);
  Timeline->setObjectName("HistoryText");
  session_.History().SetEnabled(true);
  SetBudgetMB(kDefaultBudgetMB);
}

QAction* THistoryActions::Make(const QString& caption, const QString& name, const QKeySequence& key,
                               const std::function<ReverseStop(Reverse&)>& run) {
  auto* action = new QAction(caption, this);
  action->setObjectName(name);
  action->setShortcut(key);
  action->setShortcutContext(Qt::ApplicationShortcut);
  connect(action, &QAction::triggered, this, [this, run] { Execute(run); });
  // Like the forward commands, none of them during a run.
  connect(&enabledLike_, &QAction::enabledChanged, action, &QAction::setEnabled);
  return action;
}

void THistoryActions::Install(QMenu* debugMenu, QToolBar* toolBar, QStatusBar* statusBar) {
  debugMenu->addSeparator();
  for (QAction* a : {ActionStepBack, ActionStepOverBack, ActionStepOutBack, ActionContinueBack,
                     ActionRunBackToCursor, ActionPresent}) {
    debugMenu->addAction(a);
  }
  debugMenu->addAction(ActionRecord);
  debugMenu->addAction(ActionBudget);
  toolBar->addSeparator();
  for (QAction* a : {ActionStepBack, ActionContinueBack, ActionPresent}) toolBar->addAction(a);
  statusBar->addPermanentWidget(Timeline);
  InstallContextMenus();
  UpdateTimeline();
}

void THistoryActions::InstallContextMenus() {
  FMem->PB1->ContextEntries.push_back([this](QMenu& menu, int x, int y) {
    const std::optional<uint32_t> word = FMem->WordAt(x, y);
    if (!word) return;
    QAction* last = menu.addAction(QString::asprintf("Last write of %08X", *word));
    last->setEnabled(ActionStepBack->isEnabled());
    connect(last, &QAction::triggered, this, [this, a = *word] { LastWriteOfWord(a); });
  });
  FReg->PB1->ContextEntries.push_back([this](QMenu& menu, int x, int y) {
    const auto id = FReg->RegisterAtPoint(x, y);
    if (!id || static_cast<unsigned>(*id) >= 32) return;
    const unsigned n = static_cast<unsigned>(*id);
    QAction* last = menu.addAction(QString::asprintf("Last write of R%u", n));
    last->setEnabled(ActionStepBack->isEnabled());
    connect(last, &QAction::triggered, this, [this, n] { LastWriteOfRegister(n); });
  });
}

void THistoryActions::LastWriteOfWord(uint32_t address) {
  Execute([address](Reverse& r) { return r.LastWrite(address); });
}

void THistoryActions::LastWriteOfRegister(unsigned n) {
  Execute([n](Reverse& r) { return r.LastRegisterWrite(n); });
}

void THistoryActions::Execute(const std::function<ReverseStop(Reverse&)>& run) {
  if (controller_.Running()) return;
  Reverse reverse(session_);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const ReverseStop stop = run(reverse);
  QApplication::restoreOverrideCursor();
  const std::string line = reverse.Describe(stop);
  if (!line.empty()) controller_.Debugger().Message(line);
  controller_.CountTravel(stop.from, stop.to);
  controller_.Debugger().NotifyMachine();
}

void THistoryActions::UpdateTimeline() {
  const tervik::history::Recorder& history = session_.History();
  if (!history.Enabled()) {
    Timeline->clear();
    return;
  }
  const QString span =
      QString("history: %1 .. %2")
          .arg(QString::fromStdString(tervik::debug::GroupThousands(history.First())),
               QString::fromStdString(tervik::debug::GroupThousands(history.Present())));
  if (history.InPast()) {
    Timeline->setText(QString("at %1, ").arg(
                          QString::fromStdString(tervik::debug::GroupThousands(history.Now()))) +
                      span);
  } else {
    Timeline->setText(span);
  }
}

bool THistoryActions::RefuseEdit() {
  return !controller_.Debugger().MayEdit();
}

void THistoryActions::SetBudgetMB(int megabytes) {
  budgetMB_ = std::max(1, megabytes);
  session_.History().SetBudget(static_cast<uint64_t>(budgetMB_) << 20);
}

void THistoryActions::Restore(const QString& file) {
  if (file.isEmpty()) return;
  const QSettings settings(file, QSettings::IniFormat);
  if (settings.status() != QSettings::NoError) return;
  bool ok = false;
  const int mb = settings.value("history/budgetMB").toInt(&ok);
  if (ok && mb > 0) SetBudgetMB(mb);
  const QVariant on = settings.value("history/record");
  if (on.isValid()) ActionRecord->setChecked(on.toBool());
}

void THistoryActions::Save(const QString& file) const {
  if (file.isEmpty()) return;
  QSettings settings(file, QSettings::IniFormat);
  settings.setValue("history/budgetMB", budgetMB_);
  settings.setValue("history/record", ActionRecord->isChecked());
}
