// The Source window as a user drives it: the lexer's colours on a table of lines, then a program
// opened, edited, assembled with an error and mended, a breakpoint set in the margin and run to,
// the pc line following Step line into an included file, hover values, go to definition and
// back, and a modified source when the window closes.
#include <QInputDialog>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>
#include <sstream>

#include "AsmLexer.h"
#include "ProgramMenu.h"
#include "SourceEditor.h"
#include "SourceWindow.h"
#include "TestFolder.h"
#include "Tfcpu.h"
#include "Tfdebug.h"
#include "Tfmain.h"

namespace {

using tervik::uitest::LastLine;
using tervik::uitest::ReadFile;
using tervik::uitest::WriteFile;

// One letter per style, so that a line's expected colours are written under it.
char StyleLetter(int style) {
  static const char kLetters[] = " MPDRANLSFQCOE";
  return style >= 0 && style < TAsmLexer::StyleCount ? kLetters[style] : '?';
}

// The byte position of the `nth` occurrence of `what` in an editor, plus `offset`.
long PositionOf(const TSourceEditor& e, const std::string& what, long offset = 0, int nth = 1) {
  const std::string text = e.Bytes();
  size_t at = std::string::npos;
  for (size_t from = 0; nth-- > 0; from = at + 1) at = text.find(what, from);
  return at == std::string::npos ? -1 : static_cast<long>(at) + offset;
}

const char* const kLib =
    "twice:  ADD     R2,R1,R1\n"
    "        RET\n";

const char* const kProgram =
    "count   REG     R5\n"
    "start:  MVSPL   H#300%\n"
    "        LI      R1,H#12345678\n"
    "        CALLTO  R9,twice\n"
    "        ADDI    count,count,H#1\n"
    "halt:   JUMPI   halt%\n"
    "        INCLUDE \"lib.inc\"\n";

}  // namespace

class SourceWindowTest : public QObject {
  Q_OBJECT

 private:
  tervik::uitest::TestFolder dir_;

 private slots:
  void init() {
    dir_.Enter();
    WriteFile(dir_.filePath("default.map"), "0x0 0x400 RAM\n");
  }
  void cleanup() { dir_.Leave(); }

  // Every byte of each line in the style of the assembler's token there; blanks, the line end
  // and the spaces between tokens in the default style.
  void LexerStylesLines() {
    const struct {
      const char* line;
      const char* styles;
    } table[] = {
        {"loop:   ADDI R1,R1,H#1% ; again", "LLLLO   MMMM RRORRONNNN CCCCCCC"},
        {"N EQU 0b101", "L DDD NNNNN"},
        {"acc REG R7", "LLL DDD RR"},
        {"  ADD acc,acc,R31", "  MMM AAAOAAAORRR"},
        {"msg DW \"hi\\\"\",3 DUP 0x1F", "LLL DD QQQQQQON DDD NNNN"},
        {"  LI R2,HI(msg)+LO(N)", "  PP RROFFOSSSOOFFOSO"},
        {"  CALLTO R9,far ; x", "  PPPPPP RROSSS CCC"},
        {"  ORG 12Q", "  DDD EEE"},
        {"  DW \"open", "  DD EEEEE"},
        {"\tJUMPI loop%", " MMMMM SSSSO"},
    };
    TSourceEditor editor(QString{});
    std::string text;
    for (const auto& row : table) text += std::string(row.line) + "\n";
    editor.SetBytes(text);
    editor.SendScintilla(QsciScintilla::SCI_COLOURISE, 0UL, -1L);
    long pos = 0;
    for (const auto& row : table) {
      std::string got;
      for (size_t i = 0; i < std::strlen(row.line); ++i) {
        got += StyleLetter(static_cast<int>(editor.SendScintilla(
            QsciScintilla::SCI_GETSTYLEAT, static_cast<unsigned long>(pos + i))));
      }
      QCOMPARE(QString::fromStdString(got), QString(row.styles));
      QCOMPARE(StyleLetter(static_cast<int>(
                   editor.SendScintilla(QsciScintilla::SCI_GETSTYLEAT,
                                        static_cast<unsigned long>(pos + std::strlen(row.line))))),
               ' ');  // the line end
      pos += static_cast<long>(std::strlen(row.line)) + 1;
    }
    // Light and dark palettes give each their own colours, readable on their base.
    TAsmLexer lexer;
    QPalette light;
    light.setColor(QPalette::Base, Qt::white);
    light.setColor(QPalette::Text, Qt::black);
    QPalette dark;
    dark.setColor(QPalette::Base, QColor(0x20, 0x20, 0x20));
    dark.setColor(QPalette::Text, QColor(0xe0, 0xe0, 0xe0));
    for (const QPalette& p : {light, dark}) {
      lexer.UsePalette(p);
      QCOMPARE(lexer.defaultPaper(TAsmLexer::Mnemonic), p.color(QPalette::Base));
      QCOMPARE(lexer.defaultColor(TAsmLexer::Default), p.color(QPalette::Text));
      for (int s = 1; s < TAsmLexer::StyleCount; ++s) {
        const int contrast =
            std::abs(lexer.defaultColor(s).lightness() - p.color(QPalette::Base).lightness());
        QVERIFY2(contrast > 60, qPrintable(lexer.description(s)));
      }
    }
  }

