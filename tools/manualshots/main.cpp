// tervik_manualshots: the manual's tutorial, done as its reader does it, on the real main window
// (offscreen) and with the real tools, checking every value the chapter states, and taking the
// chapter's pictures on the way.
//   tervik_manualshots OUTDIR TUTORIAL CHAPTER TERVIK-AS TERVIK-RUN WORKDIR
// TUTORIAL is the folder of the chapter's files (default.map, sum.asm, sum-fixed.asm), CHAPTER the
// chapter's Markdown. The reader's folder is WORKDIR/sum, made afresh. Every claim is looked up in
// the chapter's text (white space folded) and checked against the program; a picture is saved
// only when the claims of its caption hold. Exits 1 when anything does not hold, naming it.
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QWidget>
#include <cstdio>
#include <optional>
#include <string>

#include "ProgramMenu.h"
#include "SourceEditor.h"
#include "SourceWindow.h"
#include "Tfbreakpoints.h"
#include "Tfcpu.h"
#include "Tfdebug.h"
#include "Tfmain.h"
#include "Tfmem.h"
#include "Tfreg.h"

namespace {

// The build should be quiet when it succeeds.
void QuietMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtDebugMsg || type == QtInfoMsg) return;
  if (message.startsWith("QStandardPaths:") || message.contains("propagateSizeHints")) return;
  std::fprintf(stderr, "%s\n", qPrintable(message));
}

QString Folded(const QString& text) {
  return text.simplified();
}

class Tutorial {
 public:
  Tutorial(QString chapter, QString out) : chapter_(Folded(chapter)), out_(std::move(out)) {}

  bool ok() const { return ok_; }

  // The chapter says `text` (white space folded).
  void Claim(const QString& text) {
    if (!chapter_.contains(Folded(text))) Fail("the chapter does not say: " + text);
  }
  // What the program did is what the chapter says.
  void Check(bool holds, const QString& what) {
    if (!holds) Fail(what);
  }
  void CheckEqual(const QString& got, const QString& want, const QString& what) {
    if (got != want) Fail(what + ": got '" + got + "', the chapter says '" + want + "'");
  }
  // The console's last line is `text`, and the chapter says so.
  void ConsoleSays(const QString& text) {
    Claim(text);
    const size_t n = FDebug->Model()->LineCount();
    const std::string_view last = n ? FDebug->Model()->Line(n - 1) : std::string_view();
    CheckEqual(QString::fromUtf8(last.data(), static_cast<qsizetype>(last.size())), text,
               "the console's last line");
  }

  // Saves the picture when every claim so far holds.
  void Shot(QWidget* widget, const QString& name) {
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    if (!ok_) {
      Fail("not saving " + name + ": its claims do not hold");
      return;
    }
    const QPixmap shot = widget->grab();
    if (shot.isNull() || !shot.save(QDir(out_).filePath(name), "PNG")) Fail("cannot write " + name);
  }

  void Fail(const QString& what) {
    std::fprintf(stderr, "tutorial: %s\n", qPrintable(what));
    ok_ = false;
  }

 private:
  QString chapter_;
  QString out_;
  bool ok_ = true;
};

struct Run {
  int exitCode = -1;
  QString out;
  QString err;
};

// A command the reader types in the folder.
Run Command(const QString& program, const QStringList& arguments, const QString& folder) {
  QProcess process;
  process.setWorkingDirectory(folder);
  process.start(program, arguments);
  Run run;
  if (!process.waitForFinished(60000)) return run;
  run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  run.out = QString::fromUtf8(process.readAllStandardOutput());
  run.err = QString::fromUtf8(process.readAllStandardError());
  return run;
}

bool Copy(const QString& from, const QString& to) {
  QFile::remove(to);
  return QFile::copy(from, to) && QFile(to).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
}

QString Hex(uint32_t v) {
  return QString::asprintf("%08X", v);
}

