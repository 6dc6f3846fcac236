// LoadPeripheralModule and the DLL lines of a map through a fake library loader: search order,
// lookup order, Initialize, bounds on names and parameter texts.
#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "Listing.h"
#include "MemoryMap.h"
#include "SetupTestSupport.h"

namespace tervik {
namespace {

using test::RecordingConsole;
using test::TempDir;

// What the fake module's entry points saw. Plain functions cannot capture, so the fake module
// keeps its record here, as a real module keeps its state in its own globals.
struct FakeModuleRecord {
  std::vector<std::string> initParams;
  std::vector<TervikMessageCallback> initCallbacks;
  std::vector<std::pair<uint32_t, uint32_t>> writes;
  size_t clocks = 0;
};
FakeModuleRecord record;

int32_t FakeInitialize(TervikMessageCallback message, const char* param) {
  record.initParams.emplace_back(param);
  record.initCallbacks.push_back(message);
  return 0;
}
void FakeAbout(char* text) {
  std::snprintf(text, 16, "fake");
}
void FakeWriteMem(uint32_t offset, uint32_t value) {
  record.writes.emplace_back(offset, value);
}
void FakeCPUWriteMem(uint32_t, uint32_t) {}
uint32_t FakeReadMem(uint32_t offset) {
  return 0xF0000000u | offset;
}
void FakeVoid() {}
void FakeClock() {
  ++record.clocks;
}
uint32_t FakeClockSteps(uint32_t steps) {
  record.clocks += steps;
  return TERVIK_PLUGIN_CLOCK_IDLE;
}

// Opens every path it is asked for, unless the path's file name is listed as failing, and
// records the paths and the symbol names looked up.
class FakeLoader : public platform::DynamicLibraryLoader {
 public:
  class Library : public platform::DynamicLibrary {
   public:
    Library(FakeLoader& loader, bool withClock, bool withClockSteps)
        : loader_(loader), withClock_(withClock), withClockSteps_(withClockSteps) {}
    platform::SymbolAddress Symbol(const char* name) override {
      loader_.lookups.emplace_back(name);
      const std::string n(name);
      if (n == "Initialize") return reinterpret_cast<platform::SymbolAddress>(&FakeInitialize);
      if (n == "About") return reinterpret_cast<platform::SymbolAddress>(&FakeAbout);
      if (n == "WriteMem") return reinterpret_cast<platform::SymbolAddress>(&FakeWriteMem);
      if (n == "CPUWriteMem") return reinterpret_cast<platform::SymbolAddress>(&FakeCPUWriteMem);
      if (n == "ReadMem") return reinterpret_cast<platform::SymbolAddress>(&FakeReadMem);
      if (n == "Reset") return &FakeVoid;
      if (n == "Clock" && withClock_) return &FakeClock;
      if (n == "ClockSteps" && withClockSteps_) {
        return reinterpret_cast<platform::SymbolAddress>(&FakeClockSteps);
      }
      return nullptr;
    }

   private:
    FakeLoader& loader_;
    bool withClock_;
    bool withClockSteps_;
  };

  Result Load(const std::string& path) override {
    loads.push_back(path);
    Result result;
    const std::string file = std::filesystem::path(path).filename().string();
    if (file == "fails.so") {
      result.error = "fails.so: invalid ELF header";
    } else {
      result.library = std::make_unique<Library>(*this, file != "noclock.so", file == "catchup.so");
    }
    return result;
  }

  std::vector<std::string> loads;
  std::vector<std::string> lookups;
};

class ModuleLoaderTest : public ::testing::Test {
 protected:
  void SetUp() override { record = {}; }

