// The Source window's tabs, files, commands and assembly.
#include "SourceWindow.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QTabBar>
#include <QVBoxLayout>
#include <filesystem>
#include <map>

#include "AsmLexer.h"
#include "PathNames.h"
#include "SourceEditor.h"
#include "SourceFind.h"

namespace {

QString NormalPath(const QString& path) {
  return tervik::platform::DisplayPath(
      std::filesystem::path(tervik::platform::LocalPath(QFileInfo(path).absoluteFilePath()))
          .lexically_normal()
          .string());
}

}  // namespace

TFSource::TFSource(QWidget* parent, DebugHost& host, DebugController& controller)
    : TToolDock("Source", parent, false), host_(host), controller_(controller) {
  setObjectName("FSource");
  auto* body = new QWidget(this);
  auto* layout = new QVBoxLayout(body);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  tabs_ = new QTabWidget(body);
  tabs_->setObjectName("SourceTabs");
  tabs_->setAccessibleName("Source files");
  tabs_->setTabsClosable(true);
  tabs_->setMovable(true);
  tabs_->setDocumentMode(true);
  layout->addWidget(tabs_, 1);
  find_ = new TSourceFindBar(body, [this] { return Current(); });
  layout->addWidget(find_);
  setWidget(body);
  resize(560, 420);
  SetFloatingSize({640, 480});
  connect(tabs_, &QTabWidget::tabCloseRequested, this, [this](int index) { CloseTab(index); });

  ask_ = [this](const QString& name) {
    return QMessageBox::question(this, "Source", "Save the changes to " + name + "?",
                                 QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
                                 QMessageBox::Save);
  };
  chooseSave_ = [this](const QString& suggested) {
    return QFileDialog::getSaveFileName(this, "Save source", suggested,
                                        "Assembler source (*.asm);;All files (*)");
  };
  BuildActions();

  // The views' signals: pc's line at every stop and live-view tick, the breakpoints' lines.
  connect(&controller_, &DebugController::machineChanged, this, [this] {
    ShowPc();
    ShowBreakpoints();
  });
  connect(&controller_, &DebugController::breakpointsChanged, this, &TFSource::ShowBreakpoints);
  connect(&controller_, &DebugController::symbolsChanged, this, &TFSource::ShowBreakpoints);
}

void TFSource::BuildActions() {
  auto make = [this](const QString& text, const char* name, const QKeySequence& key,
                     Qt::ShortcutContext context, auto handler) {
    auto* action = new QAction(text, this);
    action->setObjectName(name);
    if (!key.isEmpty()) action->setShortcut(key);
    action->setShortcutContext(context);
    addAction(action);  // a shortcut of the window context works where the focus is in it
    connect(action, &QAction::triggered, this, handler);
    return action;
  };
  const Qt::ShortcutContext here = Qt::WidgetWithChildrenShortcut;
  // Save and Assemble work wherever the focus is, like the window's other commands.
  const Qt::ShortcutContext anywhere = Qt::ApplicationShortcut;
  ActionNewSource = make("&New source", "ActionNewSource", {}, here, [this] { NewSource(); });
  ActionSave = make("&Save", "ActionSaveSource", QKeySequence(Qt::CTRL | Qt::Key_S), anywhere,
                    [this] { Save(); });
  ActionSaveAs = make("Save &as...", "ActionSaveSourceAs", {}, here, [this] { SaveAs(); });
  ActionClose = make("&Close source", "ActionCloseSource", {}, here,
                     [this] { CloseTab(tabs_->currentIndex()); });
  ActionAssemble = make("Assem&ble", "ActionAssemble", QKeySequence(Qt::CTRL | Qt::Key_B), anywhere,
                        [this] { Assemble(); });
  // Undo and redo keep the editor's own keys (Ctrl+Z, Ctrl+Y), which the menu shows.
  ActionUndo = make("&Undo\tCtrl+Z", "ActionUndoSource", {}, here, [this] {
    if (TSourceEditor* e = Current()) e->undo();
  });
  ActionRedo = make("&Redo\tCtrl+Y", "ActionRedoSource", {}, here, [this] {
    if (TSourceEditor* e = Current()) e->redo();
  });
  ActionFind = make("&Find...", "ActionFindSource", QKeySequence(Qt::CTRL | Qt::Key_F), here,
                    [this] { find_->Open(false); });
  ActionReplace = make("R&eplace...", "ActionReplaceSource", QKeySequence(Qt::CTRL | Qt::Key_H),
                       here, [this] { find_->Open(true); });
  ActionGoToLine =
      make("&Go to line...", "ActionGoToLine", QKeySequence(Qt::CTRL | Qt::Key_G), here, [this] {
        TSourceEditor* e = Current();
        if (e == nullptr) return;
        bool ok = false;
        const int line = AskLine(this, e->CursorLine(), e->LineCountBytes(), ok);
        if (ok) GoToLine(line);
      });
  ActionDefinition =
      make("Go to &definition", "ActionGoToDefinition", QKeySequence(Qt::Key_F12), here, [this] {
        if (TSourceEditor* e = Current()) {
          GoToDefinition(e, e->SendScintilla(QsciScintilla::SCI_GETCURRENTPOS));
        }
      });
  ActionBack = make("Go &back", "ActionGoBack", QKeySequence(Qt::ALT | Qt::Key_Left), here,
                    [this] { GoBack(); });
}

