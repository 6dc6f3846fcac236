// The main window: start-up and shut-down, the action list with its menus and tool bar, the
// loading commands and run control, each handed to the debug controller, and the views' refresh
// on its signals.
#include "Tfmain.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenuBar>
#include <QMessageBox>
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <exception>
#include <filesystem>

#include "Clipboard.h"
#include "Console.h"
#include "DebugViews.h"
#include "DockLayout.h"
#include "ElidedLabel.h"
#include "ExportRom.h"
#include "HistoryActions.h"
#include "Icons.h"
#include "Listing.h"
#include "MemoryMap.h"
#include "ModuleTrustMenu.h"
#include "PathNames.h"
#include "ProgramFiles.h"
#include "ProgramMenu.h"
#include "RecentFiles.h"
#include "RomExport.h"
#include "SourceWindow.h"
#include "Tfabout.h"
#include "Tfboard.h"
#include "Tfbreakpoints.h"
#include "Tfcpu.h"
#include "Tfdebug.h"
#include "Tfmanual.h"
#include "Tfmem.h"
#include "Tfreg.h"
#include "WindowSettings.h"

TFMain* FMain = nullptr;

TFMain::TFMain(tervik::platform::Clock& clock, QWidget* parent)
    : QMainWindow(parent), controller_(clock) {
  FMain = this;
  setObjectName("FMain");
  setWindowTitle("Tervik CPU Emulator");
  resize(861, 613);

  // The window with its action list, menus, tool bar and status bar.
  ActionQuit = MakeAction("Exit", "ActionQuit", {}, &TFMain::ActionQuitExecute);
  ActionReset = MakeAction("Reset", "ActionReset", QKeySequence(Qt::CTRL | Qt::Key_F2),
                           &TFMain::ActionResetExecute);
  ActionStep =
      MakeAction("Trace into", "ActionStep", QKeySequence(Qt::Key_F7), &TFMain::ActionStepExecute);
  ActionGo = MakeAction("&Jump to cursor", "ActionGo", {}, &TFMain::ActionGoExecute);
  ActionExportROMDATA = MakeAction("Export as ROMDATA", "ActionExportROMDATA", {},
                                   &TFMain::ActionExportROMDATAExecute);
  ActionShowMemory =
      MakeAction("Show memory", "ActionShowMemory", {}, &TFMain::ActionShowMemoryExecute);
  ActionManual = MakeAction("ActionManual", "ActionManual", {}, &TFMain::ActionManualExecute);
  ActionRun = MakeAction("Run", "ActionRun", QKeySequence(Qt::Key_F9), &TFMain::ActionRunExecute);
  ActionStop = MakeAction("Stop", "ActionStop", {}, &TFMain::ActionStopExecute);
  ActionLoadLST = MakeAction("Load LST file", "ActionLoadLST", QKeySequence(Qt::CTRL | Qt::Key_L),
                             &TFMain::ActionLoadLSTExecute);
  ActionDisplayMap =
      MakeAction("Display memory map", "ActionDisplayMap", {}, &TFMain::ActionDisplayMapExecute);
  ActionLoadMap = MakeAction("Load memory map", "ActionLoadMap", {}, &TFMain::ActionLoadMapExecute);
  ActionAbout = MakeAction("About", "ActionAbout", {}, &TFMain::ActionAboutExecute);
  ActionReloadLST = MakeAction("Reload previous LST file", "ActionReloadLST",
                               QKeySequence(Qt::CTRL | Qt::Key_R), &TFMain::ActionReloadLSTExecute);
  ActionClearMem = MakeAction("Clear memory", "ActionClearMem", {}, &TFMain::ActionClearMemExecute);

  ActionStepOver = MakeDebugAction("Step &over", "ActionStepOver", QKeySequence(Qt::Key_F8),
                                   &TFMain::ActionStepOverExecute);
  ActionStepOut =
      MakeDebugAction("Step o&ut", "ActionStepOut", QKeySequence(Qt::SHIFT | Qt::Key_F8),
                      &TFMain::ActionStepOutExecute);
  ActionStepLine = MakeDebugAction("Step &line", "ActionStepLine", QKeySequence(Qt::Key_F6),
                                   &TFMain::ActionStepLineExecute);
  ActionRunToCursor = MakeDebugAction("Run to &cursor", "ActionRunToCursor",
                                      QKeySequence(Qt::Key_F4), &TFMain::ActionRunToCursorExecute);
  ActionStopWhenHalted = new QAction("Stop when &halted", this);
  ActionStopWhenHalted->setObjectName("ActionStopWhenHalted");
  ActionStopWhenHalted->setCheckable(true);
  ActionStopWhenHalted->setChecked(true);
  ActionLiveViews = new QAction("&Live views during a run", this);
  ActionLiveViews->setObjectName("ActionLiveViews");
  ActionLiveViews->setCheckable(true);
  ActionLiveViews->setChecked(true);
  // Batches (runs, step over and out, run to) on the translator or the interpreter; the
  // results are the same. Off and disabled where the build has no translator.
  ActionTranslate = new QAction("&Translate to host code", this);
  ActionTranslate->setObjectName("ActionTranslate");
  ActionTranslate->setCheckable(true);
  ActionTranslate->setEnabled(tervik::jit::TranslatorAvailable());
  ActionTranslate->setChecked(controller_.Session().Engine() ==
                              tervik::jit::EngineKind::Translator);
  connect(ActionTranslate, &QAction::toggled, this, [this](bool on) {
    controller_.Session().SetEngine(on ? tervik::jit::EngineKind::Translator
                                       : tervik::jit::EngineKind::Interpreter);
  });
  ActionShowBreakpoints = MakeDebugAction("&Breakpoints", "ActionShowBreakpoints", {},
                                          &TFMain::ActionShowBreakpointsExecute);
  ActionResetLayout =
      MakeDebugAction("Reset &layout", "ActionResetLayout", {}, &TFMain::ActionResetLayoutExecute);
  // Enabled during runs too: the Board is used while the program runs.
  ActionShowBoard =
      MakeDebugAction("&Board", "ActionShowBoard", {}, &TFMain::ActionShowBoardExecute);

  ActionQuit->setIcon(ToolIcon(ToolIconKind::Exit));
  ActionReset->setIcon(ToolIcon(ToolIconKind::Reset));
  ActionGo->setIcon(ToolIcon(ToolIconKind::JumpToCursor));
  ActionStep->setIcon(ToolIcon(ToolIconKind::TraceInto));
  ActionRun->setIcon(ToolIcon(ToolIconKind::Run));
  ActionStop->setIcon(ToolIcon(ToolIconKind::Stop));
  ActionStepOver->setIcon(ToolIcon(ToolIconKind::StepOver));
  ActionStepOut->setIcon(ToolIcon(ToolIconKind::StepOut));
  ActionRunToCursor->setIcon(ToolIcon(ToolIconKind::RunToCursor));
  ActionShowBreakpoints->setIcon(ToolIcon(ToolIconKind::Breakpoints));

  program_ = new TProgramMenu(
      *this, controller_.Debugger(),
      [this](const QString& caption, const QString& filter, const QString& suffix) {
        return ChooseFile({caption, filter, suffix});
      });
  BuildSourceWindow();
  BuildToolBar();  // before the menus: the Debug menu shows the debug tool bar's switch
  BuildMenus();
  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName("StatusBar1");
  StatusBar1->setSizeGripEnabled(true);
  // Labels that elide a long text rather than widen the window.
  StatusText = new TElidedLabel(StatusBar1);
  StatusText->setObjectName("StatusText");
  StatusBar1->addWidget(StatusText, 1);
  CountText = new TElidedLabel(StatusBar1);
  CountText->setObjectName("CountText");
  StatusBar1->addWidget(CountText, 1);
  PlaceText = new TElidedLabel(StatusBar1);
  PlaceText->setObjectName("PlaceText");
  StatusBar1->addPermanentWidget(PlaceText);
  setStatusBar(StatusBar1);

  // The dock area: disassembly and registers share the top side by side, the console runs
  // along the whole bottom.
  setDockNestingEnabled(true);
  setCorner(Qt::BottomLeftCorner, Qt::BottomDockWidgetArea);
  setCorner(Qt::BottomRightCorner, Qt::BottomDockWidgetArea);

  // The tool windows, in this order, none of them shown yet.
  FCPU = new TFCPU(this, this);
  FReg = new TFReg(this, this);
  FDebug = new TFDebug(this);
  FMem = new TFMem(this, this);
  FManual = nullptr;
  for (QDockWidget* dock : std::initializer_list<QDockWidget*>{FCPU, FReg, FDebug, FMem}) {
    dock->hide();
  }
  breakpoints_ = new TFBreakpoints(
      this, controller_.Session(), [](uint32_t a) { FCPU->ShowAddress(a); },
      [](uint32_t a) { FMem->GoToAddress(a); },
      [this] {
        FCPU->UpdateView();
        controller_.Debugger().SaveProgramSession();  // the program keeps its edited breakpoints
      });
  breakpoints_->hide();
  breakpoints_->SetFloatingSize({460, 220});
  BuildDebugViews();
  tervik::ui::SetFloatingSizes(*FCPU, *FReg, *FDebug, *FMem);
  new tervik::ui::ConsoleHeightKeeper(*this, *FDebug);

  // Everything the console functions write, plug-in messages included, goes to the console.
  tervik::SetConsoleSink(FDebug);

  // The controller's news: the views repaint, the console takes the lines, and a run disables
  // the commands that must not run meanwhile.
  connect(&controller_, &DebugController::machineChanged, this, &TFMain::RefreshViews);
  connect(&controller_, &DebugController::breakpointsChanged, this,
          [this] { breakpoints_->UpdateView(); });
  connect(&controller_, &DebugController::speedChanged, this, &TFMain::ShowSpeed);
  connect(&controller_, &DebugController::consoleLine, this,
          [this](const std::string& line) { ConsoleMessage("%s", line.c_str()); });
  connect(&controller_, &DebugController::runStarted, this, [this] {
    DisableActions();
    ActionStop->setEnabled(true);
  });
  connect(&controller_, &DebugController::runFinished, this, [this] {
    EnableActions();
    if (closeRequested_) close();  // the window was closed during the run
  });
  connect(program_, &TProgramMenu::sourceOpened, this,
          [this](const QString& path) { recent_->Note(path); });
  connect(ActionLiveViews, &QAction::toggled, &controller_, &DebugController::SetLiveViews);
  controller_.SetLiveViews(ActionLiveViews->isChecked());

  history_ = new THistoryActions(*this, controller_, *ActionStepOver);
  history_->Install(menuBar()->findChild<QMenu*>("DebugMenu"), DebugToolBar, StatusBar1);
  ConnectSourceWindow();
}

