// The window's command line (a table of arguments and what they start) and the first-start
// workspace.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <optional>
#include <ostream>
#include <string>

#include "CommandLine.h"
#include "Workspace.h"

namespace tervik::app {
namespace {

using Action = StartOptions::Action;

struct ParseCase {
  const char* name;
  QStringList arguments;  // after the program name
  Action action;
  QString map;
  QString file;
  std::optional<FileKind> kind;
  bool workspace = false;
  QString error = {};  // a part of the error text
};
void PrintTo(const ParseCase& c, std::ostream* os) {
  *os << c.name;
}

class ParseTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseTest, ReadsTheArguments) {
  const ParseCase& c = GetParam();
  const StartOptions options = ParseCommandLine(QStringList{"/usr/bin/tervik"} + c.arguments);
  EXPECT_EQ(options.action, c.action) << options.text.toStdString();
  EXPECT_EQ(options.map.toStdString(), c.map.toStdString());
  EXPECT_EQ(options.file.toStdString(), c.file.toStdString());
  EXPECT_EQ(options.fileKind, c.kind);
  EXPECT_EQ(options.workspace, c.workspace);
  EXPECT_FALSE(options.selfTest);
  if (c.action == Action::Error) {
    EXPECT_TRUE(options.text.contains(c.error)) << options.text.toStdString();
  }
}

constexpr Action Start = Action::Start;
constexpr Action Error = Action::Error;

INSTANTIATE_TEST_SUITE_P(
    Arguments, ParseTest,
    ::testing::Values(
        ParseCase{"Nothing", {}, Start, "", "", std::nullopt},
        ParseCase{"Listing", {"hello.lst"}, Start, "", "hello.lst", FileKind::Listing},
        ParseCase{
            "ListingUpperCase", {"/a/HELLO.LST"}, Start, "", "/a/HELLO.LST", FileKind::Listing},
        ParseCase{"MapAsFile", {"machine.map"}, Start, "machine.map", "", std::nullopt},
        ParseCase{
            "MapOption", {"--map", "m.map", "x.lst"}, Start, "m.map", "x.lst", FileKind::Listing},
        ParseCase{"MapOptionWithEquals", {"--map=m.map"}, Start, "m.map", "", std::nullopt},
        ParseCase{"MapShortOption", {"-m", "other.txt"}, Start, "other.txt", "", std::nullopt},
        ParseCase{"Workspace", {"--workspace"}, Start, "", "", std::nullopt, true},
        ParseCase{"WorkspaceAndFile",
                  {"--workspace", "/home/u/x.lst"},
                  Start,
                  "",
                  "/home/u/x.lst",
                  FileKind::Listing,
                  true},
        ParseCase{
            "DashDashEndsOptions", {"--", "--odd.lst"}, Start, "", "--odd.lst", FileKind::Listing},
        ParseCase{"UnknownExtension",
                  {"notes.txt"},
                  Error,
                  "",
                  "",
                  std::nullopt,
                  false,
                  "'notes.txt' is none of a listing (.lst), a memory map (.map), a source (.asm)"},
        ParseCase{"NoExtension", {"program"}, Error, "", "", std::nullopt, false, "is none of"},
        ParseCase{
            "TwoFiles", {"a.lst", "b.lst"}, Error, "", "", std::nullopt, false, "one FILE at most"},
        ParseCase{"TwoMaps",
                  {"--map", "a.map", "b.map"},
                  Error,
                  "",
                  "",
                  std::nullopt,
                  false,
                  "Two memory maps"},
        ParseCase{"MapWithoutValue", {"--map"}, Error, "", "", std::nullopt, false, "map"},
        ParseCase{"EmptyMap",
                  {"--map", ""},
                  Error,
                  "",
                  "",
                  std::nullopt,
                  false,
                  "--map needs a file name"},
        ParseCase{
            "UnknownOption", {"--frobnicate"}, Error, "", "", std::nullopt, false, "frobnicate"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CommandLineTest, QtsOwnOptionsAreSetAside) {
  const struct {
    QStringList arguments;
    QStringList kept;
  } cases[] = {
      {{"tervik", "-platform", "offscreen", "a.lst"}, {"tervik", "a.lst"}},
      {{"tervik", "--style=fusion", "-reverse", "--map", "m.map"}, {"tervik", "--map", "m.map"}},
      {{"tervik", "--bogus", "-geometry", "10x10"}, {"tervik", "--bogus"}},
      {{"tervik", "--", "-platform"}, {"tervik", "--", "-platform"}},
      {{"tervik", "-style"}, {"tervik"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WithoutQtOptions(c.arguments), c.kept) << c.arguments.join(' ').toStdString();
  }
}

// The real program without any display: every wrong command line is answered with the usage
// and 64, help and version with 0; none needs the windowing system.
TEST(CommandLineTest, AnswersWithoutADisplay) {
  const struct {
    QStringList arguments;
    int exitCode;
    const char* stdoutPart;
    const char* stderrPart;
  } cases[] = {
      {{"--bogus"}, 64, "", "Usage: tervik [options] [FILE]"},
      {{"notes.txt"}, 64, "", "is none of"},
      {{"--map"}, 64, "", "Usage: tervik"},
      {{"a.lst", "b.lst"}, 64, "", "one FILE at most"},
      {{"-platform", "xcb", "--frobnicate"}, 64, "", "frobnicate"},
      {{"--help"}, 0, "Usage: tervik [options] [FILE]", ""},
      {{"--help-all"}, 0, "--workspace", ""},
      {{"--version"}, 0, "tervik " TERVIK_VERSION, ""},
  };
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
    environment.remove(name);
  for (const auto& c : cases) {
    const std::string what = c.arguments.join(' ').toStdString();
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(TERVIK_PROGRAM, c.arguments);
    ASSERT_TRUE(program.waitForFinished(30000)) << what;
    const QString out = program.readAllStandardOutput();
    const QString err = program.readAllStandardError();
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << what << "\n" << err.toStdString();
    EXPECT_EQ(program.exitCode(), c.exitCode) << what << "\n" << err.toStdString();
    EXPECT_TRUE(out.contains(c.stdoutPart)) << what << "\n" << out.toStdString();
    EXPECT_TRUE(err.contains(c.stderrPart)) << what << "\n" << err.toStdString();
    EXPECT_FALSE(out.contains("help-all")) << what;
  }
}

TEST(CommandLineTest, HelpNamesTheProgramAndItsOptions) {
  for (const char* option : {"--help", "-h", "--help-all"}) {
    const StartOptions options = ParseCommandLine({"./build/bin/tervik", option});
    ASSERT_EQ(options.action, Action::Help) << option;
    const std::string text = options.text.toStdString();
    EXPECT_EQ(text.rfind("Usage: tervik [options] [FILE]\n", 0), 0u) << text;
    for (const char* part : {"--map <FILE>", "--workspace", "--version", "FILE"}) {
      EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
    }
    EXPECT_EQ(text.find("self-test"), std::string::npos) << text;
  }
}

TEST(CommandLineTest, HelpAndVersionWinOverErrors) {
  EXPECT_EQ(ParseCommandLine({"tervik", "--bogus", "a.txt", "--help"}).action, Action::Help);
  EXPECT_EQ(ParseCommandLine({"tervik", "-platform", "offscreen", "--version"}).action,
            Action::Version);
}

TEST(CommandLineTest, VersionIsTheProgramsVersion) {
  const StartOptions options = ParseCommandLine({"tervik", "--version"});
  ASSERT_EQ(options.action, Action::Version);
  EXPECT_EQ(options.text.toStdString(), "tervik " TERVIK_VERSION "\n");
  EXPECT_EQ(ParseCommandLine({"tervik", "-v"}).action, Action::Version);
  EXPECT_EQ(VersionLine().toStdString(), "tervik " TERVIK_VERSION);
}

TEST(CommandLineTest, SelfTestIsHiddenButRead) {
  EXPECT_TRUE(ParseCommandLine({"tervik", "--self-test"}).selfTest);
}

TEST(CommandLineTest, KindOfFileByExtension) {
  EXPECT_EQ(KindOfFile("a.lst"), FileKind::Listing);
  EXPECT_EQ(KindOfFile("dir.map/a.Lst"), FileKind::Listing);
  EXPECT_EQ(KindOfFile("a.MAP"), FileKind::Map);
  EXPECT_EQ(KindOfFile("prog.asm"), FileKind::Source);
  EXPECT_EQ(KindOfFile("a.lst.bak"), std::nullopt);
  EXPECT_EQ(KindOfFile("lst"), std::nullopt);
  EXPECT_EQ(KindOfFile(""), std::nullopt);
}

// ---- The workspace ----

void WriteFile(const QString& path, const QByteArray& content) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
  file.write(content);
}

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

class WorkspaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp.isValid());
    ASSERT_TRUE(QDir().mkpath(examples));
    WriteFile(examples + "/default.map", "0x0 0x10 RAM\n");
    WriteFile(examples + "/hello.asm", "; hello\n");
    WriteFile(examples + "/hello.lst", "00000 00000000000000000000000000000000\n");
  }

