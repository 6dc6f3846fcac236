// An expression's view of a processor.
#include "ProcessorContext.h"

#include "Inspection.h"
#include "Processor.h"

namespace tervik::debug {

// The expression language names the flags by their bits in SR; they are the processor's.
static_assert(1u << kSrBitN == Processor::kFlagN && 1u << kSrBitZ == Processor::kFlagZ &&
              1u << kSrBitC == Processor::kFlagC && 1u << kSrBitO == Processor::kFlagO);

std::optional<uint32_t> ProcessorContext::Register(RegisterId id) {
  if (static_cast<unsigned>(id) > static_cast<unsigned>(RegisterId::LFSR)) return std::nullopt;
  return ReadRegister(cpu_, id);
}

std::optional<uint32_t> ProcessorContext::ReadWord(uint32_t address) {
  return cpu_.ReadMem(address);
}

std::optional<int64_t> ProcessorContext::Symbol(std::string_view name) {
  return symbols_ ? symbols_(name) : std::nullopt;
}

}  // namespace tervik::debug