// ---- Tabs ----

TSourceEditor* TFSource::Current() const {
  return qobject_cast<TSourceEditor*>(tabs_->currentWidget());
}

TSourceEditor* TFSource::EditorAt(int index) const {
  return qobject_cast<TSourceEditor*>(tabs_->widget(index));
}

TSourceEditor* TFSource::EditorFor(const QString& path) const {
  const QString wanted = NormalPath(path);
  for (int i = 0; i < tabs_->count(); ++i) {
    TSourceEditor* e = EditorAt(i);
    if (!e->Path().isEmpty() && NormalPath(e->Path()) == wanted) return e;
  }
  return nullptr;
}

TSourceEditor* TFSource::AddEditor(TSourceEditor* editor, bool activate) {
  const int index = tabs_->addTab(editor, editor->Title());
  Connect(editor);
  UpdateTitle(editor);
  if (activate) tabs_->setCurrentIndex(index);
  if (isHidden() && place_) place_();
  show();
  return editor;
}

void TFSource::Connect(TSourceEditor* editor) {
  connect(editor, &QsciScintilla::modificationChanged, this,
          [this, editor] { UpdateTitle(editor); });
  connect(editor, &TSourceEditor::marginLineClicked, this,
          [this, editor](int line) { MarginClicked(editor, line); });
  connect(editor, &TSourceEditor::definitionClicked, this,
          [this, editor](long position) { GoToDefinition(editor, position); });
  connect(editor, &TSourceEditor::hoverAt, this,
          [this, editor](long position, QPoint global) { ShowHover(editor, position, global); });
}

// The modified marker: a '*' before the name.
void TFSource::UpdateTitle(TSourceEditor* editor) {
  const int index = tabs_->indexOf(editor);
  if (index < 0) return;
  tabs_->setTabText(index, (editor->isModified() ? "*" : "") + editor->Title());
  tabs_->setTabToolTip(index, editor->Path().isEmpty() ? editor->Title() : editor->Path());
}

TSourceEditor* TFSource::OpenFile(const QString& path, bool activate) {
  if (TSourceEditor* open = EditorFor(path)) {
    if (activate) tabs_->setCurrentWidget(open);
    return open;
  }
  auto* editor = new TSourceEditor(QFileInfo(path).absoluteFilePath());
  std::string error;
  if (!editor->Load(error)) {
    host_.Message("Cannot read '" + tervik::platform::LocalPath(path) + "': " + error);
    delete editor;
    return nullptr;
  }
  AddEditor(editor, activate);
  ShowBreakpoints();
  ShowPc();
  return editor;
}

