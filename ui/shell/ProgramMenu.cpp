// Opening a program from its source, loading symbols, reloading on change.
#include "ProgramMenu.h"

#include <QTimer>
#include <filesystem>

#include "PathNames.h"
#include "ProgramFiles.h"

TProgramMenu::TProgramMenu(QWidget& main, tervik::debug::Debugger& debugger, Chooser choose)
    : QObject(&main),
      debugger_(debugger),
      choose_(std::move(choose)),
      menu_(new QMenu("&Program", &main)),
      watcher_(this, [this] { SourceChanged(); }) {
  menu_->setObjectName("ProgramMenu");
  ActionOpenSource = new QAction("&Open source...", &main);
  ActionOpenSource->setObjectName("ActionOpenSource");
  ActionOpenSource->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  ActionLoadSymbols = new QAction("Load &symbols...", &main);
  ActionLoadSymbols->setObjectName("ActionLoadSymbols");
  ActionReloadOnChange = new QAction("&Reload on change", &main);
  ActionReloadOnChange->setObjectName("ActionReloadOnChange");
  ActionReloadOnChange->setCheckable(true);
  ActionReloadOnChange->setChecked(true);
  for (QAction* a : {ActionOpenSource, ActionLoadSymbols, ActionReloadOnChange}) {
    main.addAction(a);  // the shortcut works wherever the focus is in the window
    menu_->addAction(a);
  }
  connect(ActionOpenSource, &QAction::triggered, this, [this] {
    const QString path = choose_("Open source", "Assembler source (*.asm);;All files (*)", "asm");
    if (path.isEmpty()) return;
    if (hooks_.mayOpen && !hooks_.mayOpen(tervik::platform::LocalPath(path))) return;
    OpenSource(tervik::platform::LocalPath(path));
  });
  connect(ActionLoadSymbols, &QAction::triggered, this, [this] {
    const QString path = choose_("Load symbols", "Symbol file (*.sym);;All files (*)", "sym");
    if (path.isEmpty()) return;
    debugger_.LoadSymbolFile(tervik::platform::LocalPath(path), true, false);
    debugger_.NotifyMachine();
  });
  connect(ActionReloadOnChange, &QAction::toggled, this, [this](bool on) {
    if (!on) watcher_.Clear();
    if (on && FromSource()) Rebuild();
  });
}

bool TProgramMenu::OpenSource(const std::string& path, tervik::debug::OpenCause cause,
                              bool folderMap) {
  // The path's bytes stay as they are: a name that is not UTF-8 has no QString of its own.
  std::error_code ec;
  std::string absolute = std::filesystem::absolute(path, ec).lexically_normal().string();
  if (ec) absolute = path;
  const tervik::debug::SourceBuild build = debugger_.OpenSource(
      absolute, cause, folderMap, hooks_.texts ? hooks_.texts() : tervik::debug::SourceTexts{},
      hooks_.moves ? hooks_.moves() : tervik::debug::Session::LineMoves{});
  // Even a failed build watches its files: the next save may mend it.
  sourcePath_ = absolute;
  if (ActionReloadOnChange->isChecked()) {
    watcher_.Watch(build.files.empty() ? std::vector<std::string>{absolute} : build.files);
  }
  if (hooks_.built) hooks_.built(absolute, build, build.ok);
  // Recent files lists a source the user opened; reloads and assemblies keep their place.
  if (build.ok && cause == tervik::debug::OpenCause::Open) {
    emit sourceOpened(tervik::platform::DisplayPath(absolute));
  }
  return build.ok;
}

void TProgramMenu::Forget() {
  sourcePath_.clear();
  watcher_.Clear();
}

void TProgramMenu::SourceChanged() {
  if (!FromSource() || !ActionReloadOnChange->isChecked()) return;
  // The reload comes from the event loop. It is a fresh start, so a run going on is stopped
  // first rather than left to go on from address 0 in the new program.
  QTimer::singleShot(0, this, [this] {
    auto reload = [this] {
      if (FromSource()) Rebuild(tervik::debug::OpenCause::Changed);
    };
    if (hooks_.whenIdle) {
      hooks_.whenIdle(reload);
    } else {
      reload();
    }
  });
}
