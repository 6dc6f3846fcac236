// The main window's tool windows: the create event with the default layout and the saved
// settings, showing the memory dump, the manual and the breakpoints, resetting the layout, and
// closing, which saves the settings.
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QScreen>

#include "DebugViews.h"
#include "DockLayout.h"
#include "HistoryActions.h"
#include "ModuleTrustMenu.h"
#include "PathNames.h"
#include "ProgramMenu.h"
#include "SourceWindow.h"
#include "Tfboard.h"
#include "Tfbreakpoints.h"
#include "Tfcpu.h"
#include "Tfdebug.h"
#include "Tfmain.h"
#include "Tfmanual.h"
#include "Tfmem.h"
#include "Tfreg.h"
#include "WindowSettings.h"

void TFMain::FormCreate(const QString& map, bool mapNamed) {
  tervik::ui::ApplyDefaultLayout(*this, *FCPU, *FReg, *FDebug, *FMem, true);
  if (settings_) settings_->Restore(Windows());
  if (source_->Count() == 0) source_->hide();  // until a source is opened
  if (settings_) history_->Restore(settings_->File());
  LoadMemoryMap(tervik::platform::LocalPath(map), mapNamed
                                                      ? tervik::debug::Debugger::MapOrigin::Named
                                                      : tervik::debug::Debugger::MapOrigin::Found);
}

ToolWindows TFMain::Windows() {
  return {this,
          FCPU,
          FReg,
          FDebug,
          FMem,
          breakpoints_,
          ToolBar3,
          DebugToolBar,
          ActionStopWhenHalted,
          ActionLiveViews,
          ActionTranslate,
          ActionShowDebugToolBar,
          program_->ActionReloadOnChange,
          recent_,
          &memoryPlaced_,
          views_->Docks()};
}

void TFMain::BuildDebugViews() {
  views_ = new TDebugViews(
      *this, controller_, [](uint32_t a) { FCPU->ShowAddress(a); },
      [this](uint32_t a) {
        ActionShowMemoryExecute();
        FMem->GoToAddress(a);
      });
  debugMenu_->addSeparator();
  views_->AddActions(*debugMenu_);
}

void TFMain::WatchExpression(const std::string& text) {
  views_->Watch(text);
}

void TFMain::ShowProgramName() {
  const std::string& path = controller_.Debugger().ProgramPath();
  if (path == titledPath_) return;
  titledPath_ = path;
  const QString name = QFileInfo(tervik::platform::DisplayPath(path)).fileName();
  setWindowTitle(name.isEmpty() ? QString("Tervik CPU Emulator") : "Tervik CPU Emulator - " + name);
}

void TFMain::UseSettings(const QString& file) {
  settings_ = std::make_unique<TWindowSettings>(file);
  trust_->UseFile(file);
}

void TFMain::ActionResetLayoutExecute() {
  breakpoints_->hide();
  views_->HideAll();
  tervik::ui::ApplyDefaultLayout(*this, *FCPU, *FReg, *FDebug, *FMem, true);
  memoryPlaced_ = false;
}

void TFMain::ActionShowMemoryExecute() {
  if (!memoryPlaced_ && FMem->isFloating()) {
    // The first showing: beside the main window rather than wherever the screen begins.
    tervik::ui::PlaceBeside(*this, *FMem);  // clear of the other floating windows
    memoryPlaced_ = true;
  }
  FMem->show();
  FMem->raise();
  FMem->activateWindow();
}

void TFMain::ActionManualExecute() {
  if (FManual == nullptr) FManual = new TFManual(this);
  FManual->show();
  FManual->raise();
  FManual->activateWindow();
}

void TFMain::ActionShowBreakpointsExecute() {
  if (dockWidgetArea(breakpoints_) == Qt::NoDockWidgetArea) {
    // The first showing: floating beside the main window, sized for its columns.
    addDockWidget(Qt::RightDockWidgetArea, breakpoints_);
    breakpoints_->setFloating(true);
    breakpoints_->resize(breakpoints_->FloatingSize());
    // Right of the main window where the screen has room, else over its right edge.
    tervik::ui::PlaceBeside(*this, *breakpoints_);
  }
  breakpoints_->UpdateView();
  breakpoints_->show();
  breakpoints_->raise();
}

void TFMain::ActionShowBoardExecute() {
  if (board_ == nullptr) {
    // The first showing: floating beside the main window.
    board_ = new TFBoard(this, *this);
    addDockWidget(Qt::RightDockWidgetArea, board_);
    board_->setFloating(true);
    board_->show();  // builds the panels, which give the size
    const QScreen* screen = this->screen();
    const QSize limit = screen != nullptr ? screen->availableSize() * 9 / 10 : QSize(800, 900);
    board_->resize(board_->PreferredSize(limit));
    tervik::ui::PlaceBeside(*this, *board_);
  }
  board_->show();
  board_->raise();
  board_->UpdateView();
}

void TFMain::closeEvent(QCloseEvent* event) {
  if (controller_.Running()) {
    // End the run first; the run command closes the window once its loop has returned.
    controller_.RequestStop();
    closeRequested_ = true;
    event->ignore();
    return;
  }
  if (!source_->MayDiscardAll()) {  // a modified source the user kept
    event->ignore();
    return;
  }
  if (FManual != nullptr) FManual->close();
  if (settings_) settings_->Save(Windows());
  if (settings_) history_->Save(settings_->File());
  QMainWindow::closeEvent(event);
  // A floating tool window is a top-level window of its own, so the application would not see
  // its last window close and would go on without a main window. Closing the main window ends
  // the program: the tool windows go with it and every event loop, a dialog's included, ends.
  for (QDockWidget* dock :
       std::initializer_list<QDockWidget*>{FCPU, FReg, FDebug, FMem, breakpoints_, source_}) {
    dock->hide();
  }
  views_->HideAll();
  if (board_ != nullptr) board_->hide();
  QCoreApplication::quit();
}
