// The parts of the main window that the settings and the dock layout work on, handed to them
// instead of the main window itself, so that neither includes it.
#pragma once

#include <QAction>
#include <QMainWindow>
#include <QToolBar>
#include <vector>

class TFBreakpoints;
class TFCPU;
class TFDebug;
class TFMem;
class TFReg;
class TRecentFiles;
class TToolDock;

struct ToolWindows {
  QMainWindow* window = nullptr;
  TFCPU* cpu = nullptr;
  TFReg* reg = nullptr;
  TFDebug* console = nullptr;
  TFMem* memory = nullptr;
  TFBreakpoints* breakpoints = nullptr;
  QToolBar* toolBar = nullptr;
  QToolBar* debugToolBar = nullptr;
  QAction* stopWhenHalted = nullptr;
  QAction* liveViews = nullptr;
  QAction* translate = nullptr;  // batches on the translator
  QAction* showDebugToolBar = nullptr;
  QAction* reloadOnChange = nullptr;
  TRecentFiles* recent = nullptr;
  bool* memoryPlaced = nullptr;   // whether the memory dump has been placed at its first showing
  std::vector<TToolDock*> views;  // the debugger's further views (watch, call stack, symbols)
};