  TempDir mapDir;
  TempDir bundledDir;
  FakeLoader fake;
  PeripheralModuleLoader modules{fake, bundledDir.path()};
  RecordingConsole console;
};

TEST_F(ModuleLoaderTest, LooksUpTheSevenExportsInOrderAndInitializesWithConsolePuts) {
  const auto entry = modules.LoadPeripheralModule("absent.so", "9600 baud", {}, console);
  ASSERT_TRUE(entry.has_value());
  EXPECT_EQ(fake.loads, std::vector<std::string>{"absent.so"});  // the system loader's rules
  // The optional ones are looked up last: a module without ClockSteps is clocked every step,
  // one without PanelDescribe has no panel.
  EXPECT_EQ(fake.lookups, (std::vector<std::string>{
                              "Initialize", "About", "CPUWriteMem", "WriteMem", "ReadMem", "Reset",
                              "Clock", "ClockSteps", "PanelDescribe", "PanelInput", "PanelPeek"}));
  EXPECT_EQ(entry->ClockSteps, nullptr);
  EXPECT_EQ(entry->PanelDescribe, nullptr);
  EXPECT_EQ(record.initParams, std::vector<std::string>{"9600 baud"});
  ASSERT_EQ(record.initCallbacks.size(), 1u);
  EXPECT_EQ(record.initCallbacks[0], &ConsolePuts);
  EXPECT_EQ(entry->ReadMem(5), 0xF0000005u);
  EXPECT_TRUE(console.lines.empty());
}

TEST_F(ModuleLoaderTest, TakesTheOptionalClockStepsWhenTheModuleExportsIt) {
  const auto entry = modules.LoadPeripheralModule("catchup.so", "", {}, console);
  ASSERT_TRUE(entry.has_value());
  ASSERT_NE(entry->ClockSteps, nullptr);
  EXPECT_EQ(entry->ClockSteps(5), TERVIK_PLUGIN_CLOCK_IDLE);
  EXPECT_EQ(record.clocks, 5u);
  EXPECT_TRUE(console.lines.empty());
}

TEST_F(ModuleLoaderTest, SearchesMapFolderThenWorkingDirectoryThenBundledFolder) {
  const std::filesystem::path cwd = std::filesystem::current_path();
  EXPECT_EQ(modules.Candidates("m.so", mapDir.path()),
            (std::vector<std::filesystem::path>{mapDir.path() / "m.so", cwd / "m.so",
                                                bundledDir.path() / "m.so"}));
  EXPECT_EQ(modules.Candidates("/abs/m.so", mapDir.path()),
            std::vector<std::filesystem::path>{"/abs/m.so"});

  bundledDir.Write("m.so", "");
  ASSERT_TRUE(modules.LoadPeripheralModule("m.so", "", mapDir.path(), console));
  mapDir.Write("m.so", "");
  ASSERT_TRUE(modules.LoadPeripheralModule("m.so", "", mapDir.path(), console));
  EXPECT_EQ(fake.loads, (std::vector<std::string>{(bundledDir.path() / "m.so").string(),
                                                  (mapDir.path() / "m.so").string()}));
}

TEST_F(ModuleLoaderTest, FailuresAreReportedAndGiveNoEntryPoints) {
  EXPECT_FALSE(modules.LoadPeripheralModule("fails.so", "", {}, console));
  EXPECT_FALSE(modules.LoadPeripheralModule("noclock.so", "", {}, console));
  EXPECT_EQ(console.lines,
            (std::vector<std::string>{"Failed to load DLL fails.so", "fails.so: invalid ELF header",
                                      "Failed to locate the function"}));
  EXPECT_TRUE(record.initParams.empty());
}

TEST_F(ModuleLoaderTest, NamesAndParametersOver255CharactersAreRejectedBeforeLoading) {
  const std::string name255(255, 'n');
  const std::string param255(255, 'p');
  EXPECT_TRUE(modules.LoadPeripheralModule(name255, param255, {}, console));
  EXPECT_FALSE(modules.LoadPeripheralModule(name255 + "n", "", {}, console));
  EXPECT_FALSE(modules.LoadPeripheralModule("m.so", param255 + "p", {}, console));
  EXPECT_EQ(fake.loads.size(), 1u);
  EXPECT_EQ(record.initParams, std::vector<std::string>{param255});
  ASSERT_EQ(console.lines.size(), 2u);
  EXPECT_EQ(console.lines[0], "DLL name longer than 255 characters: '" + name255 + "n'");
  EXPECT_EQ(console.lines[1], "DLL parameter text longer than 255 characters: '" + param255 + "p'");
}

// DLL lines: the module name and parameter text as the two patterns cut them.
struct DllLineCase {
  const char* name;
  std::string line;
  std::vector<std::string> console;  // between the first line and the region table
  std::vector<std::string> params;   // what Initialize received
};
void PrintTo(const DllLineCase& c, std::ostream* os) {
  *os << c.name;
}

class DllLineTest : public ModuleLoaderTest, public ::testing::WithParamInterface<DllLineCase> {};

TEST_P(DllLineTest, PassesNameAndParameterText) {
  const DllLineCase& c = GetParam();
  const std::string path = mapDir.Write("test.map", c.line);
  Processor processor;
  LoadMemoryMap(path, processor, modules, console);
  ASSERT_GE(console.lines.size(), 3u);
  const std::vector<std::string> middle(console.lines.begin() + 1,
                                        console.lines.end() - 2 - processor.Regions().size());
  EXPECT_EQ(middle, c.console);
  EXPECT_EQ(record.initParams, c.params);
  EXPECT_EQ(processor.Regions().size(), c.params.size());
  // Every region is clocked once per step, also the regions of one module on several lines.
  processor.Step();
  processor.RunBatch(3);
  EXPECT_EQ(record.clocks, 4 * c.params.size());
}

std::string BadName() {
  return "Line 1 is not a region line and is skipped: the module file name must begin with a "
         "letter, a digit, '_', '/' or './' and have two characters at least";
}

INSTANTIATE_TEST_SUITE_P(
    Lines, DllLineTest,
    ::testing::Values(
        DllLineCase{"NameOnly", "0x0 0x1 DLL ab\n", {"Adding DLL 'ab'"}, {""}},
        DllLineCase{"OneTrailingBlank", "0x0 0x1 DLL ab \n", {"Adding DLL 'ab'"}, {""}},
        DllLineCase{"TwoTrailingBlanks",
                    "0x0 0x1 DLL ab  \n",
                    {"Adding DLL 'ab'", "DLL param: ' '"},
                    {" "}},
        DllLineCase{"ParameterTrimmed",
                    "0x0 0x1 DLL ab \t 9600  8N1 \t\r\n",
                    {"Adding DLL 'ab'", "DLL param: '9600  8N1'"},
                    {"9600  8N1"}},
        DllLineCase{"OneModuleOnTwoLines",
                    "0x0 0x1 DLL ab\n0x8 0x2 DLL ab second\n",
                    {"Adding DLL 'ab'", "Adding DLL 'ab'", "DLL param: 'second'"},
                    {"", "second"}},
        DllLineCase{"OneCharacterNameIsSkipped", "0x0 0x1 DLL a\n", {BadName()}, {}},
        DllLineCase{"NameStartingWithBackslashIsSkipped", "0x0 0x1 DLL \\ab\n", {BadName()}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ModuleLoaderTest, ClearMemoryWritesThroughAnOverlappingModuleRegion) {
  Processor processor;
  const auto entry = modules.LoadPeripheralModule("m.so", "", {}, console);
  ASSERT_TRUE(entry);
  processor.AddRegion(0, 2, RegionType::DLL, *entry);
  processor.AddRegion(0, 4, RegionType::RAM);
  processor.AddRegion(8, 2, RegionType::DLL, *entry);

  ClearMemory(processor);

  EXPECT_EQ(record.writes, (std::vector<std::pair<uint32_t, uint32_t>>{{0, 0}, {1, 0}}));
}

}  // namespace
}  // namespace tervik