  QTemporaryDir temp;
  QString examples = temp.filePath("share/tervik/examples");
  QString workspace = temp.filePath("home/Tervik");
};

TEST_F(WorkspaceTest, FirstStartCopiesEveryExample) {
  const WorkspaceResult result = PrepareWorkspace(workspace, examples);
  EXPECT_TRUE(result.ok) << result.error.toStdString();
  EXPECT_EQ(result.copied, (QStringList{"default.map", "hello.asm", "hello.lst"}));
  EXPECT_EQ(ReadFile(workspace + "/default.map"), "0x0 0x10 RAM\n");
  EXPECT_EQ(ReadFile(workspace + "/hello.asm"), "; hello\n");

  // A second start copies nothing.
  const WorkspaceResult again = PrepareWorkspace(workspace, examples);
  EXPECT_TRUE(again.ok);
  EXPECT_TRUE(again.copied.isEmpty());
}

TEST_F(WorkspaceTest, ExistingFilesAreKeptAndAMissingMapIsCopied) {
  ASSERT_TRUE(QDir().mkpath(workspace));
  WriteFile(workspace + "/hello.asm", "; mine\n");
  const WorkspaceResult result = PrepareWorkspace(workspace, examples);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.copied, QStringList{"default.map"});
  EXPECT_EQ(ReadFile(workspace + "/hello.asm"), "; mine\n");
  EXPECT_FALSE(QFile::exists(workspace + "/hello.lst"));

  WriteFile(workspace + "/default.map", "; my own map\n");
  const WorkspaceResult again = PrepareWorkspace(workspace, examples);
  EXPECT_TRUE(again.ok);
  EXPECT_TRUE(again.copied.isEmpty());
  EXPECT_EQ(ReadFile(workspace + "/default.map"), "; my own map\n");
}

TEST_F(WorkspaceTest, NoExamplesMeansNoMapAndAnError) {
  const WorkspaceResult result = PrepareWorkspace(workspace, temp.filePath("nowhere"));
  EXPECT_FALSE(result.ok);
  EXPECT_TRUE(result.error.contains("has no default.map")) << result.error.toStdString();
  EXPECT_TRUE(QDir(workspace).exists());  // created, for the user's own files
}

TEST_F(WorkspaceTest, UncreatableWorkspaceIsAnError) {
  WriteFile(temp.filePath("file"), "x");
  const WorkspaceResult result = PrepareWorkspace(temp.filePath("file/Tervik"), examples);
  EXPECT_FALSE(result.ok);
  EXPECT_TRUE(result.error.contains("Cannot create")) << result.error.toStdString();
}

TEST(WorkspaceFolderTest, ExamplesLieBesideTheBinFolder) {
  EXPECT_EQ(ExamplesFolder("/opt/tervik/bin").toStdString(), "/opt/tervik/share/tervik/examples");
  EXPECT_EQ(DefaultWorkspace().toStdString(), QDir::homePath().toStdString() + "/Tervik");
}

}  // namespace
}  // namespace tervik::app
