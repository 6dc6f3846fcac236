// What the views need of the debugger window that owns them: the session they show, whether a
// run is going on (they take no edits then), and the commands whose effects reach beyond one
// view. The views hold a DebugHost rather than the main window, so they depend on this alone.
#pragma once

#include <cstdint>
#include <string>

#include "Debugger.h"
#include "Session.h"

class DebugHost {
 public:
  virtual tervik::debug::Session& Session() = 0;
  // The debugger the views send their edits to; it tells every view of the change.
  virtual tervik::debug::Debugger& Debugger() = 0;
  virtual bool Running() const = 0;
  // Sets or removes a breakpoint and shows the change wherever breakpoints are shown.
  virtual void ToggleBreakpoint(uint32_t address) = 0;
  // Repaints every view from the session.
  virtual void RefreshViews() = 0;
  // A line for the console.
  virtual void Message(const std::string& line) = 0;

 protected:
  ~DebugHost() = default;
};