TFMain::~TFMain() {
  controller_.RequestStop();
  controller_.Debugger().SetModuleTrust(nullptr);
  tervik::SetConsoleSink(nullptr);
  // The tool windows in creation order, then the manual window; the lists and the processor
  // follow as members.
  delete breakpoints_;
  breakpoints_ = nullptr;
  // The views read the controller's session: they go before it does.
  for (QDockWidget* dock : views_->Docks()) delete dock;
  delete board_;
  board_ = nullptr;
  delete FCPU;
  FCPU = nullptr;
  delete FReg;
  FReg = nullptr;
  delete FDebug;
  FDebug = nullptr;
  delete FMem;
  FMem = nullptr;
  delete FManual;
  FManual = nullptr;
  delete source_;
  source_ = nullptr;
  if (FMain == this) FMain = nullptr;
}

QAction* TFMain::MakeAction(const QString& caption, const QString& name,
                            const QKeySequence& shortcut, void (TFMain::*handler)()) {
  auto* action = new QAction(caption, this);
  action->setObjectName(name);
  if (!shortcut.isEmpty()) action->setShortcut(shortcut);
  action->setShortcutContext(Qt::ApplicationShortcut);
  connect(action, &QAction::triggered, this,
          [this, handler] { Guarded([=, this] { (this->*handler)(); }); });
  ActionList1.push_back(action);
  return action;
}

