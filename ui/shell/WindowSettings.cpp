// Saving and restoring the window's settings.
#include "WindowSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <array>
#include <optional>
#include <vector>

#include "DockLayout.h"
#include "RecentFiles.h"
#include "Tfbreakpoints.h"
#include "Tfcpu.h"
#include "Tfdebug.h"
#include "Tfmem.h"
#include "Tfreg.h"

namespace {

// A window smaller than this, docked, counts as squeezed to nothing; one that shows less than
// this of itself on every screen counts as off the screens.
constexpr int kUsable = 40;

// Only a real boolean counts: anything else in the file leaves the default.
std::optional<bool> ReadBool(const QSettings& settings, const QString& key) {
  const QVariant value = settings.value(key);
  if (value.typeId() == QMetaType::Bool) return value.toBool();
  const QString text = value.toString();
  if (text == "true") return true;
  if (text == "false") return false;
  return std::nullopt;
}

void ReadOption(const QSettings& settings, const QString& key, QAction* action) {
  if (const std::optional<bool> on = ReadBool(settings, key)) action->setChecked(*on);
}

bool OnSomeScreen(const QRect& frame) {
  for (const QScreen* screen : QGuiApplication::screens()) {
    const QRect seen = screen->availableGeometry().intersected(frame);
    if (seen.width() >= kUsable && seen.height() >= kUsable) return true;
  }
  return false;
}

std::array<TToolDock*, 3> PinnedDocks(const ToolWindows& w) {
  return {w.cpu, w.reg, w.console};
}

// Whether the restored layout can be used: the pinned windows shown, and each docked one with
// room to show something.
bool LayoutUsable(const ToolWindows& w) {
  QMainWindow& main = *w.window;
  if (QLayout* layout = main.layout()) layout->activate();
  for (TToolDock* dock : PinnedDocks(w)) {
    if (dock->isHidden()) return false;
    if (!dock->isFloating() && (main.dockWidgetArea(dock) == Qt::NoDockWidgetArea ||
                                dock->width() < kUsable || dock->height() < kUsable)) {
      return false;
    }
  }
  return true;
}

}  // namespace

TWindowSettings::TWindowSettings(QString file) : file_(std::move(file)) {}

QString TWindowSettings::DefaultFile() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         "/tervik/tervik.conf";
}

bool TWindowSettings::Restore(const ToolWindows& w) const {
  QMainWindow& main = *w.window;
  if (!QFileInfo::exists(file_)) return false;
  const QSettings settings(file_, QSettings::IniFormat);
  if (settings.status() != QSettings::NoError) return false;

  ReadOption(settings, "debug/stopWhenHalted", w.stopWhenHalted);
  ReadOption(settings, "debug/liveViews", w.liveViews);
  ReadOption(settings, "program/reloadOnChange", w.reloadOnChange);
  w.recent->SetFiles(settings.value("recent/files").toStringList());

  if (settings.value("layout/version").toInt() != kLayoutVersion) return false;
  const QSize defaultSize = main.size();
  if (!main.restoreGeometry(settings.value("layout/geometry").toByteArray()) ||
      !OnSomeScreen(main.geometry())) {
    main.resize(defaultSize);
  }
  // A saved layout brings its own floating sizes.
  std::vector<TToolDock*> docks = {w.cpu, w.reg, w.console, w.memory, w.breakpoints};
  docks.insert(docks.end(), w.views.begin(), w.views.end());
  std::vector<QSize> floatingSizes;
  for (TToolDock* dock : docks) {
    floatingSizes.push_back(dock->FloatingSize());
    dock->SetFloatingSize({});
  }
  const bool restored =
      main.restoreState(settings.value("layout/state").toByteArray(), kLayoutVersion) &&
      LayoutUsable(w);
  auto size = floatingSizes.begin();
  for (TToolDock* dock : docks) dock->SetFloatingSize(*size++);
  w.toolBar->show();
  if (const std::optional<bool> on = ReadBool(settings, "debug/toolBar"))
    w.debugToolBar->setVisible(*on);
  if (!restored) {
    tervik::ui::ApplyDefaultLayout(main, *w.cpu, *w.reg, *w.console, *w.memory, false);
    return false;
  }
  // A floating window off every screen comes back beside the main window; one mostly off its
  // screen comes fully onto it, as does the main window.
  tervik::ui::KeepOnScreen(main);
  for (TToolDock* dock : docks) {
    if (dock->isFloating() && !OnSomeScreen(dock->frameGeometry())) {
      if (dock->width() < kUsable || dock->height() < kUsable) dock->resize(dock->FloatingSize());
      tervik::ui::PlaceBeside(main, *dock);
    } else if (dock->isFloating()) {
      tervik::ui::KeepOnScreen(*dock);
    }
  }
  *w.memoryPlaced = ReadBool(settings, "layout/memoryPlaced").value_or(false);
  return true;
}

void TWindowSettings::Save(const ToolWindows& w) const {
  const QMainWindow& main = *w.window;
  QDir().mkpath(QFileInfo(file_).absolutePath());
  {
    // A file QSettings cannot read would not be written either: start it afresh.
    const QSettings old(file_, QSettings::IniFormat);
    if (old.status() != QSettings::NoError) QFile::remove(file_);
  }
  QSettings settings(file_, QSettings::IniFormat);
  settings.setValue("layout/version", kLayoutVersion);
  settings.setValue("layout/geometry", main.saveGeometry());
  settings.setValue("layout/state", main.saveState(kLayoutVersion));
  settings.setValue("layout/memoryPlaced", *w.memoryPlaced);
  settings.setValue("debug/stopWhenHalted", w.stopWhenHalted->isChecked());
  settings.setValue("debug/liveViews", w.liveViews->isChecked());
  settings.setValue("debug/toolBar", w.showDebugToolBar->isChecked());
  settings.setValue("program/reloadOnChange", w.reloadOnChange->isChecked());
  settings.setValue("recent/files", w.recent->Files());
  settings.sync();
}

QString TWindowSettings::LastFolder(const QString& kind) const {
  const QSettings settings(file_, QSettings::IniFormat);
  const QString folder = settings.value("folders/" + kind).toString();
  return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QString();
}

void TWindowSettings::NoteFolder(const QString& kind, const QString& folder) const {
  QSettings settings(file_, QSettings::IniFormat);
  if (settings.status() != QSettings::NoError) return;  // Save starts a broken file afresh
  settings.setValue("folders/" + kind, folder);
}
