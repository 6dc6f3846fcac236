// The main window: owns the debug controller (and through it the debugger with the processor,
// the listing comments and the breakpoints) and the tool windows; carries the menus, the tool
// bar, the dock area and the status bar; routes every command through one list of actions to the
// controller, and repaints the views on its signals.
#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>
#include <QToolBar>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Clock.h"
#include "DebugController.h"
#include "DebugHost.h"
#include "ListingMap.h"
#include "Processor.h"
#include "Session.h"
#include "ToolWindows.h"

class QAction;
class QActionGroup;
class TDebugViews;
class QMenu;
class TFBoard;
class TFBreakpoints;
class TFSource;
class THistoryActions;
class TProgramMenu;
class TModuleTrustMenu;
class TRecentFiles;
class TWindowSettings;

class TFMain : public QMainWindow, public DebugHost {
  Q_OBJECT

 public:
  // Builds the window, the processor, the empty lists and the tool windows (none shown yet).
  // `clock` measures the speed; the process-wide steady clock unless a test gives another.
  explicit TFMain(tervik::platform::Clock& clock = tervik::platform::SystemClock(),
                  QWidget* parent = nullptr);
  ~TFMain() override;

  // The create event: shows and docks the disassembly, register and console windows in their
  // default layout, restores the saved settings if UseSettings gave a file, then loads `map`
  // ("default.map" from the working directory unless the command line named another).
  // `mapNamed`: the command line named the map, which loads its modules without asking.
  void FormCreate(const QString& map = "default.map", bool mapNamed = false);

  // Remember the layout, the options, the recent files and the dialogs' folders in `file`
  // (restored by FormCreate, saved when the window closes). Without it nothing is remembered.
  void UseSettings(const QString& file);
  TWindowSettings* Settings() const { return settings_.get(); }
  TRecentFiles* Recent() const { return recent_; }
  // Which folders' maps may load modules that do not come with Tervik (Program > Module folders).
  TModuleTrustMenu* ModuleTrust() const { return trust_; }
  // Whether the memory dump has been placed beside the window, at its first showing.
  bool MemoryPlaced() const { return memoryPlaced_; }
  void SetMemoryPlaced(bool placed) { memoryPlaced_ = placed; }

  // What "Load LST file" and "Load memory map" do once their dialog has given `path`: a
  // listing's folder becomes the working folder and "Reload previous LST file" loads it again.
  // A listing opened from the command line or Recent files (`cause` Open) runs in the
  // default.map of its folder; one loaded by Load LST file keeps the map, with a hint when its
  // folder has another (Debugger::OpenProgram says what else is kept).
  void OpenListing(const QString& path,
                   tervik::debug::OpenCause cause = tervik::debug::OpenCause::Listing,
                   bool folderMap = true);
  void OpenMap(const QString& path);

  // ---- Operations the other windows use ----
  void RefreshViews() override;
  void ToggleBreakpoint(uint32_t address) override;
  bool IsBreakpoint(uint32_t address) const;
  int ConsoleMessage(const char* format, ...) __attribute__((format(printf, 2, 3)));

  DebugController& Controller() { return controller_; }
  tervik::debug::Debugger& Debugger() override { return controller_.Debugger(); }
  tervik::Processor& Cpu() { return controller_.Session().Cpu(); }
  tervik::debug::Session& Session() override { return controller_.Session(); }
  const tervik::ListingMap& Listing() const { return controller_.Session().Listing(); }
  const std::vector<uint32_t>& Breakpoints() const { return controller_.Session().Breakpoints(); }
  const std::string& LastListingPath() const { return lastListingPath_; }
  double SecondsPerInstructionValue() const { return controller_.SecondsPerInstruction(); }
  bool Running() const override { return controller_.Running(); }
  void Message(const std::string& line) override;
  // "Watch this" from the memory dump and the register window: into the Watch window.
  void WatchExpression(const std::string& text) override;
  // Instructions the last free run executed.
  uint64_t LastRunCount() const { return controller_.LastRunCount(); }

  // ---- Loader operations, each followed by RefreshViews ----
  void LoadListing(const std::string& path);
  // Loads a listing and the symbol file beside it (X.sym for X.lst), if there is one; with
  // `moveBreakpoints`, breakpoints follow their labels (a program assembled again).
  void LoadProgramListing(const std::string& path, bool moveBreakpoints);
  // A map the user named loads every module; a found one (`origin` Found: the working folder's
  // default.map at start-up) asks the module trust about modules that do not come with Tervik.
  void LoadMemoryMap(const std::string& path, tervik::debug::Debugger::MapOrigin origin =
                                                  tervik::debug::Debugger::MapOrigin::Named);
  void ClearMemory();
  void DisplayMemoryMap();

  // ---- Run control ----
  // Runs `op` until it ends (DebugController::Run): the commands that must not run meanwhile are
  // disabled, the console says why it ended and the views are refreshed.
  tervik::debug::StopReason RunOperation(tervik::debug::RunOperation op);
  void ShowSpeed();
  void DisableActions();
  void EnableActions();

  // ---- Action handlers ----
  void ActionQuitExecute();
  void ActionResetExecute();
  void ActionStepExecute();
  void ActionGoExecute();
  void ActionExportROMDATAExecute();
  void ActionShowMemoryExecute();
  void ActionManualExecute();
  void ActionRunExecute();
  void ActionStopExecute();
  void ActionLoadLSTExecute();
  void ActionDisplayMapExecute();
  void ActionLoadMapExecute();
  void ActionAboutExecute();
  void ActionReloadLSTExecute();
  void ActionClearMemExecute();
  // The debugger's run commands (Debug menu).
  void ActionStepOverExecute();
  void ActionStepOutExecute();
  void ActionStepLineExecute();
  void ActionRunToCursorExecute();
  void ActionShowBreakpointsExecute();
  // Docks the tool windows where they stood at the first start (Debug menu).
  void ActionResetLayoutExecute();
  // Shows the Board window, made at its first showing (Window menu).
  void ActionShowBoardExecute();