QAction* TFMain::MakeDebugAction(const QString& caption, const QString& name,
                                 const QKeySequence& shortcut, void (TFMain::*handler)()) {
  QAction* action = MakeAction(caption, name, shortcut, handler);
  ActionList1.pop_back();  // the list keeps the window's original commands only
  return action;
}

// Menu items take their own captions where they differ from their action's; shortcut, enabled
// state and handler come from the action.
void TFMain::BuildMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName("MainMenu1");
  auto item = [](QMenu* menu, QAction* action, const QString& caption) {
    if (caption.isEmpty() || caption == action->text()) {
      menu->addAction(action);
      return;
    }
    // A proxy item with its own caption that follows its action in everything else.
    auto* proxy = new QAction(caption, menu);
    proxy->setObjectName(action->objectName() + "Item");
    proxy->setShortcut(action->shortcut());
    proxy->setShortcutContext(Qt::WidgetShortcut);  // the action itself owns the shortcut
    proxy->setEnabled(action->isEnabled());
    connect(proxy, &QAction::triggered, action, &QAction::trigger);
    connect(action, &QAction::enabledChanged, proxy, &QAction::setEnabled);
    menu->addAction(proxy);
  };
  QMenu* file = bar->addMenu("&File");
  item(file, ActionExportROMDATA, "Copy as &ROM");
  item(file, ActionQuit, {});
  QMenu* memory = bar->addMenu("&Memory");
  item(memory, ActionLoadMap, {});
  item(memory, ActionLoadLST, {});
  item(memory, ActionReloadLST, {});
  item(memory, ActionDisplayMap, {});
  item(memory, ActionClearMem, {});
  QMenu* cpu = bar->addMenu("&CPU");
  item(cpu, ActionReset, {});
  item(cpu, ActionGo, {});
  item(cpu, ActionStep, {});
  item(cpu, ActionRun, {});
  item(cpu, ActionStop, {});
  QMenu* window = bar->addMenu("&Window");
  item(window, ActionShowMemory, {});
  window->addSeparator();  // the Board's own section
  window->addAction(ActionShowBoard);
  QMenu* help = bar->addMenu("&Help");
  item(help, ActionManual, "Tervik uC &Manual");
  item(help, ActionAbout, {});
  // The debugger's commands have a menu of their own, last, so the others stay as they were.
  QMenu* debug = bar->addMenu("&Debug");
  debug->setObjectName("DebugMenu");
  debugMenu_ = debug;
  debug->addAction(ActionStepOver);
  debug->addAction(ActionStepOut);
  debug->addAction(ActionStepLine);
  debug->addAction(ActionRunToCursor);
  debug->addSeparator();
  debug->addAction(ActionStopWhenHalted);
  debug->addAction(ActionLiveViews);
  debug->addAction(ActionTranslate);
  ActionExportRom = MakeExportRomAction(this, controller_.Session(),
                                        [this](const std::string& line) { Message(line); });
  debug->addAction(ActionExportRom);  // the images of tervik-rom
  debug->addSeparator();
  debug->addAction(ActionShowBreakpoints);
  debug->addAction(ActionShowDebugToolBar);
  debug->addAction(ActionResetLayout);
  QMenu* program = program_->Menu();
  bar->addMenu(program);
  AddSourceMenu(program);
  // The listings and maps opened last, at the end of the Program menu.
  program->addSeparator();
  recent_ = new TRecentFiles(program->addMenu("Recent &files"), [this](const QString& file) {
    Guarded([&] {
      if (file.endsWith(".map", Qt::CaseInsensitive))
        OpenMap(file);
      else if (file.endsWith(".asm", Qt::CaseInsensitive))
        program_->OpenSource(file.toStdString());
      else
        OpenListing(file, tervik::debug::OpenCause::Open);
    });
  });
  // The answers about folders whose maps load modules that do not come with Tervik.
  trust_ = new TModuleTrustMenu(*this, program->addMenu("&Module folders"),
                                [this](const QString& line) { Message(line.toStdString()); });
  controller_.Debugger().SetModuleTrust(trust_);
}

