// Choosing and installing a processor's batch engine.
#include <exception>
#include <memory>

#include "Translator.h"

namespace tervik::jit {

#ifdef TERVIK_HAVE_TRANSLATOR
// In Translator.cpp.
std::unique_ptr<BatchEngine> NewTranslator(const TranslatorOptions& options);
bool IsTranslator(const BatchEngine* engine);
#endif

bool TranslatorAvailable() {
#ifdef TERVIK_HAVE_TRANSLATOR
  return true;
#else
  return false;
#endif
}

std::unique_ptr<BatchEngine> MakeTranslator(const TranslatorOptions& options) {
#ifdef TERVIK_HAVE_TRANSLATOR
  return NewTranslator(options);
#else
  (void)options;
  return nullptr;
#endif
}

EngineKind DefaultEngine() {
  return TranslatorAvailable() ? EngineKind::Translator : EngineKind::Interpreter;
}

EngineKind InstallEngine(Processor& p, EngineKind kind, const TranslatorOptions& options) {
  std::unique_ptr<BatchEngine> engine;
  if (kind == EngineKind::Translator) {
    try {
      engine = MakeTranslator(options);
    } catch (const std::exception&) {
      engine = nullptr;  // no code space: the interpreter runs
    }
  }
  const EngineKind installed = engine != nullptr ? EngineKind::Translator : EngineKind::Interpreter;
  p.SetBatchEngine(std::move(engine));
  return installed;
}

EngineKind InstalledEngine(const Processor& p) {
#ifdef TERVIK_HAVE_TRANSLATOR
  if (IsTranslator(p.GetBatchEngine())) return EngineKind::Translator;
#else
  (void)p;
#endif
  return EngineKind::Interpreter;
}

#ifndef TERVIK_HAVE_TRANSLATOR
uint64_t TranslatedCycles(const Processor&) {
  return 0;
}
#endif

std::string_view EngineName(EngineKind kind) {
  return kind == EngineKind::Translator ? "translator" : "interpreter";
}

std::optional<EngineKind> ParseEngine(std::string_view name) {
  if (name == "interpreter") return EngineKind::Interpreter;
  if (name == "translator") return EngineKind::Translator;
  return std::nullopt;
}

}  // namespace tervik::jit
