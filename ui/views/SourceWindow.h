// The Source window (FSource's dock): the program's assembler source and the files it includes,
// one tab each, edited in place and assembled from the editors' text. It shows the assembler's
// errors on their lines, breakpoints by line (a click in the margin sets one on the first word
// the line placed, by the program's line table), and the line of pc at every stop and live-view
// tick, opening an included file's tab when pc enters it. It observes the debug controller like
// the other views and sends its commands through DebugHost; hidden until a source is opened.
#pragma once

#include <QAction>
#include <QMessageBox>
#include <QPointer>
#include <QTabWidget>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "DebugController.h"
#include "DebugHost.h"
#include "ProgramFiles.h"
#include "ToolDock.h"

class TSourceEditor;
class TSourceFindBar;

class TFSource final : public TToolDock {
  Q_OBJECT

 public:
  TFSource(QWidget* parent, DebugHost& host, DebugController& controller);

  // ---- Files and tabs ----
  // The tab of the file at `path` (opened if need be, made current when `activate`); null when
  // it cannot be read (said on the console).
  TSourceEditor* OpenFile(const QString& path, bool activate = true);
  // Makes `path` the program's source: its tab first and current. The tabs of a different
  // program are closed first, but for modified ones (a caller asks MayDiscardAll before).
  TSourceEditor* OpenProgram(const QString& path);
  const QString& ProgramPath() const { return programPath_; }
  // A new, empty source in a tab of its own.
  TSourceEditor* NewSource();
  TSourceEditor* Current() const;
  TSourceEditor* EditorAt(int index) const;
  TSourceEditor* EditorFor(const QString& path) const;
  int Count() const { return tabs_->count(); }
  QTabWidget* Tabs() const { return tabs_; }
  // Saves the current tab (Save as for a new source); false when nothing was saved.
  bool Save();
  bool SaveAs();
  bool SaveEditor(TSourceEditor* editor);
  // Closes a tab, asking first when its text is modified; false when the user kept it.
  bool CloseTab(int index);
  // Asks about every modified tab (Save, Discard, Cancel); false when the user cancelled. The
  // tabs stay open.
  bool MayDiscardAll();
  // Closes every tab without asking.
  void CloseAll();
  // The modified editors' texts, by their files' normal paths, for an assembly.
  tervik::debug::SourceTexts ModifiedTexts() const;
  // The lines each tab saw added and removed since the program was last assembled, by file.
  tervik::debug::Session::LineMoves LineMoves() const;

  // ---- Assembly ----
  // Asks the owner to assemble the program from the editors' text (unsaved changes included):
  // the program of which `editor` (null: the current tab) is a file, else the editor's own
  // file as a new program. A new source is saved first.
  void Assemble(TSourceEditor* editor = nullptr);
  // Shows a build's errors in the tabs of their files (opened for the purpose), or clears them.
  void ShowBuild(const tervik::debug::SourceBuild& build);
  // Puts the cursor at a FILE:LINE:COLUMN line of the console; false when the line is not one.
  bool GoToMessage(const std::string& line);

  // ---- Debugging ----
  // The address of the first word placed by the cursor's line, or by the next line below it
  // that placed one; nothing without a line table for the file.
  std::optional<uint32_t> CursorAddress() const;
  // The text a mouse hover shows at a byte position of an editor: an error's message, or a
  // register's or label's value. Empty: nothing to show.
  QString HoverText(TSourceEditor* editor, long position);
  // Goes to the definition of the label under a byte position; false when there is none.
  bool GoToDefinition(TSourceEditor* editor, long position);
  bool GoBack();
  void GoToLine(int line);
  // Whether the keyboard focus is in this window.
  bool HasFocus() const;
  // Follows pc: its line marked in its file's tab (opened when pc enters a file not shown).
  void ShowPc();
  // Breakpoints on their lines in every tab.
  void ShowBreakpoints();

  // ---- What the owner and the tests replace ----
  // Asks what to do with a modified file before it is lost.
  using Ask = std::function<QMessageBox::StandardButton(const QString& name)>;
  void SetAsk(Ask ask) { ask_ = std::move(ask); }
  // Asks for a path to save a new source to; empty when cancelled.
  using ChooseSavePath = std::function<QString(const QString& suggested)>;
  void SetChooseSavePath(ChooseSavePath choose) { chooseSave_ = std::move(choose); }
  // Assembles the program at `path` (reading ModifiedTexts for unsaved files) and loads it; the
  // owner shows the build through ShowBuild.
  using AssembleFn = std::function<void(const std::string& path)>;
  void SetAssemble(AssembleFn assemble) { assemble_ = std::move(assemble); }
  // Docks the window at its first showing.
  void SetPlacer(std::function<void()> place) { place_ = std::move(place); }

  // The window's commands; the main window puts them in its Program menu.
  QAction* ActionNewSource;
  QAction* ActionSave;  // Ctrl+S
  QAction* ActionSaveAs;
  QAction* ActionClose;
  QAction* ActionAssemble;  // Ctrl+B
  QAction* ActionUndo;
  QAction* ActionRedo;
  QAction* ActionFind;        // Ctrl+F in the window
  QAction* ActionReplace;     // Ctrl+H in the window
  QAction* ActionGoToLine;    // Ctrl+G in the window, as in the disassembly
  QAction* ActionDefinition;  // F12 in the window
  QAction* ActionBack;        // Alt+Left in the window

 signals:
  // The user saved a tab's file (Save, Save as; not the saves a prompt or Assemble make).
  void saved(TSourceEditor* editor);

 private:
  void BuildActions();
  TSourceEditor* AddEditor(TSourceEditor* editor, bool activate);
  void Connect(TSourceEditor* editor);
  void UpdateTitle(TSourceEditor* editor);
  void MarginClicked(TSourceEditor* editor, int line);
  void ShowHover(TSourceEditor* editor, long position, QPoint global);
  // The line table's index of an editor's file, or nothing.
  std::optional<uint32_t> FileIndexOf(const TSourceEditor* editor) const;
  QMessageBox::StandardButton AskAbout(TSourceEditor* editor);
  struct Place {
    QPointer<TSourceEditor> editor;  // an open tab, or null
    QString path;                    // else the file
    int line = 0;
    int column = 0;
  };
  // Where a label is defined: the open tabs (their text as edited) first, then the program's
  // other files as on disk.
  std::optional<Place> FindDefinition(const std::string& name);

  DebugHost& host_;
  DebugController& controller_;
  QTabWidget* tabs_;
  TSourceFindBar* find_;
  QString programPath_;
  std::vector<Place> back_;  // where Go to definition came from
  Ask ask_;
  ChooseSavePath chooseSave_;
  AssembleFn assemble_;
  std::function<void()> place_;
};
