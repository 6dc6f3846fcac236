// The files opened last (listings and memory maps), newest first, as a menu that opens them again.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QMenu;

class TRecentFiles final : public QObject {
  Q_OBJECT

 public:
  static constexpr int kMaxFiles = 8;

  // `open` opens one of the files again; the menu is rebuilt each time it is about to show.
  TRecentFiles(QMenu* menu, std::function<void(const QString&)> open);

  // Puts `path` (made absolute) first; an earlier entry of the same file goes, and the oldest
  // beyond kMaxFiles.
  void Note(const QString& path);
  const QStringList& Files() const { return files_; }
  // Takes a stored list: empty entries and repeats are dropped, at most kMaxFiles kept.
  void SetFiles(const QStringList& files);
  // During a run nothing is opened: the menu is disabled whatever it lists.
  void SetBlocked(bool blocked);

 private:
  void Rebuild();

  QMenu* menu_;
  std::function<void(const QString&)> open_;
  bool blocked_ = false;
  QStringList files_;
};