TSourceEditor* TFSource::OpenProgram(const QString& path) {
  if (!programPath_.isEmpty() && NormalPath(programPath_) != NormalPath(path)) {
    // Another program's tabs go, except those with changes nobody was asked about.
    for (int i = tabs_->count() - 1; i >= 0; --i) {
      if (TSourceEditor* e = EditorAt(i); !e->isModified()) {
        tabs_->removeTab(i);
        e->deleteLater();
      }
    }
    back_.clear();
  }
  programPath_ = QFileInfo(path).absoluteFilePath();
  TSourceEditor* editor = OpenFile(programPath_);
  if (editor != nullptr) tabs_->tabBar()->moveTab(tabs_->indexOf(editor), 0);
  return editor;
}

TSourceEditor* TFSource::NewSource() {
  auto* editor = new TSourceEditor(QString());
  AddEditor(editor, true);
  editor->setFocus();
  return editor;
}

bool TFSource::SaveEditor(TSourceEditor* editor) {
  if (editor == nullptr) return false;
  if (editor->Path().isEmpty()) {
    const QString path = chooseSave_ ? chooseSave_("untitled.asm") : QString();
    if (path.isEmpty()) return false;
    editor->SetPath(QFileInfo(path).absoluteFilePath());
  }
  std::string error;
  if (!editor->Save(error)) {
    host_.Message("Cannot write '" + tervik::platform::LocalPath(editor->Path()) + "': " + error);
    return false;
  }
  UpdateTitle(editor);
  return true;
}

bool TFSource::Save() {
  TSourceEditor* editor = Current();
  if (!SaveEditor(editor)) return false;
  emit saved(editor);
  return true;
}

bool TFSource::SaveAs() {
  TSourceEditor* editor = Current();
  if (editor == nullptr || !chooseSave_) return false;
  const QString path = chooseSave_(editor->Path().isEmpty() ? "untitled.asm" : editor->Path());
  if (path.isEmpty()) return false;
  const QString before = editor->Path();
  editor->SetPath(QFileInfo(path).absoluteFilePath());
  if (SaveEditor(editor)) {
    emit saved(editor);
    return true;
  }
  editor->SetPath(before);
  UpdateTitle(editor);
  return false;
}

QMessageBox::StandardButton TFSource::AskAbout(TSourceEditor* editor) {
  if (!editor->isModified()) return QMessageBox::Discard;
  tabs_->setCurrentWidget(editor);
  const QMessageBox::StandardButton answer = ask_ ? ask_(editor->Title()) : QMessageBox::Cancel;
  if (answer == QMessageBox::Save)
    return SaveEditor(editor) ? QMessageBox::Save : QMessageBox::Cancel;
  return answer == QMessageBox::Discard ? QMessageBox::Discard : QMessageBox::Cancel;
}

bool TFSource::CloseTab(int index) {
  TSourceEditor* editor = EditorAt(index);
  if (editor == nullptr) return false;
  if (AskAbout(editor) == QMessageBox::Cancel) return false;
  if (!programPath_.isEmpty() && editor->Path() == programPath_) programPath_.clear();
  tabs_->removeTab(tabs_->indexOf(editor));
  editor->deleteLater();
  if (tabs_->count() == 0) hide();
  return true;
}

bool TFSource::MayDiscardAll() {
  for (int i = 0; i < tabs_->count(); ++i) {
    if (AskAbout(EditorAt(i)) == QMessageBox::Cancel) return false;
  }
  return true;
}

void TFSource::CloseAll() {
  while (tabs_->count() > 0) {
    TSourceEditor* editor = EditorAt(0);
    tabs_->removeTab(0);
    editor->deleteLater();
  }
  programPath_.clear();
  back_.clear();
}

tervik::debug::SourceTexts TFSource::ModifiedTexts() const {
  tervik::debug::SourceTexts texts;
  for (int i = 0; i < tabs_->count(); ++i) {
    const TSourceEditor* e = EditorAt(i);
    if (e->isModified() && !e->Path().isEmpty())
      texts[tervik::platform::LocalPath(NormalPath(e->Path()))] = e->Bytes();
  }
  return texts;
}