void TFMain::BuildToolBar() {
  ToolBar3 = addToolBar("ToolBar3");
  ToolBar3->setObjectName("ToolBar3");
  ToolBar3->setIconSize(QSize(16, 16));
  ToolBar3->setToolButtonStyle(Qt::ToolButtonIconOnly);
  ToolBar3->setMovable(false);
  ToolBar3->setFixedHeight(29);
  ToolBar3->addAction(ActionQuit);
  ToolBar3->addSeparator();
  ToolBar3->addAction(ActionReset);
  ToolBar3->addAction(ActionGo);
  ToolBar3->addAction(ActionStep);
  ToolBar3->addAction(ActionRun);
  ToolBar3->addAction(ActionStop);
  ToolBar3->addSeparator();

  // The debugger's commands on a tool bar of their own, beside the first; hidden until the user
  // asks for it, so the window looks as it always did.
  DebugToolBar = addToolBar("Debug");
  DebugToolBar->setObjectName("DebugToolBar");
  DebugToolBar->setIconSize(QSize(16, 16));
  DebugToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
  DebugToolBar->setFixedHeight(29);
  DebugToolBar->addAction(ActionStepOver);
  DebugToolBar->addAction(ActionStepOut);
  DebugToolBar->addAction(ActionRunToCursor);
  DebugToolBar->addSeparator();
  DebugToolBar->addAction(ActionShowBreakpoints);
  DebugToolBar->hide();
  ActionShowDebugToolBar = DebugToolBar->toggleViewAction();
  ActionShowDebugToolBar->setText("Debug &tool bar");
  ActionShowDebugToolBar->setObjectName("ActionShowDebugToolBar");
}

