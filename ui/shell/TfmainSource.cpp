// The main window's side of the Source window: its commands in a section of the Program menu,
// its first docking beside the disassembly, assembling through the Program menu's open-source
// path (a reload of the same program), the console's FILE:LINE:COLUMN lines, and the Debug
// menu's commands in source lines while it has the focus.
#include <QApplication>
#include <QListView>
#include <QMenu>
#include <QTimer>
#include <algorithm>

#include "PathNames.h"
#include "ProgramMenu.h"
#include "SourceEditor.h"
#include "SourceWindow.h"
#include "Tfcpu.h"
#include "Tfdebug.h"
#include "Tfmain.h"
#include "Tfreg.h"

void TFMain::BuildSourceWindow() {
  source_ = new TFSource(this, *this, controller_);
  source_->hide();
  source_->SetPlacer([this] {
    if (dockWidgetArea(source_) != Qt::NoDockWidgetArea) return;
    // Beside the disassembly when it is docked, else on the right.
    addDockWidget(Qt::TopDockWidgetArea, source_);
    if (FCPU == nullptr || FCPU->isFloating() || dockWidgetArea(FCPU) != Qt::TopDockWidgetArea) {
      return;
    }
    splitDockWidget(FCPU, source_, Qt::Horizontal);
    // Between the disassembly and the registers: the registers keep what their columns need,
    // the disassembly and the source share the rest. Again once the window is laid out (at
    // start-up a source opens before the window is shown).
    auto share = [this] {
      if (source_->isFloating() || FCPU->isFloating()) return;
      const bool regBeside = FReg != nullptr && !FReg->isHidden() && !FReg->isFloating() &&
                             dockWidgetArea(FReg) == Qt::TopDockWidgetArea;
      const int reg = regBeside ? std::min(FReg->width(), 380) : 0;
      const int rest = FCPU->width() + source_->width() + (regBeside ? FReg->width() - reg : 0);
      if (regBeside) {
        resizeDocks({FCPU, source_, FReg}, {rest / 2, rest - rest / 2, reg}, Qt::Horizontal);
      } else {
        resizeDocks({FCPU, source_}, {rest / 2, rest - rest / 2}, Qt::Horizontal);
      }
    };
    share();
    QTimer::singleShot(0, this, share);
  });
  source_->SetAssemble([this](const std::string& path) {
    const bool same = program_->FromSource() && program_->SourcePath() == path;
    program_->OpenSource(
        path, same ? tervik::debug::OpenCause::Assembled : tervik::debug::OpenCause::Open);
  });
  TProgramMenu::SourceHooks hooks;
  hooks.texts = [this] { return source_->ModifiedTexts(); };
  hooks.moves = [this] { return source_->LineMoves(); };
  hooks.mayOpen = [this](const std::string& path) { return MaySwitchProgram(path); };
  hooks.built = [this](const std::string& path, const tervik::debug::SourceBuild& build, bool) {
    // A program opened from its source shows it; a build of the same program its errors.
    const QString file = tervik::platform::DisplayPath(path);
    if (source_->EditorFor(file) == nullptr || source_->ProgramPath().isEmpty()) {
      source_->OpenProgram(file);
    }
    source_->ShowBuild(build);
  };
  hooks.whenIdle = [this](std::function<void()> call) { controller_.WhenIdle(std::move(call)); };
  program_->SetSourceHooks(std::move(hooks));
  // Saving assembles when the program reloads on change (the watcher then finds nothing new).
  connect(source_, &TFSource::saved, this, [this](TSourceEditor* editor) {
    if (program_->ActionReloadOnChange->isChecked() && !controller_.Running()) {
      source_->Assemble(editor);
    }
  });
}

void TFMain::AddSourceMenu(QMenu* program) {
  program->addSeparator();
  for (QAction* a : {source_->ActionNewSource, source_->ActionSave, source_->ActionSaveAs,
                     source_->ActionClose, source_->ActionAssemble}) {
    program->addAction(a);
  }
  program->addSeparator();
  for (QAction* a :
       {source_->ActionUndo, source_->ActionRedo, source_->ActionFind, source_->ActionReplace,
        source_->ActionGoToLine, source_->ActionDefinition, source_->ActionBack}) {
    program->addAction(a);
  }
}

void TFMain::ConnectSourceWindow() {
  // A FILE:LINE:COLUMN line of the console: a click puts the source's cursor there.
  auto go = [this](const QModelIndex& index) {
    if (!index.isValid()) return;
    source_->GoToMessage(std::string(FDebug->Model()->Line(static_cast<size_t>(index.row()))));
  };
  connect(FDebug->ListBox1, &QListView::clicked, this, go);
  connect(FDebug->ListBox1, &QListView::activated, this, go);
  // Assembling reloads the program: not while it runs.
  connect(&controller_, &DebugController::runStarted, this,
          [this] { source_->ActionAssemble->setEnabled(false); });
  connect(&controller_, &DebugController::runFinished, this,
          [this] { source_->ActionAssemble->setEnabled(true); });
}

bool TFMain::SourceHasFocus() const {
  return source_ != nullptr && source_->isVisible() && source_->HasFocus();
}

uint32_t TFMain::RunToCursorAddress() const {
  if (SourceHasFocus()) {
    if (const std::optional<uint32_t> address = source_->CursorAddress()) return *address;
  }
  return FCPU->CursorAddress();
}

bool TFMain::MaySwitchProgram(const std::string& source) {
  const QString shown = tervik::platform::DisplayPath(source);
  if (!source.empty() && source_->EditorFor(shown) != nullptr && source_->ProgramPath() == shown) {
    return true;  // the same program again: its tabs stay, unsaved text included
  }
  if (!source_->MayDiscardAll()) return false;
  source_->CloseAll();
  source_->hide();
  return true;
}