// The word lines of a listing, as the chapter prints them.
QStringList WordLines(const QString& listing) {
  QFile file(listing);
  QStringList lines;
  if (!file.open(QIODevice::ReadOnly)) return lines;
  static const QRegularExpression word("^[0-9A-F]{5} [01]{32}");
  for (const QString& line : QString::fromUtf8(file.readAll()).split('\n'))
    if (word.match(line).hasMatch()) lines << line;
  return lines;
}

void Walk(Tutorial& t, const QString& source, const QString& as, const QString& runner,
          const QString& folder) {
  // An empty folder with the map and the program, as the reader writes them.
  t.Check(QDir(folder).removeRecursively() && QDir().mkpath(folder), "cannot make " + folder);
  t.Check(Copy(source + "/default.map", folder + "/default.map") &&
              Copy(source + "/sum.asm", folder + "/sum.asm"),
          "cannot copy the tutorial's files");
  QDir::setCurrent(folder);

  // tervik-as sum.asm, and what a wrong register would have said.
  t.Claim("tervik-as sum.asm");
  const Run assembled = Command(as, {"sum.asm"}, folder);
  t.Check(assembled.exitCode == 0, "tervik-as sum.asm failed: " + assembled.err);
  const QStringList words = WordLines(folder + "/sum.lst");
  t.Check(words.size() >= 3, "sum.lst has fewer than three words");
  for (qsizetype i = 0; i < 3 && i < words.size(); ++i) t.Claim(words[i]);
  {
    QFile file(folder + "/sum.asm");
    file.open(QIODevice::ReadOnly);
    QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    const qsizetype add = lines.indexOf(QRegularExpression("^\\s+ADD\\s.*"));
    t.Check(add >= 0, "sum.asm has no ADD line");
    const QString bad = folder + "/bad";
    QDir().mkpath(bad);
    if (add >= 0) lines[add].replace("R2,R2,R1", "R2,R2,R32");
    QFile wrong(bad + "/sum.asm");
    wrong.open(QIODevice::WriteOnly);
    wrong.write(lines.join('\n').toUtf8());
    wrong.close();
    const Run failed = Command(as, {"sum.asm"}, bad);
    const QString message = failed.err.section('\n', 0, 0);
    t.Claim("`" + message + "`");
    t.Check(failed.exitCode != 0 && !QFile::exists(bad + "/sum.lst"),
            "a wrong register still gave a listing");
    QDir(bad).removeRecursively();
  }

  // tervik sum.lst in the folder: the map of the folder, the program loaded.
  t.Claim("tervik sum.lst");
  TFMain main;
  main.resize(960, 640);
  main.FormCreate();
  main.OpenListing("sum.lst", tervik::debug::OpenCause::Open);
  main.show();
  QApplication::processEvents();
  main.resizeDocks({FCPU, FReg}, {560, 400}, Qt::Horizontal);
  tervik::Processor& cpu = main.Cpu();
  // The rate in the status bar is a measurement of the machine that builds the manual; the
  // pictures show the status bar without one, so that every build gives the same pictures.
  const auto shotOfMain = [&](const QString& name) {
    main.StatusText->setText("- instruction/sec");
    t.Shot(&main, name);
  };
  bool allZero = cpu.pc == 0 && cpu.sp == 0 && cpu.sr == 0;
  for (uint32_t r : cpu.r) allZero = allZero && r == 0;
  t.Check(allZero, "after loading, a register is not 0");
  {
    const std::string said = "Using the memory map default.map of the program's folder";
    t.Claim("`" + QString::fromStdString(said) + "`");
    bool found = false;
    for (size_t i = 0; i < FDebug->Model()->LineCount(); ++i)
      found = found || FDebug->Model()->Line(i) == said;
    t.Check(found, "the console does not say which map is in use");
  }
  t.Check(main.Listing().Comment(0) == "; next to add", "no comment at address 0");
  shotOfMain("tutorial-loaded.png");

  // Four steps with F7: the ADD makes R2 9 and red.
  for (int i = 0; i < 4; ++i) main.ActionStep->trigger();
  t.Claim("Press it four times");
  t.Claim("`R2` is red and holds 9");
  t.Check(cpu.r[2] == 9 && cpu.regChanged[2], "after four steps R2 is " + Hex(cpu.r[2]));
  shotOfMain("tutorial-step.png");

  // Reset, a breakpoint on the ADD, Run.
  main.ActionReset->trigger();
  main.ToggleBreakpoint(3);
  main.ActionRun->trigger();
  t.ConsoleSays("Breakpoint 1 at 00000003 after 3 instructions");
  main.ActionShowBreakpoints->trigger();
  main.RefreshViews();
  shotOfMain("tutorial-breakpoint.png");
  if (QWidget* breakpoints = main.BreakpointsWindow(); breakpoints != nullptr) {
    if (breakpoints->isWindow()) t.Shot(breakpoints, "tutorial-breakpoints-window.png");
    breakpoints->hide();
  }

  // Each further F9 stops at the ADD again, with R1 at 9, 8, ... 0.
  t.Claim("9, 8, ... 0 where 10, 9, ... 1 were meant");
  QStringList seen{QString::number(cpu.r[1])};
  for (int i = 0; i < 9; ++i) {
    main.ActionRun->trigger();
    if (cpu.pc != 3) break;
    seen << QString::number(cpu.r[1]);
  }
  t.CheckEqual(seen.join(", "), "9, 8, 7, 6, 5, 4, 3, 2, 1, 0", "R1 at the breakpoint");

  // Without the breakpoint the run ends on done; the sum at 0x1000 is 0x2D.
  main.ToggleBreakpoint(3);
  main.ActionRun->trigger();
  t.ConsoleSays("Halted at 00000007 (JUMPI H#0%)");
  t.Claim("The sum there is 0x2D, 45");
  t.Check(cpu.ReadMem(0x1000) == 0x2D, "the sum at 0x1000 is " + Hex(cpu.ReadMem(0x1000)));
  main.ActionShowMemory->trigger();
  FMem->resize(380, 150);
  FMem->GoToAddress(0x1000);
  main.RefreshViews();
  t.Shot(FMem, "tutorial-bug.png");

  // A watchpoint on 0x1000: after Reset, the run stops right after the STORE.
  main.ActionReset->trigger();
  t.Claim("`0x1000, w`");
  if (TFBreakpoints* window = main.BreakpointsWindow()) {
    window->AskText = [](const QString&, const QString&) {
      return std::optional<QString>("0x1000, w");
    };
    window->WatchButton->click();
    window->hide();
  }
  main.ActionRun->trigger();
  t.ConsoleSays("Watchpoint 1: M[00001000] 0000002D -> 0000002D by the word at 00000006");
  t.Check(cpu.pc == 7, "the watchpoint did not stop after the STORE at 6");

  // The fix: assemble again, Reload (a fresh start of the program), Run.
  t.Check(Copy(source + "/sum-fixed.asm", folder + "/sum.asm"), "cannot write the fix");
  const Run again = Command(as, {"sum.asm"}, folder);
  t.Check(again.exitCode == 0, "tervik-as on the fixed source failed: " + again.err);
  main.ActionReloadLST->trigger();
  t.ConsoleSays("Reloaded sum.lst (Reload previous LST file): processor reset");
  t.Check(cpu.pc == 0 && cpu.r[2] == 0, "the reload did not reset the processor");
  main.ActionRun->trigger();
  t.ConsoleSays("Watchpoint 1: M[00001000] 00000000 -> 00000037 by the word at 00000006");
  t.Claim("the word at 0x1000 is now 0x37, and `R2` holds 0x37");
  t.Check(cpu.ReadMem(0x1000) == 0x37 && cpu.r[2] == 0x37,
          "after the fix, 0x1000 holds " + Hex(cpu.ReadMem(0x1000)) + " and R2 " + Hex(cpu.r[2]));
  FMem->GoToAddress(0x1000);
  main.RefreshViews();
  shotOfMain("tutorial-fixed.png");
  t.Shot(FMem, "tutorial-fixed-memory.png");

  // The same check without the window.
  const QStringList runArgs{"--map",   "default.map", "--lst",   "sum.lst",
                            "--quiet", "--dump-mem",  "0x1000:1"};
  t.Claim("tervik-run " + runArgs.join(' '));
  const Run run = Command(runner, runArgs, folder);
  t.Check(run.exitCode == 0, "tervik-run failed: " + run.err);
  for (const QString& line : (run.out + run.err).split('\n', Qt::SkipEmptyParts)) t.Claim(line);

  // Copy as ROM: the first lines the chapter shows.
  main.ActionExportROMDATA->trigger();
  const QStringList rom = QApplication::clipboard()->text().split("\r\n");
  t.Check(rom.size() > 3, "Copy as ROM put nothing on the clipboard");
  for (qsizetype i = 0; i < 3 && i < rom.size(); ++i) t.Claim(rom[i]);

  // The Source window: the source opened, a breakpoint by a click in the margin, run to it,
  // one Step line.
  t.Claim("*Program > Open source...* (Ctrl+O)");
  main.resize(1100, 640);
  QApplication::processEvents();
  t.Check(main.Program()->OpenSource((folder + "/sum.asm").toStdString()),
          "Open source did not load sum.asm");
  TFSource* window = main.Source();
  TSourceEditor* editor = window->Current();
  t.Check(window->isVisible() && editor != nullptr, "Open source showed no Source window");
  if (editor == nullptr) return;
  int addLine = 0;
  for (int line = 1; line <= editor->LineCountBytes() && addLine == 0; ++line) {
    if (QString::fromStdString(editor->LineBytes(line)).contains(" ADD ")) addLine = line;
  }
  t.Check(addLine > 0, "sum.asm has no ADD line");
  if (addLine == 0) return;
  emit editor->marginLineClicked(addLine);
  t.Check(editor->HasMarker(addLine, TSourceEditor::kBreakpointMarker) &&
              main.IsBreakpoint(main.Session().Lines().FirstAddress(0, addLine).value_or(~0u)),
          "the margin click set no breakpoint on the ADD line");
  main.ActionReset->trigger();
  main.ActionRun->trigger();
  t.ConsoleSays("Breakpoint 1 at 00000002 after 2 instructions");
  t.Check(editor->PcLine() == addLine, "the pc line is not the ADD line");
  main.ActionStepLine->trigger();
  t.ConsoleSays("Stepped to 00000003 (sum.asm:7) after 1 instruction");
  t.Check(editor->PcLine() == addLine + 1, "Step line did not move the pc line");
  shotOfMain("tutorial-source.png");
}

}  // namespace

int main(int argc, char* argv[]) {
  qInstallMessageHandler(QuietMessages);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setApplicationName("Tervik CPU Emulator");
  const QStringList args = QApplication::arguments();
  if (args.size() != 7) {
    std::fprintf(
        stderr, "usage: tervik_manualshots OUTDIR TUTORIAL CHAPTER TERVIK-AS TERVIK-RUN WORKDIR\n");
    return 2;
  }
  if (!QDir().mkpath(args[1])) return 1;
  QFile chapter(args[3]);
  if (!chapter.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "tutorial: cannot read %s\n", qPrintable(args[3]));
    return 1;
  }
  Tutorial tutorial(QString::fromUtf8(chapter.readAll()), QFileInfo(args[1]).absoluteFilePath());
  Walk(tutorial, QFileInfo(args[2]).absoluteFilePath(), QFileInfo(args[4]).absoluteFilePath(),
       QFileInfo(args[5]).absoluteFilePath(), QFileInfo(args[6]).absoluteFilePath() + "/sum");
  return tutorial.ok() ? 0 : 1;
}
