// The debugger: the one model between the machine and every front end. It owns the debugging
// session (processor, listing comments, symbols, breakpoints and watchpoints) and the peripheral
// modules, loads the program's files, applies a user's edits by the machine's rules, and tells
// its listeners once per change. Plain C++: the windows' controller, the command-line tools and
// the tests all drive it; it calls none of them except through DebugListener.
//
// Notifications come at the end of a command (a load, an edit, a reset, a step) and at the
// stops and live-view ticks of a run, which its driver announces with MachineChanged; never once
// per instruction. Threading: one thread at a time, like its processor.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "Console.h"
#include "DynamicLibrary.h"
#include "Listing.h"
#include "PeripheralModule.h"
#include "Registers.h"
#include "Session.h"

namespace tervik::debug {

// What a front end hears. Every function has an empty default, so a listener overrides only what
// it shows.
class DebugListener {
 public:
  // Registers, memory or change markers changed (a command, a run's stop or live-view tick).
  virtual void MachineChanged() {}
  // A breakpoint or watchpoint was set, removed or changed.
  virtual void BreakpointsChanged() {}
  // The program's symbols were replaced.
  virtual void SymbolsChanged() {}
  // The memory map (the region list) was replaced.
  virtual void RegionsChanged() {}
  // A console line: the loaders', the debugger's or a command's.
  virtual void ConsoleLine(std::string_view line) { (void)line; }

 protected:
  ~DebugListener() = default;
};

class Debugger final : private ConsoleSink {
 public:
  // `libraries` opens the peripheral modules and must outlive the debugger; `bundledFolder` is
  // where the program's own modules live.
  explicit Debugger(platform::DynamicLibraryLoader& libraries,
                    std::filesystem::path bundledFolder = platform::ExecutableFolder());
  ~Debugger() override = default;
  Debugger(const Debugger&) = delete;
  Debugger& operator=(const Debugger&) = delete;

  Session& GetSession() { return session_; }
  const Session& GetSession() const { return session_; }
  Processor& Cpu() { return session_.Cpu(); }
  const Processor& Cpu() const { return session_.Cpu(); }
  // Where the loaders write; every line reaches the listeners' ConsoleLine.
  ConsoleSink& Console() { return *this; }

  // Listeners are called in the order they were added; each must outlive its registration.
  void AddListener(DebugListener& listener);
  void RemoveListener(DebugListener& listener);

  // ---- Program files ----
  // Reads a memory map (regions and modules). False, with the views left alone, when the file
  // could not be read; the reason is on the console.
  bool LoadMap(const std::string& path);
  // Reads a listing into memory and the comments. False when the file could not be read.
  bool LoadListing(const std::string& path, ListingExtent* extent = nullptr);
  // LoadListing, then the line table and the symbol file beside it (X.lines and X.sym for X.lst)
  // where they exist, with the console lines about them; with `moveBreakpoints` breakpoints follow
  // their labels.
  void LoadProgram(const std::string& path, bool moveBreakpoints);
  // Reads a symbol file, as LoadProgram does for the one beside the listing.
  void LoadSymbolFile(const std::string& path, bool required, bool moveBreakpoints);
  // Zeroes every ROM and RAM word.
  void ClearMemory();
  // The region table on the console.
  void DisplayMap();

  // ---- Commands ----
  void Reset();
  void Step();
  void SetPC(uint32_t address);
  // A user's edit of a register: returns the value stored (SR keeps its four flag bits). The
  // register's marker is set only when its value changes; the listeners are told either way,
  // so every view shows the state the user confirmed.
  uint32_t EditRegister(RegisterId id, uint32_t value);
  // A user's edit of a memory word (ROM included, a module's word through its WriteMem): marks
  // it as the last word written when it changes, and tells the listeners. False, with nothing
  // written or told, where no region serves the address.
  bool EditWord(uint32_t address, uint32_t value);
  void ToggleBreakpoint(uint32_t address);
  // A line for the console.
  void Message(std::string_view line);

  // ---- Notifications for changes made through the session directly ----
  void NotifyMachine();
  void NotifyBreakpoints();

 private:
  void AppendLine(std::string_view line) override;
  template <typename F>
  void Tell(F&& f) {
    // A copy: a listener may add or remove listeners while it is told.
    const std::vector<DebugListener*> listeners = listeners_;
    for (DebugListener* l : listeners) f(*l);
  }

  Session session_;
  PeripheralModuleLoader modules_;
  std::vector<DebugListener*> listeners_;
};

}  // namespace tervik::debug
