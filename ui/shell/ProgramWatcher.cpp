// Watching a program's source files.
#include "ProgramWatcher.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <algorithm>

TProgramWatcher::TProgramWatcher(QObject* parent, std::function<void()> changed, int settleMs)
    : QObject(parent), changed_(std::move(changed)) {
  settle_.setSingleShot(true);
  settle_.setInterval(settleMs);
  connect(&settle_, &QTimer::timeout, this, &TProgramWatcher::Settled);
  // A save may come as several writes, or as a new file renamed over the old one (which the
  // folder's signal shows); either way the check waits until the files are quiet.
  auto poke = [this] { settle_.start(); };
  connect(&watcher_, &QFileSystemWatcher::fileChanged, this, poke);
  connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, poke);
}

TProgramWatcher::Stamp TProgramWatcher::StampOf(const std::string& file) {
  const QFileInfo info(QString::fromStdString(file));
  if (!info.exists()) return {};
  return {info.lastModified(), info.size()};
}

void TProgramWatcher::Clear() {
  settle_.stop();
  if (!watcher_.files().isEmpty()) watcher_.removePaths(watcher_.files());
  if (!watcher_.directories().isEmpty()) watcher_.removePaths(watcher_.directories());
  files_.clear();
  stamps_.clear();
}

void TProgramWatcher::Watch(const std::vector<std::string>& files) {
  Clear();
  files_ = files;
  for (const std::string& file : files_) stamps_[file] = StampOf(file);
  WatchPaths();
}

void TProgramWatcher::WatchPaths() {
  QStringList paths;
  for (const std::string& file : files_) {
    const QFileInfo info(QString::fromStdString(file));
    if (info.exists()) paths << info.absoluteFilePath();
    // A file that does not exist yet shows up as a change of its folder, or, while that is
    // missing too, of the nearest folder above it that exists.
    QDir folder = info.absoluteDir();
    while (!folder.exists() && folder.cdUp()) {
    }
    if (folder.exists()) paths << folder.absolutePath();
  }
  paths.removeDuplicates();
  const QStringList watched = watcher_.files() + watcher_.directories();
  paths.erase(std::remove_if(paths.begin(), paths.end(),
                             [&](const QString& path) { return watched.contains(path); }),
              paths.end());
  if (!paths.isEmpty()) watcher_.addPaths(paths);
}

void TProgramWatcher::Settled() {
  bool changed = false;
  for (const std::string& file : files_) {
    const Stamp now = StampOf(file);
    if (!(now == stamps_[file])) changed = true;
    stamps_[file] = now;
  }
  // A file replaced by another is no longer watched under its name, and a file or folder that
  // appeared is watched from now on.
  WatchPaths();
  if (changed) changed_();
}