void TFMain::Guarded(const std::function<void()>& command) {
  try {
    command();
  } catch (const std::exception& e) {
    QMessageBox::critical(this, windowTitle(), QString::fromLocal8Bit(e.what()));
  } catch (...) {
    QMessageBox::critical(this, windowTitle(), "The command failed.");
  }
}

int TFMain::ConsoleMessage(const char* format, ...) {
  char buffer[tervik::kConsoleLineMax + 1];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (n < 0) return n;
  FDebug->AppendLine(buffer);
  return std::min(n, static_cast<int>(tervik::kConsoleLineMax));
}

// ---- Views ----

void TFMain::RefreshViews() {
  const uint32_t pc = controller_.Session().Cpu().GetPC();
  FCPU->ShowAddress(pc);
  FReg->UpdateView();
  FMem->UpdateView();
  breakpoints_->UpdateView();
  if (history_ != nullptr) history_->UpdateTimeline();
  if (board_ != nullptr) board_->UpdateView();
  ShowSpeed();
  const std::string place = controller_.Session().Symbols().Locate(pc);
  PlaceText->setText(place.empty() ? QString() : "pc: " + QString::fromStdString(place));
  ShowProgramName();
}

void TFMain::ShowSpeed() {
  const double secondsPerInstruction = controller_.SecondsPerInstruction();
  if (secondsPerInstruction > 0.0) {
    const double rate = 1.0 / secondsPerInstruction;
    // The integer part; a rate beyond what an int holds shows as the largest int.
    const int shown = rate >= 2147483647.0 ? 2147483647 : static_cast<int>(rate);
    StatusText->setText(QString::asprintf("%d instruction/sec", shown));
  } else {
    StatusText->setText("- instruction/sec");
  }
  const uint64_t count = controller_.InstructionsSinceReset();
  CountText->setText(QString::fromStdString(tervik::debug::GroupThousands(count)) +
                     (count == 1 ? " instruction" : " instructions") + " since Reset");
}