  void EditAssembleDebug() {
    TFMain main;
    main.FormCreate();
    main.show();
    WriteFile(dir_.filePath("lib.inc"), kLib);
    const QString source = dir_.filePath("main.asm");
    WriteFile(source, kProgram);
    TFSource* window = main.Source();
    QVERIFY(window->isHidden());  // until a source is opened
    QVERIFY(main.Program()->OpenSource(source.toStdString()));
    QVERIFY(window->isVisible());
    QCOMPARE(window->Count(), 1);
    TSourceEditor* editor = window->Current();
    QCOMPARE(editor->Path(), QFileInfo(source).absoluteFilePath());
    QCOMPARE(window->Tabs()->tabText(0), QString("main.asm"));
    const uint32_t word1 = main.Cpu().ReadMem(1);

    // An error, not saved: the marker, the squiggle's message on hover, the console line, and
    // memory as it was. The file on disk is untouched.
    editor->insertAt("        ADDI    R1,R1,R1\n", 2, 0);
    QCOMPARE(window->Tabs()->tabText(0), QString("*main.asm"));
    window->ActionAssemble->trigger();
    QVERIFY(editor->HasMarker(3, TSourceEditor::kErrorMarker));
    QVERIFY(!editor->HasMarker(2, TSourceEditor::kErrorMarker));
    QVERIFY2(LastLine().endsWith(":3:23: error: expected an immediate as operand 3, found register "
                                 "R1: ADDI takes Rd,Ra,imm"),
             qPrintable(LastLine()));
    QVERIFY(LastLine().startsWith(QFileInfo(source).absoluteFilePath()));
    const long errorAt = PositionOf(*editor, "R1,R1,R1", 6);
    QCOMPARE(
        window->HoverText(editor, errorAt),
        QString("expected an immediate as operand 3, found register R1: ADDI takes Rd,Ra,imm"));
    QCOMPARE(editor->SendScintilla(QsciScintilla::SCI_INDICATORVALUEAT,
                                   TSourceEditor::kErrorIndicator, errorAt),
             1L);
    QCOMPARE(editor->SendScintilla(QsciScintilla::SCI_INDICATORVALUEAT,
                                   TSourceEditor::kErrorIndicator, errorAt - 3),
             0L);
    QCOMPARE(main.Cpu().ReadMem(1), word1);
    QCOMPARE(ReadFile(source), std::string(kProgram));
    // The console line puts the cursor at the error.
    editor->SetCursor(1, 1);
    const QModelIndex last = FDebug->Model()->index(FDebug->Model()->rowCount() - 1);
    emit FDebug->ListBox1->clicked(last);
    QCOMPARE(editor->LineColumnAt(editor->SendScintilla(QsciScintilla::SCI_GETCURRENTPOS)),
             std::make_pair(3, 23));

    // Mended, still unsaved: assembled from the editor's text, the marker gone.
    const long fix = PositionOf(*editor, "R1,R1,R1", 6);
    editor->SendScintilla(QsciScintilla::SCI_SETSEL, static_cast<unsigned long>(fix), fix + 2);
    editor->replaceSelectedText("H#2");
    window->ActionAssemble->trigger();
    QVERIFY(!editor->HasMarker(3, TSourceEditor::kErrorMarker));
    QCOMPARE(*main.Session().Symbols().Value("twice"), 9u);
    QCOMPARE(ReadFile(source), std::string(kProgram));
    // Saved: the file is the editor's text, the tab no longer marked.
    QVERIFY(window->Save());
    QCOMPARE(ReadFile(source), editor->Bytes());
    QCOMPARE(window->Tabs()->tabText(0), QString("main.asm"));

    // A breakpoint by a click in the margin on the CALLTO line (line 5), on its first word, in
    // both windows.
    emit editor->marginLineClicked(5);
    const uint32_t callto = *main.Session().Lines().FirstAddress(0, 5);
    QCOMPARE(main.Session().Breakpoints(), std::vector<uint32_t>{callto});
    QVERIFY(main.IsBreakpoint(callto));
    QVERIFY(editor->HasMarker(5, TSourceEditor::kBreakpointMarker));
    // Run to it: the pc line is the breakpoint's.
    main.ActionRun->trigger();
    QCOMPARE(main.Cpu().GetPC(), callto);
    QCOMPARE(editor->PcLine(), 5);
    QVERIFY(editor->HasMarker(5, TSourceEditor::kPcMarker));
    // Hover: a register, an alias and a label.
    QCOMPARE(window->HoverText(editor, PositionOf(*editor, "R1,H#1", 1)), QString("R1 = 12345678"));
    main.Cpu().r[5] = 0x2a;
    QCOMPARE(window->HoverText(editor, PositionOf(*editor, "count,", 0, 2)),
             QString("count (R5) = 0000002A"));
    QCOMPARE(window->HoverText(editor, PositionOf(*editor, "halt%")),
             QString("halt = 00000008: ") + QString::asprintf("%08X", main.Cpu().ReadMem(8)));
    // Step line into the included file: its tab opens, current, with the pc line.
    main.ActionStepLine->trigger();
    QCOMPARE(window->Count(), 2);
    TSourceEditor* lib = window->Current();
    QCOMPARE(lib->Title(), QString("lib.inc"));
    QCOMPARE(lib->PcLine(), 1);
    QCOMPARE(editor->PcLine(), 0);
    main.ActionStepLine->trigger();
    main.ActionStepLine->trigger();
    QCOMPARE(window->Current(), editor);
    QCOMPARE(editor->PcLine(), 6);
    QCOMPARE(lib->PcLine(), 0);

    // Go to definition of `twice` and back.
    QVERIFY(window->GoToDefinition(editor, PositionOf(*editor, "twice", 2)));
    QCOMPARE(window->Current(), lib);
    QCOMPARE(lib->CursorLine(), 1);
    QVERIFY(window->GoBack());
    QCOMPARE(window->Current(), editor);
    QCOMPARE(editor->CursorLine(), 5);

    // Edited without assembling: the line table's lines move with the text. Two whole lines
    // before line 2 and a line break inside line 1 move the CALLTO (5) to 8 and pc (6) to 9.
    editor->insertAt("; a\n; b\n", 1, 0);
    editor->insertAt("\n", 0, 5);
    window->ShowBreakpoints();
    window->ShowPc();
    QVERIFY(editor->HasMarker(8, TSourceEditor::kBreakpointMarker));
    QVERIFY(!editor->HasMarker(5, TSourceEditor::kBreakpointMarker));
    QCOMPARE(editor->PcLine(), 9);
    editor->SetCursor(8, 1);
    QCOMPARE(window->CursorAddress(), callto);
    // A click on a new line sets nothing; on the moved CALLTO it removes and sets its breakpoint.
    emit editor->marginLineClicked(3);
    QCOMPARE(LastLine(), QString("No breakpoint: line 3 is new since the program was assembled"));
    QCOMPARE(main.Session().Breakpoints(), std::vector<uint32_t>{callto});
    emit editor->marginLineClicked(8);
    QVERIFY(main.Session().Breakpoints().empty());
    emit editor->marginLineClicked(8);
    QCOMPARE(main.Session().Breakpoints(), std::vector<uint32_t>{callto});
    QVERIFY(editor->HasMarker(8, TSourceEditor::kBreakpointMarker));
    // Undone, the lines are back where they were assembled.
    editor->undo();
    editor->undo();
    window->ShowBreakpoints();
    window->ShowPc();
    QVERIFY(editor->HasMarker(5, TSourceEditor::kBreakpointMarker));
    QCOMPARE(editor->PcLine(), 6);
    QVERIFY(editor->Shifts().Now(5) == 5);
    // A line inserted between the label above and the breakpoint's line, then assembled: the
    // breakpoint stays on its line, which the editor saw move (by the label it would not).
    editor->insertAt("        NOP\n", 3, 0);
    window->ActionAssemble->trigger();
    QCOMPARE(main.Session().Breakpoints(),
             std::vector<uint32_t>{*main.Session().Lines().FirstAddress(0, 6)});
    QVERIFY(editor->HasMarker(6, TSourceEditor::kBreakpointMarker));
    QVERIFY(editor->Shifts().empty());  // assembled: the text is the line table's again
    editor->undo();
    window->ActionAssemble->trigger();
    QCOMPARE(main.Session().Breakpoints(), std::vector<uint32_t>{callto});

    // Two lines inserted above: the breakpoint keeps its line and moves with it, and Run to
    // cursor takes the cursor's line.
    editor->insertAt("        NOP\n        NOP\n", 1, 0);
    window->ActionAssemble->trigger();
    const uint32_t moved = *main.Session().Lines().FirstAddress(0, 7);
    QCOMPARE(moved, callto + 2);
    QCOMPARE(main.Session().Breakpoints(), std::vector<uint32_t>{moved});
    QVERIFY(editor->HasMarker(7, TSourceEditor::kBreakpointMarker));
    editor->SetCursor(8, 1);
    QCOMPARE(window->CursorAddress(), *main.Session().Lines().FirstAddress(0, 8));
    editor->SetCursor(9, 1);  // the label line with the jump
    QCOMPARE(window->CursorAddress(), *main.Session().Symbols().Value("halt"));
    // A second click removes the breakpoint.
    emit editor->marginLineClicked(7);
    QVERIFY(main.Session().Breakpoints().empty());
    QVERIFY(!editor->HasMarker(7, TSourceEditor::kBreakpointMarker));

    // Saving assembles, as Reload on change is on.
    const uint32_t halt = *main.Session().Symbols().Value("halt");
    editor->insertAt("        NOP\n", 1, 0);
    QVERIFY(window->Save());
    QCOMPARE(*main.Session().Symbols().Value("halt"), halt + 1);
  }

