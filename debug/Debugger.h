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
#include "ModuleTrust.h"
#include "PeripheralModule.h"
#include "ProgramFiles.h"
#include "Registers.h"
#include "Session.h"
#include "SessionStore.h"
#include "WatchList.h"

namespace tervik::debug {

// How a program is opened. Which of its state is kept follows from this and from whether it is
// the program loaded now (the same file, its extension aside: stack.asm and stack.lst are one
// program).
enum class OpenCause : uint8_t {
  Listing,    // Load LST file: loads as it always did; the processor is left as it is
  Open,       // Open source, the command line, Recent files: the program again is a reload
  Reload,     // Reload previous LST file
  Changed,    // Reload on change: a file of its source was saved
  Assembled,  // Assemble in the Source window, from the editor's text
};

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
  // The processor was reset: CPU > Reset, or a program's fresh start.
  virtual void ProcessorReset() {}
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
  // Saves the program's session file.
  ~Debugger() override;
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

  // The loaded program's watch expressions, kept with its breakpoints; the Watch view shows them
  // and the run's driver updates their values.
  debug::WatchList& Watches() { return watches_; }
  const debug::WatchList& Watches() const { return watches_; }

  // ---- The program and its state ----
  // Opens the program `programPath` (the file the user opened: its source or its listing) from
  // the listing at `listingPath`, with its line table and symbols (LoadProgram). One rule for
  // what is kept:
  //  - Another program than the one loaded: the old one's breakpoints, watchpoints and watch
  //    expressions are saved to its session file and dropped; the new one's are restored from
  //    its own (SessionPathFor), with one console line when that file is missing, unreadable or
  //    names labels that are gone.
  //  - The same program again, by any cause but Listing, is a reload and a fresh start: memory
  //    cleared and loaded, processor and peripherals reset, change markers and hit counts
  //    cleared; breakpoints and watchpoints follow their labels and source lines; one console
  //    line says so ("Reloaded stack.asm (changed on disk): processor reset").
  //  - The same program by Load LST file: loaded, with everything else left as it is.
  // A program whose assembly failed never gets here, so a failed reload changes nothing.
  void OpenProgram(const std::string& programPath, const std::string& listingPath, OpenCause cause);
  // Assembles the source at `path` (BuildSource, its messages on the console); when it
  // assembled, makes its folder the working folder, uses its folder's map when `cause` is Open
  // and `folderMap` is true (UseFolderMap), and opens it (OpenProgram). A source that does not
  // assemble changes nothing. Returns the build, whose files the caller may watch.
  // `texts` stand in for files whose editor holds unsaved text; `moves` are the lines that
  // editors saw added and removed since the program was last assembled, which breakpoints on
  // source lines follow on a reload.
  SourceBuild OpenSource(const std::string& path, OpenCause cause, bool folderMap = true,
                         const SourceTexts& texts = {}, const Session::LineMoves& moves = {});
  // The program loaded by OpenProgram, as it was given; empty before the first.
  const std::string& ProgramPath() const { return programPath_; }
  // Writes what the user changed in the program's breakpoints, watchpoints and watch
  // expressions since its session file was read or last written (SessionStore: nothing when
  // nothing changed, only into a regular file that was read whole, merged with another
  // window's changes). The debugger does so when another program is opened, after a reload and
  // when it is destroyed; the window after each change.
  void SaveProgramSession();
  // The memory map loaded last (its absolute path); empty when none was or the last failed.
  const std::string& MapPath() const { return mapPath_; }
  // A program opened from `programPath` runs in the map of its folder: loads that folder's
  // default.map (a found map) unless it is the map loaded now, and says on the console which
  // map is in use.
  void UseFolderMap(const std::string& programPath);
  // For Load LST file, which keeps the map: a console hint when the listing's folder has a
  // default.map other than the map in use.
  void HintFolderMap(const std::string& listingPath);

  // ---- Program files ----
  // Where a map to load comes from, which decides the modules it may load.
  enum class MapOrigin : uint8_t {
    Named,  // the user named it (a command line, Load memory map): every module loads
    Found,  // found for the user (a program's folder, the working folder at start-up): modules
            // from outside Tervik's module folder need the module trust (SetModuleTrust)
  };
  // Reads a memory map (regions and modules). False, with the views left alone, when the file
  // could not be read; the reason is on the console.
  bool LoadMap(const std::string& path, MapOrigin origin = MapOrigin::Named);
  // Who decides whether a found map may load modules from outside Tervik's module folder; must
  // outlive the debugger or be reset. Without one (the tools, the tests) every module loads.
  void SetModuleTrust(ModuleTrust* trust) { trust_ = trust; }
  // Reads a listing into memory and the comments. False when the file could not be read.
  bool LoadListing(const std::string& path, ListingExtent* extent = nullptr);
  // LoadListing, then the line table and the symbol file beside it (X.lines and X.sym for X.lst)
  // where they exist, with the console lines about them; with `moveBreakpoints` breakpoints follow
  // their labels. False when the listing could not be read (memory is cleared all the same).
  bool LoadProgram(const std::string& path, bool moveBreakpoints);
  // Reads a symbol file, as LoadProgram does for the one beside the listing.
  void LoadSymbolFile(const std::string& path, bool required, bool moveBreakpoints);
  // Zeroes every ROM and RAM word.
  void ClearMemory();
  // The region table on the console.
  void DisplayMap();

  // ---- Commands ----
  // The processor and its peripherals reset; every breakpoint's and watchpoint's hit count 0.
  // The history starts again: in the past, one console line says that the recorded
  // instructions after the one shown were dropped.
  void Reset();
  void Step();

  // The rule for the past: while the history shows it (History().InPast()), memory, registers
  // and pc cannot be edited, since the history cannot hold both versions of what follows.
  // Breakpoints, watchpoints and their conditions can. Every edit below checks this, so that
  // no front end needs its own copy of the rule.
  bool InPast() const;
  // True when the machine may be edited now; false in the past, with kPastEditRefused on the
  // console once. A front end asks before it asks the user for a value.
  bool MayEdit();

  // Moves pc. False, with nothing changed or told but the refusal, in the past.
  bool SetPC(uint32_t address);
  // A user's edit of a register: returns the value stored (SR keeps its four flag bits). The
  // register's marker is set only when its value changes; the listeners are told either way,
  // so every view shows the state the user confirmed. In the past the register keeps its
  // value, which is returned, and nothing is told but the refusal (test MayEdit first, or use
  // the overload below).
  uint32_t EditRegister(RegisterId id, uint32_t value);
  // As above; false when the edit was refused, with `stored` the register's unchanged value.
  bool EditRegister(RegisterId id, uint32_t value, uint32_t& stored);
  // A user's edit of a memory word (ROM included, a module's word through its WriteMem): marks
  // it as the last word written when it changes, and tells the listeners. False, with nothing
  // written or told, where no region serves the address, and in the past (with the refusal).
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

  // Restores the program's session file into the session, with the console line about it.
  void RestoreProgramSession();

  Session session_;
  PeripheralModuleLoader modules_;
  std::vector<DebugListener*> listeners_;
  debug::WatchList watches_;
  std::string programPath_;
  std::string mapPath_;
  ModuleTrust* trust_ = nullptr;
  SessionStore sessionFile_;
  bool opening_ = false;  // OpenProgram is under way: the session file is not written meanwhile
};

}  // namespace tervik::debug
