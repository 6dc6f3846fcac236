// The debugger's loads, commands and notifications.
#include "Debugger.h"

#include <algorithm>
#include <system_error>

#include "Inspection.h"
#include "MemoryMap.h"
#include "ProgramFiles.h"
#include "Reverse.h"

namespace tervik::debug {

Debugger::Debugger(platform::DynamicLibraryLoader& libraries, std::filesystem::path bundledFolder)
    : modules_(libraries, std::move(bundledFolder)) {}

void Debugger::AddListener(DebugListener& listener) {
  listeners_.push_back(&listener);
}

void Debugger::RemoveListener(DebugListener& listener) {
  listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), &listener), listeners_.end());
}

void Debugger::AppendLine(std::string_view line) {
  Tell([&](DebugListener& l) { l.ConsoleLine(line); });
}

void Debugger::Message(std::string_view line) {
  AppendLine(line);
}

void Debugger::NotifyMachine() {
  Tell([](DebugListener& l) { l.MachineChanged(); });
}

void Debugger::NotifyBreakpoints() {
  SaveProgramSession();
  Tell([](DebugListener& l) { l.BreakpointsChanged(); });
}

// ---- Program files ----

bool Debugger::LoadMap(const std::string& path, MapOrigin origin) {
  mapPath_.clear();
  ModuleTrust* trust = origin == MapOrigin::Found ? trust_ : nullptr;
  if (!tervik::LoadMemoryMap(path, session_.Cpu(), modules_, *this, trust)) return false;
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  mapPath_ = (ec ? std::filesystem::path(path) : absolute).lexically_normal().string();
  Tell([](DebugListener& l) { l.RegionsChanged(); });
  NotifyMachine();
  return true;
}

bool Debugger::LoadListing(const std::string& path, ListingExtent* extent) {
  // The listing's fingerprint tells the symbol files that belong to it from older ones.
  ListingExtent placed;
  const bool read = tervik::LoadListing(path, session_.Cpu(), session_.Listing(), *this, &placed);
  session_.SetListingFingerprint(read ? std::optional(placed.fingerprint) : std::nullopt);
  if (extent != nullptr) *extent = placed;
  return read;
}

void Debugger::LoadSymbolFile(const std::string& path, bool required, bool moveBreakpoints) {
  for (const std::string& line : LoadSymbols(session_, path, required, moveBreakpoints)) {
    Message(line);
  }
  Tell([](DebugListener& l) { l.SymbolsChanged(); });
  if (moveBreakpoints) NotifyBreakpoints();
}

bool Debugger::LoadProgram(const std::string& path, bool moveBreakpoints) {
  const bool loaded = LoadListing(path);
  for (const std::string& line : LoadLines(session_, LinesPathFor(path), moveBreakpoints)) {
    Message(line);
  }
  LoadSymbolFile(SymbolPathFor(path), false, moveBreakpoints);
  NotifyMachine();
  return loaded;
}

void Debugger::ClearMemory() {
  tervik::ClearMemory(session_.Cpu());
  NotifyMachine();
}

void Debugger::DisplayMap() {
  DisplayMemoryMap(session_.Cpu(), *this);
}

// ---- Commands ----

void Debugger::Reset() {
  const history::Recorder& history = session_.History();
  // The reset starts a new history; in the past that drops the recorded future unseen.
  const bool dropsFuture = history.InPast();
  const uint64_t now = history.Now();
  session_.Cpu().Reset();
  session_.ResetHits();
  if (dropsFuture) {
    Message("Reset: the history after instruction " + GroupThousands(now) +
            " was dropped; recording starts again");
  }
  Tell([](DebugListener& l) { l.ProcessorReset(); });
  Tell([](DebugListener& l) { l.BreakpointsChanged(); });
  NotifyMachine();
}

void Debugger::Step() {
  session_.Cpu().Step();
  NotifyMachine();
}

bool Debugger::InPast() const {
  return session_.History().InPast();
}

bool Debugger::MayEdit() {
  if (!InPast()) return true;
  Message(kPastEditRefused);
  return false;
}

bool Debugger::SetPC(uint32_t address) {
  if (!MayEdit()) return false;
  session_.Cpu().SetPC(address);
  NotifyMachine();
  return true;
}

uint32_t Debugger::EditRegister(RegisterId id, uint32_t value) {
  uint32_t stored = 0;
  EditRegister(id, value, stored);
  return stored;
}

bool Debugger::EditRegister(RegisterId id, uint32_t value, uint32_t& stored) {
  if (!MayEdit()) {
    stored = ReadRegister(session_.Cpu(), id);
    return false;
  }
  stored = Edit(session_.Cpu(), id, value);
  NotifyMachine();
  return true;
}

bool Debugger::EditWord(uint32_t address, uint32_t value) {
  if (!MayEdit()) return false;
  if (!tervik::EditWord(session_.Cpu(), address, value)) return false;
  NotifyMachine();
  return true;
}

void Debugger::ToggleBreakpoint(uint32_t address) {
  session_.ToggleBreakpoint(address);
  NotifyBreakpoints();
}

}  // namespace tervik::debug
