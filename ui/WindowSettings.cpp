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
#include "ProgramMenu.h"
#include "RecentFiles.h"
#include "Tfbreakpoints.h"
#include "Tfcpu.h"
#include "Tfdebug.h"
#include "Tfmain.h"
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

std::array<TToolDock*, 3> PinnedDocks() {
  return {FCPU, FReg, FDebug};
}

// Whether the restored layout can be used: the pinned windows shown, and each docked one with
// room to show something.
bool LayoutUsable(TFMain& main) {
  if (QLayout* layout = main.layout()) layout->activate();
  for (TToolDock* dock : PinnedDocks()) {
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

bool TWindowSettings::Restore(TFMain& main) const {
  if (!QFileInfo::exists(file_)) return false;
  const QSettings settings(file_, QSettings::IniFormat);
  if (settings.status() != QSettings::NoError) return false;

  ReadOption(settings, "debug/stopWhenHalted", main.ActionStopWhenHalted);
  ReadOption(settings, "debug/liveViews", main.ActionLiveViews);
  if (main.ActionTranslate->isEnabled())
    ReadOption(settings, "debug/translate", main.ActionTranslate);
  ReadOption(settings, "program/reloadOnChange", main.Program()->ActionReloadOnChange);
  main.Recent()->SetFiles(settings.value("recent/files").toStringList());

  if (settings.value("layout/version").toInt() != kLayoutVersion) return false;
  const QSize defaultSize = main.size();
  if (!main.restoreGeometry(settings.value("layout/geometry").toByteArray()) ||
      !OnSomeScreen(main.geometry())) {
    main.resize(defaultSize);
  }
  // A saved layout brings its own floating sizes.
  auto docks = {static_cast<TToolDock*>(FCPU), static_cast<TToolDock*>(FReg),
                static_cast<TToolDock*>(FDebug), static_cast<TToolDock*>(FMem),
                static_cast<TToolDock*>(main.BreakpointsWindow())};
  std::vector<QSize> floatingSizes;
  for (TToolDock* dock : docks) {
    floatingSizes.push_back(dock->FloatingSize());
    dock->SetFloatingSize({});
  }
  const bool restored =
      main.restoreState(settings.value("layout/state").toByteArray(), kLayoutVersion) &&
      LayoutUsable(main);
  auto size = floatingSizes.begin();
  for (TToolDock* dock : docks) dock->SetFloatingSize(*size++);
  main.ToolBar3->show();
  if (const std::optional<bool> on = ReadBool(settings, "debug/toolBar"))
    main.DebugToolBar->setVisible(*on);
  if (!restored) {
    tervik::ui::ApplyDefaultLayout(main, *FCPU, *FReg, *FDebug, *FMem, false);
    return false;
  }
  // A floating window off every screen comes back beside the main window.
  for (TToolDock* dock : docks) {
    if (dock->isFloating() && !OnSomeScreen(dock->frameGeometry())) {
      if (dock->width() < kUsable || dock->height() < kUsable) dock->resize(dock->FloatingSize());
      tervik::ui::PlaceBeside(main, *dock);
    }
  }
  main.SetMemoryPlaced(ReadBool(settings, "layout/memoryPlaced").value_or(false));
  return true;
}

void TWindowSettings::Save(const TFMain& main) const {
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
  settings.setValue("layout/memoryPlaced", main.MemoryPlaced());
  settings.setValue("debug/stopWhenHalted", main.ActionStopWhenHalted->isChecked());
  settings.setValue("debug/liveViews", main.ActionLiveViews->isChecked());
  if (main.ActionTranslate->isEnabled()) {
    settings.setValue("debug/translate", main.ActionTranslate->isChecked());
  }
  settings.setValue("debug/toolBar", main.ActionShowDebugToolBar->isChecked());
  settings.setValue("program/reloadOnChange", main.Program()->ActionReloadOnChange->isChecked());
  settings.setValue("recent/files", main.Recent()->Files());
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
