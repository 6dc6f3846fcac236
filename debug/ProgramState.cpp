// The debugger's one rule for a program's state: what opening, reloading and leaving a program
// keep, the session file kept beside each program, and the map a program runs in.
#include <filesystem>
#include <system_error>

#include "Debugger.h"
#include "SessionFile.h"

namespace tervik::debug {

namespace {

namespace fs = std::filesystem;

fs::path Normal(const std::string& path) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(path, ec);
  return (ec ? fs::path(path) : absolute).lexically_normal();
}

// stack.asm, stack.lst and stack.session name one program.
bool SameProgram(const std::string& a, const std::string& b) {
  return Normal(a).replace_extension() == Normal(b).replace_extension();
}

bool SameFile(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  std::error_code ec;
  const bool same = fs::equivalent(a, b, ec);
  return ec ? Normal(a) == Normal(b) : same;
}

std::string FileName(const std::string& path) {
  return fs::path(path).filename().string();
}

// Why a reload happened, as the console line says it.
const char* ReloadWhy(OpenCause cause) {
  switch (cause) {
    case OpenCause::Changed: return " (changed on disk)";
    case OpenCause::Reload: return " (Reload previous LST file)";
    case OpenCause::Open: return " (opened again)";
    case OpenCause::Assembled: return " (assembled)";
    case OpenCause::Listing: break;
  }
  return "";
}

// The default.map of the folder `file` lies in; empty when it has none.
std::string FolderMap(const std::string& file) {
  const fs::path map = Normal(file).parent_path() / "default.map";
  std::error_code ec;
  return fs::is_regular_file(map, ec) ? map.string() : std::string();
}

// Clears every change marker: a program started afresh has changed nothing yet.
void ClearMarkers(Processor& cpu) {
  cpu.pcChanged = cpu.srChanged = cpu.imChanged = cpu.spChanged = false;
  cpu.cChanged = cpu.oChanged = cpu.nChanged = cpu.zChanged = false;
  cpu.regChanged.fill(false);
  cpu.lfsrChanged = false;
  cpu.memWritten = false;
}

}  // namespace

Debugger::~Debugger() {
  // Listeners may be gone already: a failure to save is told to no one.
  listeners_.clear();
  try {
    SaveProgramSession();
  } catch (...) {
    // Nothing can be told any more; the program ends without its session saved.
  }
}

void Debugger::OpenProgram(const std::string& programPath, const std::string& listingPath,
                           OpenCause cause) {
  const bool same = !programPath_.empty() && SameProgram(programPath_, programPath);
  const bool reload = same && cause != OpenCause::Listing;
  opening_ = true;
  if (!same) {
    SaveProgramSession();
    session_.ClearBreakpoints();
    session_.ClearWatchpoints();
    watches_.Clear();
  }
  programPath_ = programPath;
  // A listing that cannot be read is said on the console, with memory cleared, as always: no
  // fresh start is announced for it.
  if (LoadProgram(listingPath, reload) && reload) {
    session_.Cpu().Reset();
    ClearMarkers(session_.Cpu());
    session_.ResetHits();
    Tell([](DebugListener& l) { l.ProcessorReset(); });
    Message("Reloaded " + FileName(programPath) + ReloadWhy(cause) + ": processor reset");
  }
  if (!same) RestoreProgramSession();
  // The recorded past belongs to the memory that was there before: reverse commands must not
  // bring it back into this program.
  session_.History().Clear();
  opening_ = false;
  if (reload) SaveProgramSession();  // breakpoints may have followed their labels
  Tell([](DebugListener& l) { l.BreakpointsChanged(); });
  NotifyMachine();
}

SourceBuild Debugger::OpenSource(const std::string& path, OpenCause cause, bool folderMap,
                                 const SourceTexts& texts, const Session::LineMoves& moves) {
  const std::string absolute = Normal(path).string();
  SourceBuild build = BuildSource(absolute, texts);
  for (const std::string& line : build.messages) Message(line);
  if (!build.ok) return build;
  std::error_code ec;
  fs::current_path(fs::path(absolute).parent_path(), ec);
  if (cause == OpenCause::Open && folderMap) UseFolderMap(absolute);
  session_.SetLineMoves(moves);
  OpenProgram(absolute, build.listingPath, cause);
  session_.SetLineMoves({});  // used by the reload, or not at all
  return build;
}

void Debugger::RestoreProgramSession() {
  const std::string path = SessionPathFor(programPath_);
  sessionFile_.Restore(path, ShownPath(path), session_, watches_, Console());
}

void Debugger::SaveProgramSession() {
  if (programPath_.empty() || opening_) return;
  sessionFile_.Save(session_, watches_, Console());
}

void Debugger::UseFolderMap(const std::string& programPath) {
  const std::string map = FolderMap(programPath);
  if (!map.empty() && !SameFile(map, mapPath_)) LoadMap(ShownPath(map), MapOrigin::Found);
  if (!map.empty() && SameFile(map, mapPath_)) {
    Message("Using the memory map " + ShownPath(map) + " of the program's folder");
  } else if (!mapPath_.empty()) {
    Message("Using the memory map " + ShownPath(mapPath_) + ": the program's folder has no " +
            (map.empty() ? "default.map" : "readable default.map"));
  } else {
    Message("No memory map in use: the program's folder has no " +
            std::string(map.empty() ? "default.map" : "readable default.map"));
  }
}

void Debugger::HintFolderMap(const std::string& listingPath) {
  const std::string map = FolderMap(listingPath);
  if (map.empty() || SameFile(map, mapPath_)) return;
  Message("The listing's folder has its own " + ShownPath(map) + "; the memory map in use is " +
          (mapPath_.empty() ? std::string("none") : ShownPath(mapPath_)) +
          " (Load memory map to change it)");
}

}  // namespace tervik::debug
