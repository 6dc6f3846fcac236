// Watches the files a program was assembled from and calls back, once, shortly after any of them
// was saved: written in place, or replaced by a new file as many editors save.
#pragma once

#include <QDateTime>
#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>
#include <functional>
#include <map>
#include <string>
#include <vector>

class TProgramWatcher final : public QObject {
  Q_OBJECT

 public:
  // `changed` runs on the GUI thread after the files have been quiet for `settleMs`.
  TProgramWatcher(QObject* parent, std::function<void()> changed, int settleMs = 300);

  // Watches these files (and the folders they are in) instead of any before. A file that does
  // not exist is watched for: creating it counts as a change.
  void Watch(const std::vector<std::string>& files);
  void Clear();
  const std::vector<std::string>& Files() const { return files_; }

 private:
  struct Stamp {
    QDateTime modified;
    qint64 size = -1;
    bool operator==(const Stamp&) const = default;
  };
  static Stamp StampOf(const std::string& file);
  // Adds the files that exist and the folders of all of them (the nearest existing folder above
  // one that is missing) to the watch.
  void WatchPaths();
  void Settled();

  std::function<void()> changed_;
  QFileSystemWatcher watcher_;
  QTimer settle_;
  std::vector<std::string> files_;
  std::map<std::string, Stamp> stamps_;
};