// ---- Breakpoints ----

void TFMain::ToggleBreakpoint(uint32_t address) {
  controller_.Debugger().ToggleBreakpoint(address);  // the others keep their order
}

void TFMain::Message(const std::string& line) {
  ConsoleMessage("%s", line.c_str());
}

bool TFMain::IsBreakpoint(uint32_t address) const {
  return controller_.Session().IsBreakpoint(address);
}

// ---- Loading ----

void TFMain::LoadListing(const std::string& path) {
  LoadProgramListing(path, false);
}

void TFMain::LoadProgramListing(const std::string& path, bool moveBreakpoints) {
  controller_.Debugger().LoadProgram(path, moveBreakpoints);
}

// The views are refreshed after a map was read; a map that cannot be opened leaves them alone.
void TFMain::LoadMemoryMap(const std::string& path, tervik::debug::Debugger::MapOrigin origin) {
  controller_.Debugger().LoadMap(path, origin);
}

void TFMain::ClearMemory() {
  controller_.Debugger().ClearMemory();
}

void TFMain::DisplayMemoryMap() {
  controller_.Debugger().DisplayMap();
}

QString TFMain::ChooseFile(const OpenDialog& dialog) {
  const QString last = settings_ ? settings_->LastFolder(dialog.defaultSuffix) : QString();
  QFileDialog box(this, dialog.caption, last.isEmpty() ? QDir::currentPath() : last, dialog.filter);
  box.setFileMode(QFileDialog::ExistingFile);
  box.setAcceptMode(QFileDialog::AcceptOpen);
  box.setDefaultSuffix(dialog.defaultSuffix);
  box.setOption(QFileDialog::ReadOnly, false);
  box.setSizeGripEnabled(true);
  box.selectFile("*." + dialog.defaultSuffix);
  if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty()) return {};
  const QString chosen = box.selectedFiles().front();
  if (settings_) settings_->NoteFolder(dialog.defaultSuffix, QFileInfo(chosen).absolutePath());
  return chosen;
}

void TFMain::ActionLoadLSTExecute() {
  const QString path =
      ChooseFile({"Load LST file", "Assembler listing (*.lst);;All files (*)", "lst"});
  if (!path.isEmpty()) {
    OpenListing(path);
    return;
  }
  RefreshViews();
}

void TFMain::OpenListing(const QString& path, tervik::debug::OpenCause cause, bool folderMap) {
  if (!MaySwitchProgram()) return;  // a modified source the user kept
  // Taken as a whole path before the listing's folder becomes the working directory.
  const QFileInfo listing(path);
  lastListingPath_ = tervik::platform::LocalPath(listing.absoluteFilePath());
  std::error_code ignored;  // a folder that cannot be entered keeps the old working folder
  std::filesystem::current_path(std::filesystem::path(lastListingPath_).parent_path(), ignored);
  program_->Forget();
  recent_->Note(listing.absoluteFilePath());
  if (cause == tervik::debug::OpenCause::Listing)
    Debugger().HintFolderMap(lastListingPath_);
  else if (folderMap)
    Debugger().UseFolderMap(lastListingPath_);
  Debugger().OpenProgram(lastListingPath_, lastListingPath_, cause);
}

void TFMain::OpenMap(const QString& path) {
  recent_->Note(path);
  LoadMemoryMap(tervik::platform::LocalPath(path));
  RefreshViews();
}

