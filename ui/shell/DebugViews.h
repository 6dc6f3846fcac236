// The debugger's further views, owned by the main window: Watch, Call stack and Symbols, each a
// dockable window, hidden until its action in the Debug menu shows it (floating beside the main
// window at its first showing).
#pragma once

#include <QAction>
#include <QMainWindow>
#include <QObject>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "DebugController.h"

class QMenu;
class TFCallStack;
class TFSymbols;
class TFWatch;
class TToolDock;

class TDebugViews final : public QObject {
  Q_OBJECT

 public:
  // `showCode` shows an address in the disassembly, `showData` in the memory dump.
  TDebugViews(QMainWindow& main, DebugController& controller,
              std::function<void(uint32_t)> showCode, std::function<void(uint32_t)> showData);

  // The show actions, for a menu.
  void AddActions(QMenu& menu) const;
  // Shows `dock`, placed beside the main window at its first showing.
  void Show(TToolDock& dock);
  // "Watch this": adds the expression and shows the Watch window.
  void Watch(const std::string& text);
  // Hides every view (Reset layout, closing the main window).
  void HideAll();
  std::vector<TToolDock*> Docks() const;

  TFWatch* Watches() const { return watch_; }
  TFCallStack* CallStack() const { return callStack_; }
  TFSymbols* Symbols() const { return symbols_; }
  QAction* ActionShowWatch;
  QAction* ActionShowCallStack;
  QAction* ActionShowSymbols;

 private:
  QMainWindow& main_;
  TFWatch* watch_;
  TFCallStack* callStack_;
  TFSymbols* symbols_;
};