  // The actions in list order; the first nine are disabled as a group during a free run.
  QAction* ActionQuit;
  QAction* ActionReset;
  QAction* ActionStep;
  QAction* ActionGo;
  QAction* ActionExportROMDATA;
  QAction* ActionShowMemory;
  QAction* ActionManual;
  QAction* ActionRun;
  QAction* ActionStop;
  QAction* ActionLoadLST;
  QAction* ActionDisplayMap;
  QAction* ActionLoadMap;
  QAction* ActionAbout;
  QAction* ActionReloadLST;
  QAction* ActionClearMem;
  std::vector<QAction*> ActionList1;
  // The debugger's commands, disabled during a run like the first nine of the list.
  QAction* ActionStepOver;
  QAction* ActionStepOut;
  QAction* ActionStepLine;  // by the program's line table; F6, a key no other command has
  QAction* ActionRunToCursor;
  QAction* ActionTranslate;       // checked: batches run on the translator
  QAction* ActionStopWhenHalted;  // checked: a run ends when an instruction leaves pc in place
  QAction* ActionLiveViews;       // checked: the views follow a run about ten times a second
  QAction* ActionShowBreakpoints;
  QAction* ActionResetLayout;
  QAction* ActionShowBoard;
  TFBreakpoints* BreakpointsWindow() const { return breakpoints_; }
  // The Watch, Call stack and Symbols windows with their Debug menu entries.
  TDebugViews* Views() const { return views_; }
  // The caption with the loaded program's file name after it: "Tervik CPU Emulator - stack.asm".
  // It follows the debugger's program, however that was opened.
  void ShowProgramName();
  TFBoard* BoardWindow() const { return board_; }  // null until first shown
  TProgramMenu* Program() const { return program_; }
  THistoryActions* History() const { return history_; }
  // The Source window: hidden until a source is opened.
  TFSource* Source() const { return source_; }

  QToolBar* ToolBar3;
  QToolBar* DebugToolBar;  // step over, step out, run to cursor, breakpoints; hidden at first
  QAction* ActionShowDebugToolBar;
  QStatusBar* StatusBar1;
  QLabel* StatusText;        // the status bar's one text field
  QLabel* PlaceText;         // where pc is by the symbols ("pc: loop+2"); empty without symbols
  QLabel* CountText;         // instructions since the last Reset ("1,204,000 instructions")
  QAction* ActionExportRom;  // "Export ROM...", disabled during a run

  // A free run ends after this many instructions at the most (0xF0000000 + 1).
  static constexpr uint64_t kRunLimit = DebugController::kRunLimit;
  // Instructions between two speed measurements.
  static constexpr uint64_t kSpeedInterval = DebugController::kSpeedInterval;

 protected:
  void closeEvent(QCloseEvent* event) override;

  // The open-file dialog; a test replaces it. Returns the chosen path, or empty when cancelled.
  struct OpenDialog {
    QString caption;
    QString filter;
    QString defaultSuffix;
  };
  virtual QString ChooseFile(const OpenDialog& dialog);

 private:
  QAction* MakeAction(const QString& caption, const QString& name, const QKeySequence& shortcut,
                      void (TFMain::*handler)());
  // An action outside the list, for the commands added to the debugger.
  QAction* MakeDebugAction(const QString& caption, const QString& name,
                           const QKeySequence& shortcut, void (TFMain::*handler)());
  void BuildMenus();
  // The Watch, Call stack and Symbols windows, in a section of their own in the Debug menu.
  void BuildDebugViews();
  void BuildToolBar();
  // Runs a command handler; an exception is shown in a message box and the program goes on.
  void Guarded(const std::function<void()>& command);
  // The window's parts that the settings and the layout work on.
  ToolWindows Windows();
  // The Source window, its section of the Program menu, and its ties to the program menu, the
  // console and the run commands (TfmainSource.cpp).
  void BuildSourceWindow();
  void AddSourceMenu(QMenu* program);
  void ConnectSourceWindow();
  // Whether a command of the Debug menu works in source lines: the Source window has the focus.
  bool SourceHasFocus() const;
  // The Source window's cursor line's first word when it has the focus, else the disassembly's
  // cursor.
  uint32_t RunToCursorAddress() const;
  // Asks about modified sources before another program replaces this one, and closes their
  // tabs when it may; false when the user kept them.
  bool MaySwitchProgram(const std::string& source = {});

  DebugController controller_;
  TFBreakpoints* breakpoints_ = nullptr;
  TDebugViews* views_ = nullptr;
  QMenu* debugMenu_ = nullptr;
  TFBoard* board_ = nullptr;
  TProgramMenu* program_ = nullptr;
  THistoryActions* history_ = nullptr;  // the reverse commands and the timeline
  TFSource* source_ = nullptr;
  std::string lastListingPath_;
  std::string titledPath_;  // the program the caption names
  bool closeRequested_ = false;
  std::unique_ptr<TWindowSettings> settings_;
  TRecentFiles* recent_ = nullptr;
  TModuleTrustMenu* trust_ = nullptr;
  bool memoryPlaced_ = false;
};

extern TFMain* FMain;
