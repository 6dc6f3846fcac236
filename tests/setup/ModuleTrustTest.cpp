// Which modules a map may load: modules that come with Tervik always, others only when the
// module trust allows them, asked once per map before any module's code runs. The module used
// marks its file the moment it is loaded, so a module left out is seen never to have run.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "MemoryMap.h"
#include "SetupTestSupport.h"

namespace tervik {
namespace {

namespace fs = std::filesystem;

class RecordingTrust final : public ModuleTrust {
 public:
  explicit RecordingTrust(bool answer) : answer_(answer) {}
  bool MayLoad(const fs::path& folder, const std::vector<fs::path>& libraries) override {
    asked.emplace_back(folder, libraries);
    return answer_;
  }
  std::vector<std::pair<fs::path, std::vector<fs::path>>> asked;

 private:
  bool answer_;
};

enum class Place { MapFolder, DotSlash, Absolute, Own };
enum class Answer { NoTrust, No, Yes };

struct TrustCase {
  const char* name;
  Place place;
  Answer answer;
  bool loads;
  bool asks;
};
void PrintTo(const TrustCase& c, std::ostream* os) {
  *os << c.name;
}

class ModuleTrustTest : public ::testing::TestWithParam<TrustCase> {};

TEST_P(ModuleTrustTest, LoadsForeignModulesOnlyWhenTrusted) {
  const TrustCase& c = GetParam();
  test::TempDir dir;
  const fs::path project = dir.path() / "project";
  const fs::path own = dir.path() / "own";
  const fs::path elsewhere = dir.path() / "elsewhere";
  for (const fs::path& folder : {project, own, elsewhere}) fs::create_directory(folder);
  const fs::path folder = c.place == Place::Own        ? own
                          : c.place == Place::Absolute ? elsewhere
                                                       : project;
  const fs::path module = folder / "libmarked.so";
  fs::copy_file(fs::path(TERVIK_TEST_MODULE_DIR) / "libtervik_test_marker.so", module);
  const std::string name = c.place == Place::Absolute   ? module.string()
                           : c.place == Place::DotSlash ? "./libmarked.so"
                                                        : "libmarked.so";
  const std::string map = (project / "default.map").string();
  {
    std::FILE* file = std::fopen(map.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fprintf(file, "0x0 0x10 ROM\n0x1000 0x10 RAM\n0x8000 0x8 DLL %s marked\n", name.c_str());
    std::fclose(file);
  }

  platform::PosixLibraryLoader libraries;
  PeripheralModuleLoader modules(libraries, own);
  Processor processor;
  test::RecordingConsole console;
  RecordingTrust trust(c.answer == Answer::Yes);
  ASSERT_TRUE(LoadMemoryMap(map, processor, modules, console,
                            c.answer == Answer::NoTrust ? nullptr : &trust));

  EXPECT_EQ(fs::exists(module.string() + ".loaded"), c.loads) << console.Text();
  EXPECT_EQ(processor.Regions().size(), c.loads ? 3u : 2u) << console.Text();
  ASSERT_EQ(trust.asked.size(), c.asks ? 1u : 0u);
  if (c.asks) {
    EXPECT_EQ(trust.asked[0].first, project);
    EXPECT_EQ(trust.asked[0].second, std::vector<fs::path>{module});
  }
  const std::string leftOut = "Left out DLL '" + name + "': " + module.string() +
                              " is not one of Tervik's modules and its folder is not trusted";
  EXPECT_EQ(console.Text().find(leftOut) != std::string::npos, !c.loads) << console.Text();
}

INSTANTIATE_TEST_SUITE_P(
    Places, ModuleTrustTest,
    ::testing::Values(
        TrustCase{"MapFolderRefused", Place::MapFolder, Answer::No, false, true},
        TrustCase{"MapFolderTrusted", Place::MapFolder, Answer::Yes, true, true},
        TrustCase{"MapFolderWithoutTrustCheck", Place::MapFolder, Answer::NoTrust, true, false},
        TrustCase{"DotSlashRefused", Place::DotSlash, Answer::No, false, true},
        TrustCase{"DotSlashWithoutTrustCheck", Place::DotSlash, Answer::NoTrust, true, false},
        TrustCase{"AbsoluteRefused", Place::Absolute, Answer::No, false, true},
        TrustCase{"AbsoluteTrusted", Place::Absolute, Answer::Yes, true, true},
        TrustCase{"AbsoluteWithoutTrustCheck", Place::Absolute, Answer::NoTrust, true, false},
        TrustCase{"OwnModuleNeedsNoQuestion", Place::Own, Answer::No, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tervik
