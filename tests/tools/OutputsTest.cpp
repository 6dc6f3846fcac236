// Every output of the tools against every kind of file it may name: a file is replaced whole
// (through a link, its target), a device and a FIFO are written as streams, a folder and the
// tool's own inputs are refused with 64 and left as they were; every path holds the byte FF.
// The window's Export ROM takes the same targets in tests/ui/ClipboardTest.cpp.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "OutputTargets.h"
#include "SetupTestSupport.h"
#include "ToolsTestSupport.h"

namespace tervik::test {
namespace {

namespace fs = std::filesystem;

const std::string kExampleMap = std::string(TERVIK_SOURCE_DIR) + "/examples/default.map";
// The inputs of the table, named with the byte FF, which is not UTF-8: paths are bytes.
const char* const kSource = "p\xff.asm";
const char* const kListing = "hello\xff.lst";  // the example that prints "Hello, world"

// One output of one tool: its command line for the output `out`, with the inputs in `dir`, and
// the input it must not replace.
struct Writer {
  const char* name;
  const char* program;
  std::function<std::vector<std::string>(const fs::path& dir, const std::string& out)> args;
  const char* input;    // in `dir`
  const char* written;  // what the output starts with
  // A file the tool also writes beside an output that is a file (the listing's line table):
  // it is checked for and taken away before the folder is compared.
  const char* beside = nullptr;
};

TEST(Outputs, EveryToolWritesEveryKindOfTargetSafely) {
  const Writer writers[] = {
      {"tervik-as -o", TERVIK_ASSEMBLER,
       [](const fs::path& dir, const std::string& out) {
         return std::vector<std::string>{(dir / kSource).string(), "-o", out, "--sym",
                                         (dir / "p\xff.sym").string()};
       },
       kSource, "00000 11101100001000000000000000000101", ".lines"},
      {"tervik-as --sym", TERVIK_ASSEMBLER,
       [](const fs::path& dir, const std::string& out) {
         return std::vector<std::string>{(dir / kSource).string(), "-o",
                                         (dir / "p\xff.lst").string(), "--sym", out};
       },
       kSource, "; Tervik symbols"},
      {"tervik-rom -o", TERVIK_ROM,
       [](const fs::path& dir, const std::string& out) {
         return std::vector<std::string>{"--lst", (dir / kListing).string(), "-f", "readmemh", "-o",
                                         out};
       },
       kListing, "// Tervik ROM image"},
      {"tervik-run --junit", TERVIK_RUNNER,
       [](const fs::path& dir, const std::string& out) {
         return std::vector<std::string>{"--map",   kExampleMap, "--lst", (dir / kListing).string(),
                                         "--quiet", "--junit",   out};
       },
       kListing, "<?xml"},
      {"tervik-run --output", TERVIK_RUNNER,
       [](const fs::path& dir, const std::string& out) {
         return std::vector<std::string>{"--map",   kExampleMap, "--lst", (dir / kListing).string(),
                                         "--quiet", "--output",  out};
       },
       kListing, "Hello, world\n"},
  };
  for (const Writer& writer : writers) {
    for (const OutputTarget target : kAllOutputTargets) {
      SCOPED_TRACE(std::string(writer.name) + " into " + std::string(Name(target)));
      TempDir dir;
      dir.Write(kSource, "start: MOVEL R1,5\n  JUMPI start\n");
      fs::copy_file(std::string(TERVIK_EXAMPLE_LISTING_DIR) + "/hello.lst", dir.path() / kListing);
      PreparedOutput output(target, dir.path() / "target\xff",
                            (dir.path() / writer.input).string());
      if (!output.skip().empty()) {
        std::printf("skipped %s into %s: %s\n", writer.name, std::string(Name(target)).c_str(),
                    output.skip().c_str());
        continue;
      }
      const ProgramRun run = RunProgram(writer.program, writer.args(dir.path(), output.path()),
                                        {.stdoutPath = "", .timeoutSeconds = 30});
      if (output.MustBeWritten()) {
        EXPECT_EQ(run.exitCode, 0) << run.err;
      } else {
        EXPECT_EQ(run.exitCode, 64) << run.err;
        EXPECT_NE(run.err.find(output.Refusal()), std::string::npos) << run.err;
      }
      if (writer.beside != nullptr) {
        const fs::path beside = fs::path(output.path()).replace_extension(writer.beside);
        std::error_code ec;
        if (run.exitCode == 0 && fs::is_regular_file(fs::symlink_status(output.path(), ec))) {
          EXPECT_TRUE(fs::exists(beside)) << beside;
        }
        fs::remove(beside, ec);
      }
      EXPECT_EQ(output.Check(writer.written), "");
    }
  }
}

// A symbol file names the listing it belongs to: after a label moved, --no-sym and --sym OTHER
// remove the older X.sym beside the listing, and one put back by hand is reported and not used,
// so --until and --start cannot go to the label's old address.
TEST(Outputs, StaleSymbolFilesAreRemovedOrRefused) {
  TempDir dir;
  const auto path = [&dir](const char* name) { return (dir.path() / name).string(); };
  const std::string before = "start: NOP\n  NOP\ntarget: JUMPI target\n";
  const std::string after = "start: NOP\ntarget: JUMPI target\n";
  const auto assemble = [&](const std::string& source, std::vector<std::string> options) {
    dir.Write("p.asm", source);
    options.insert(options.begin(), path("p.asm"));
    const ProgramRun run = RunProgram(TERVIK_ASSEMBLER, options);
    EXPECT_EQ(run.exitCode, 0) << run.err;
  };
  const auto run = [&] {
    return RunProgram(TERVIK_RUNNER, {"--map", kExampleMap, "--lst", path("p.lst"), "--until",
                                      "target", "--steps", "1000"});
  };
  const auto rom = [&] {
    return RunProgram(TERVIK_ROM, {"--lst", path("p.lst"), "-f", "readmemh", "-o", "-", "--start",
                                   "target", "--count", "1"});
  };
  assemble(before, {});
  std::string stale;
  ASSERT_TRUE(ReadFile(path("p.sym"), stale));
  EXPECT_NE(stale.find("\n; listing "), std::string::npos) << stale;
  EXPECT_EQ(run().exitCode, 0);

  struct Case {
    const char* name;
    std::vector<std::string> options;
    bool staleRemoved;
  } const cases[] = {
      {"--no-sym", {"--no-sym"}, true},
      {"--sym other.sym", {"--sym", path("other.sym")}, true},
      {"--sym through a link to p.sym", {"--sym", path("link.sym")}, false},
  };
  std::filesystem::create_symlink("p.sym", dir.path() / "link.sym");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dir.Write("p.sym", stale);
    assemble(after, c.options);
    std::string now;
    EXPECT_EQ(!ReadFile(path("p.sym"), now), c.staleRemoved);
    if (!c.staleRemoved) {
      EXPECT_NE(now, stale);  // written anew, through the link
    }
    // Put back by hand, it is reported and not used.
    dir.Write("p.sym", stale);
    const ProgramRun runner = run();
    EXPECT_EQ(runner.exitCode, 64) << runner.err;
    EXPECT_NE(runner.err.find("tervik-run: warning: the symbol file '" + path("p.sym") +
                              "' belongs to another listing than '" + path("p.lst") + "'"),
              std::string::npos)
        << runner.err;
    EXPECT_NE(runner.err.find("undefined symbol 'target'"), std::string::npos) << runner.err;
    const ProgramRun image = rom();
    EXPECT_EQ(image.exitCode, 64) << image.err;
    EXPECT_NE(image.err.find("tervik-rom: warning: the symbol file"), std::string::npos)
        << image.err;
    EXPECT_EQ(image.out, "");
  }
  // A source that is itself named X.sym stays.
  dir.Write("q.sym", after);
  EXPECT_EQ(RunProgram(TERVIK_ASSEMBLER, {path("q.sym"), "-o", path("q.lst"), "--no-sym"}).exitCode,
            0);
  EXPECT_TRUE(std::filesystem::exists(path("q.sym")));
  // A symbol file without the listing line, as older assemblers wrote it, is still used.
  dir.Write("p.sym", "00000001 L target\n");
  EXPECT_EQ(run().exitCode, 0);
  EXPECT_EQ(rom().out, "// Tervik ROM image: 1 word from address 00000001\nBC000000\n");
}

}  // namespace
}  // namespace tervik::test
