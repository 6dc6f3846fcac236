// The Watch, Call stack and Symbols windows and their Debug menu entries.
#include "DebugViews.h"

#include <QMenu>

#include "DockLayout.h"
#include "Tfcallstack.h"
#include "Tfsymbols.h"
#include "Tfwatch.h"

TDebugViews::TDebugViews(QMainWindow& main, DebugController& controller,
                         std::function<void(uint32_t)> showCode,
                         std::function<void(uint32_t)> showData)
    : QObject(&main),
      main_(main),
      watch_(new TFWatch(&main, controller)),
      callStack_(new TFCallStack(&main, controller, showCode)),
      symbols_(new TFSymbols(&main, controller, showCode, showData)) {
  struct Entry {
    QAction*& action;
    const char* caption;
    const char* name;
    TToolDock* dock;
  };
  const Entry entries[] = {
      {ActionShowWatch, "&Watch", "ActionShowWatch", watch_},
      {ActionShowCallStack, "C&all stack", "ActionShowCallStack", callStack_},
      {ActionShowSymbols, "Sy&mbols", "ActionShowSymbols", symbols_},
  };
  for (const Entry& e : entries) {
    e.dock->hide();
    e.action = new QAction(e.caption, &main);
    e.action->setObjectName(e.name);
    TToolDock* dock = e.dock;
    connect(e.action, &QAction::triggered, this, [this, dock] { Show(*dock); });
  }
}

void TDebugViews::AddActions(QMenu& menu) const {
  menu.addAction(ActionShowWatch);
  menu.addAction(ActionShowCallStack);
  menu.addAction(ActionShowSymbols);
}

void TDebugViews::Show(TToolDock& dock) {
  if (main_.dockWidgetArea(&dock) == Qt::NoDockWidgetArea) {
    // The first showing: floating beside the main window, clear of the other floating windows.
    main_.addDockWidget(Qt::RightDockWidgetArea, &dock);
    dock.setFloating(true);
    dock.resize(dock.FloatingSize());
    tervik::ui::PlaceBeside(main_, dock);
  }
  dock.show();
  dock.raise();
}

void TDebugViews::Watch(const std::string& text) {
  Show(*watch_);
  watch_->Model()->Add(QString::fromStdString(text));
}

void TDebugViews::HideAll() {
  for (TToolDock* dock : Docks()) dock->hide();
}

std::vector<TToolDock*> TDebugViews::Docks() const {
  return {watch_, callStack_, symbols_};
}