void TFMain::ActionReloadLSTExecute() {
  if (program_->FromSource()) {
    program_->Rebuild();
    return;
  }
  if (lastListingPath_.empty()) {
    LoadListing(lastListingPath_);
    // The empty name's error line says little to someone who has loaded nothing yet.
    Message("No listing loaded yet");
    return;
  }
  Debugger().OpenProgram(lastListingPath_, lastListingPath_, tervik::debug::OpenCause::Reload);
}

void TFMain::ActionClearMemExecute() {
  ClearMemory();
}

void TFMain::ActionLoadMapExecute() {
  const QString path = ChooseFile({"Load memory map", "Memory map (*.map);;All files (*)", "map"});
  if (!path.isEmpty()) {
    OpenMap(path);
    return;
  }
  RefreshViews();
}

void TFMain::ActionDisplayMapExecute() {
  DisplayMemoryMap();
}

// ---- Other commands ----

void TFMain::ActionQuitExecute() {
  close();
}

void TFMain::ActionExportROMDATAExecute() {
  tervik::platform::SystemClipboard().SetText(tervik::RomExportText(Cpu()));
}

void TFMain::ActionAboutExecute() {
  if (FAbout != nullptr) FAbout->exec();
}

// ---- Run control ----

void TFMain::ActionResetExecute() {
  controller_.Debugger().Reset();
}

void TFMain::ActionStepExecute() {
  controller_.Step();
}

void TFMain::ActionGoExecute() {
  if (history_->RefuseEdit()) return;
  controller_.Debugger().SetPC(FCPU->CursorAddress());
}

void TFMain::DisableActions() {
  // Exit stays available: it ends the run, then the program (closeEvent).
  for (size_t i = 0; i < 9; ++i) ActionList1[i]->setEnabled(ActionList1[i] == ActionQuit);
  // Opening a program replaces the one running, as Load LST file would: not during a run.
  for (QAction* a : {ActionStepOver, ActionStepOut, ActionStepLine, ActionRunToCursor,
                     ActionExportRom, program_->ActionOpenSource}) {
    a->setEnabled(false);
  }
  recent_->SetBlocked(true);
}

void TFMain::EnableActions() {
  for (size_t i = 0; i < 9; ++i) ActionList1[i]->setEnabled(true);
  for (QAction* a : {ActionStepOver, ActionStepOut, ActionStepLine, ActionRunToCursor,
                     ActionExportRom, program_->ActionOpenSource}) {
    a->setEnabled(true);
  }
  recent_->SetBlocked(false);
}

void TFMain::ActionRunExecute() {
  RunOperation(Session().StartRun(ActionStopWhenHalted->isChecked(), kRunLimit));
}

// In the Source window, in source lines.
void TFMain::ActionStepOverExecute() {
  const bool halted = ActionStopWhenHalted->isChecked();
  RunOperation(SourceHasFocus() ? Session().StartStepLine(true, halted, kRunLimit)
                                : Session().StartStepOver(halted, kRunLimit));
}

void TFMain::ActionStepOutExecute() {
  const bool halted = ActionStopWhenHalted->isChecked();
  RunOperation(SourceHasFocus() ? Session().StartStepLineOut(halted, kRunLimit)
                                : Session().StartStepOut(halted, kRunLimit));
}

// Runs to the start of the next source line (into calls); without a line table, one step.
void TFMain::ActionStepLineExecute() {
  RunOperation(Session().StartStepLine(false, ActionStopWhenHalted->isChecked(), kRunLimit));
}

void TFMain::ActionRunToCursorExecute() {
  RunOperation(
      Session().StartRunTo(RunToCursorAddress(), ActionStopWhenHalted->isChecked(), kRunLimit));
}

void TFMain::ActionStopExecute() {
  controller_.RequestStop();
}

tervik::debug::StopReason TFMain::RunOperation(tervik::debug::RunOperation op) {
  return controller_.Run(std::move(op));
}
