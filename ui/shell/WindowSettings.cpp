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
#include <algorithm>
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

// A title bar at least this tall is assumed where the platform tells no frame (offscreen, or a
// window not shown yet), and at least this much of its width must be on a screen to grab it.
constexpr int kTitleHeight = 24;
constexpr int kTitleGrip = 100;

// The strip along the top of a window with frame `frame` and contents `inner` that holds its
// title bar.
QRect TitleBar(const QRect& frame, const QRect& inner) {
  return {frame.left(), frame.top(), frame.width(),
          std::max(inner.top() - frame.top(), kTitleHeight)};
}

// The saved geometry `inner` (with frame `frame`) made to fit a screen: its size cut to the
// screen's available area, its place kept. Nothing when no screen holds the title bar of the
// fitted window whole in height and enough of it in width to grab.
std::optional<QRect> FitToScreen(const QRect& frame, const QRect& inner) {
  const QMargins margins(inner.left() - frame.left(), inner.top() - frame.top(),
                         frame.right() - inner.right(), frame.bottom() - inner.bottom());
  for (const QScreen* screen : QGuiApplication::screens()) {
    const QRect room = screen->availableGeometry();
    const QSize size =
        inner.size().boundedTo(room.size().shrunkBy(margins)).expandedTo(QSize(kUsable, kUsable));
    const QRect fitted(inner.topLeft(), size);
    const QRect bar = TitleBar(fitted.marginsAdded(margins), fitted);
    const QRect seen = room.intersected(bar);
    if (seen.height() == bar.height() && seen.width() >= std::min(bar.width(), kTitleGrip)) {
      return fitted;
    }
  }
  return std::nullopt;
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
  if (w.translate->isEnabled()) ReadOption(settings, "debug/translate", w.translate);
  ReadOption(settings, "program/reloadOnChange", w.reloadOnChange);
  w.recent->SetFiles(settings.value("recent/files").toStringList());

  if (settings.value("layout/version").toInt() != kLayoutVersion) return false;
  // A saved geometry counts only with its title bar on a screen (a screen since removed, or a
  // file written by hand, may put it anywhere); its size is cut to that screen.
  const QRect defaultGeometry = main.geometry();
  const bool wasMoved = main.testAttribute(Qt::WA_Moved);
  auto useDefault = [&] {
    // As if nothing were restored: the default size, and the place the window system chooses.
    main.setWindowState(Qt::WindowNoState);
    main.setGeometry(defaultGeometry);
    main.setAttribute(Qt::WA_Moved, wasMoved);
  };
  if (!main.restoreGeometry(settings.value("layout/geometry").toByteArray())) {
    useDefault();
  } else if (!main.isMaximized() && !main.isFullScreen()) {
    if (const std::optional<QRect> fitted = FitToScreen(main.frameGeometry(), main.geometry())) {
      main.setGeometry(*fitted);
    } else {
      useDefault();
    }
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
  if (w.translate->isEnabled()) {
    settings.setValue("debug/translate", w.translate->isChecked());
  }
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