tervik::debug::Session::LineMoves TFSource::LineMoves() const {
  tervik::debug::Session::LineMoves moves;
  for (int i = 0; i < tabs_->count(); ++i) {
    const TSourceEditor* e = EditorAt(i);
    if (!e->Shifts().empty() && !e->Path().isEmpty())
      moves[tervik::platform::LocalPath(NormalPath(e->Path()))] = e->Shifts();
  }
  return moves;
}

// ---- Assembly ----

void TFSource::Assemble(TSourceEditor* editor) {
  if (editor == nullptr) editor = Current();
  if (editor == nullptr || !assemble_) return;
  if (editor->Path().isEmpty() && !SaveEditor(editor)) return;
  // An included file assembles the program that includes it.
  QString path = editor->Path();
  if (!programPath_.isEmpty() && FileIndexOf(editor).has_value()) path = programPath_;
  if (programPath_.isEmpty() || NormalPath(path) != NormalPath(programPath_)) {
    programPath_ = path;
    tabs_->tabBar()->moveTab(tabs_->indexOf(editor), 0);
  }
  assemble_(tervik::platform::LocalPath(programPath_));
}

void TFSource::ShowBuild(const tervik::debug::SourceBuild& build) {
  std::map<QString, std::vector<TSourceEditor::Diagnostic>> byFile;
  for (const tervik::assembler::Diagnostic& d : build.diagnostics) {
    byFile[NormalPath(tervik::platform::DisplayPath(d.file))].push_back(
        {static_cast<int>(d.line), static_cast<int>(d.column), 0,
         QString::fromStdString(d.message)});
  }
  // The files with errors are opened, so every error shows somewhere.
  for (const auto& [file, list] : byFile) OpenFile(file, false);
  for (int i = 0; i < tabs_->count(); ++i) {
    TSourceEditor* e = EditorAt(i);
    // A program that assembled was made from the editors' text as it stands.
    if (build.ok) e->MarkAssembled();
    const auto found = e->Path().isEmpty() ? byFile.end() : byFile.find(NormalPath(e->Path()));
    e->SetDiagnostics(found == byFile.end() ? std::vector<TSourceEditor::Diagnostic>{}
                                            : found->second);
    // An unmodified tab whose file changed on disk since it was read shows the file.
    if (!e->isModified() && !e->Path().isEmpty() &&
        QFileInfo(e->Path()).lastModified() != e->DiskStamp()) {
      const int line = e->CursorLine();
      std::string error;
      if (e->Load(error)) e->SetCursor(line, 1);
    }
  }
  ShowBreakpoints();
  ShowPc();
}

bool TFSource::GoToMessage(const std::string& line) {
  // FILE:LINE:COLUMN: ..., the file possibly holding ':' itself.
  const std::string::size_type rest = line.find(": ");
  if (rest == std::string::npos) return false;
  const std::string head = line.substr(0, rest);
  const std::string::size_type c2 = head.rfind(':');
  if (c2 == std::string::npos || c2 == 0) return false;
  const std::string::size_type c1 = head.rfind(':', c2 - 1);
  if (c1 == std::string::npos || c1 == 0) return false;
  const std::string lineText = head.substr(c1 + 1, c2 - c1 - 1);
  const std::string columnText = head.substr(c2 + 1);
  auto number = [](const std::string& s) {
    if (s.empty() || s.size() > 9 || s.find_first_not_of("0123456789") != std::string::npos) {
      return -1;
    }
    return std::stoi(s);
  };
  const int lineNo = number(lineText);
  const int column = number(columnText);
  if (lineNo < 1 || column < 1) return false;
  const QString file = tervik::platform::DisplayPath(head.substr(0, c1));
  if (!QFileInfo(file).isFile() && EditorFor(file) == nullptr) return false;
  TSourceEditor* editor = OpenFile(file);
  if (editor == nullptr) return false;
  show();
  raise();
  editor->SetCursor(lineNo, column);
  editor->setFocus();
  return true;
}
