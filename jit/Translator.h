// The engines that can run a processor's batches: the interpreter (the core's own) and, on
// x86-64 hosts built with the code emitter, the translator, which turns the hot parts of the
// program into host code and hands everything rare back to the interpreter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "Processor.h"

namespace tervik::jit {

enum class EngineKind : uint8_t { Interpreter, Translator };

struct TranslatorOptions {
  // How often the engine must meet an address before it translates the code there: 0
  // translates at once (the tests do, to translate everything they run).
  uint32_t hotAfter = 2;
  // Code space; when it is full every translation is dropped and made again as needed.
  size_t codeBytes = size_t{16} << 20;
};

// Whether this build can translate: an x86-64 host with the code emitter.
bool TranslatorAvailable();
// The translating engine, or null where it is not available.
std::unique_ptr<BatchEngine> MakeTranslator(const TranslatorOptions& options = {});
// The translator where it is available, else the interpreter.
EngineKind DefaultEngine();
// Makes p's batches run on `kind` (the interpreter where the translator is not available, or
// cannot get its code space); returns the engine installed.
EngineKind InstallEngine(Processor& p, EngineKind kind, const TranslatorOptions& options = {});
// The engine p's batches run on now.
EngineKind InstalledEngine(const Processor& p);

// Cycles p's translator has run in translated code so far (0 on the interpreter).
uint64_t TranslatedCycles(const Processor& p);
// Blocks p's translator has translated so far (0 on the interpreter); a block made again after
// its words or the stops it depends on changed counts again.
uint64_t Translations(const Processor& p);

// "interpreter" and "translator", as the command line spells them.
std::string_view EngineName(EngineKind kind);
std::optional<EngineKind> ParseEngine(std::string_view name);

}  // namespace tervik::jit