  // The window's keys act where the focus is: F8 steps a source line in the Source window and
  // one word in the disassembly; F12 and Alt+Left go to a definition and back; Ctrl+G asks for
  // a line; Ctrl+B assembles.
  void KeysWhereTheFocusIs() {
    TFMain main;
    main.FormCreate();
    main.show();
    main.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&main));
    WriteFile(dir_.filePath("lib.inc"), kLib);
    const QString source = dir_.filePath("keys.asm");
    WriteFile(source, kProgram);
    QVERIFY(main.Program()->OpenSource(source.toStdString()));
    TFSource* window = main.Source();
    TSourceEditor* editor = window->Current();
    const uint32_t callto = *main.Session().Lines().FirstAddress(0, 4);
    const uint32_t next = *main.Session().Lines().FirstAddress(0, 5);

    main.Debugger().SetPC(callto);
    FCPU->PB1->setFocus();
    QTRY_VERIFY(!window->HasFocus());
    QTest::keyClick(FCPU->PB1, Qt::Key_F8);
    QCOMPARE(main.Cpu().GetPC(), callto + 1);  // a word that is not a CALL: one step
    main.Debugger().SetPC(callto);
    editor->setFocus();
    QTRY_VERIFY(window->HasFocus());
    QTest::keyClick(editor, Qt::Key_F8);
    QCOMPARE(main.Cpu().GetPC(), next);  // the line, its call included

    editor->SetCursor(4, 20);  // on `twice`
    QTest::keyClick(editor, Qt::Key_F12);
    QCOMPARE(window->Current()->Title(), QString("lib.inc"));
    QTest::keyClick(window->Current(), Qt::Key_Left, Qt::AltModifier);
    QCOMPARE(window->Current(), editor);
    QCOMPARE(editor->CursorLine(), 4);

    const size_t lines = FDebug->Model()->LineCount();
    QTest::keyClick(editor, Qt::Key_B, Qt::ControlModifier);
    QVERIFY(FDebug->Model()->LineCount() > lines);
    // Assembling the program that is open is a fresh start of it, and the console says so.
    bool reloaded = false;
    for (size_t i = lines; i < FDebug->Model()->LineCount(); ++i) {
      reloaded |= std::string(FDebug->Model()->Line(i)).ends_with("(assembled): processor reset");
    }
    QVERIFY(reloaded);

    QTimer::singleShot(0, [] {
      if (auto* d = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
        d->setIntValue(6);
        d->accept();
      }
    });
    QTest::keyClick(editor, Qt::Key_G, Qt::ControlModifier);
    QCOMPARE(editor->CursorLine(), 6);

    // Console lines that name a place in an existing file move the cursor; others do nothing.
    const std::string path = QFileInfo(source).absoluteFilePath().toStdString();
    const struct {
      std::string line;
      bool goes;
    } messages[] = {
        {path + ":2:9: error: expected ','", true},
        {path + ":7:1: error: x: y: z", true},
        {"Loaded 3 symbols from keys.sym", false},
        {path + ":0:1: error: x", false},
        {path + ":2:x: error: x", false},
        {path + ":2: error: x", false},
        {"/no/such/folder/a.asm:1:1: error: x", false},
    };
    for (const auto& m : messages) {
      editor->SetCursor(1, 1);
      QCOMPARE(window->GoToMessage(m.line), m.goes);
      QCOMPARE(editor->CursorLine(), m.goes ? std::stoi(m.line.substr(path.size() + 1)) : 1);
    }
  }

  // A modified source when the window closes: Cancel keeps everything open, Save writes it,
  // Discard leaves the file as it was.
  void ModifiedSourceOnQuit() {
    const QString source = dir_.filePath("quit.asm");
    for (const QMessageBox::StandardButton answer :
         {QMessageBox::Cancel, QMessageBox::Save, QMessageBox::Discard}) {
      WriteFile(source, "        NOP\n");
      TFMain main;
      main.FormCreate();
      main.show();
      QVERIFY(main.Program()->OpenSource(source.toStdString()));
      main.Program()->ActionReloadOnChange->setChecked(false);
      TSourceEditor* editor = main.Source()->Current();
      editor->insertAt("        ADD     R1,R1,R1\n", 1, 0);
      int asked = 0;
      main.Source()->SetAsk([&](const QString& name) {
        ++asked;
        return name == "quit.asm" ? answer : QMessageBox::Cancel;
      });
      QCOMPARE(main.close(), answer != QMessageBox::Cancel);
      QCOMPARE(asked, 1);
      QCOMPARE(QString::fromStdString(ReadFile(source)),
               answer == QMessageBox::Save ? QString("        NOP\n        ADD     R1,R1,R1\n")
                                           : QString("        NOP\n"));
      QCOMPARE(main.isVisible(), answer == QMessageBox::Cancel);
    }
  }
};

QTEST_MAIN(SourceWindowTest)
#include "SourceWindowTest.moc"
