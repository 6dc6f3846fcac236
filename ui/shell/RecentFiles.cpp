// The recent-files list and its menu.
#include "RecentFiles.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>

TRecentFiles::TRecentFiles(QMenu* menu, std::function<void(const QString&)> open)
    : QObject(menu), menu_(menu), open_(std::move(open)) {
  menu_->setObjectName("RecentFilesMenu");
  connect(menu_, &QMenu::aboutToShow, this, &TRecentFiles::Rebuild);
  Rebuild();
}

void TRecentFiles::Note(const QString& path) {
  QStringList files = files_;
  files.prepend(QFileInfo(path).absoluteFilePath());
  SetFiles(files);
}

void TRecentFiles::SetFiles(const QStringList& files) {
  files_.clear();
  for (const QString& file : files) {
    if (!file.isEmpty() && !files_.contains(file)) files_.append(file);
    if (files_.size() == kMaxFiles) break;
  }
  // The items are made when the menu opens: one may be the item being triggered right now.
  menu_->setEnabled(!blocked_ && !files_.isEmpty());
}

void TRecentFiles::SetBlocked(bool blocked) {
  blocked_ = blocked;
  menu_->setEnabled(!blocked_ && !files_.isEmpty());
}

void TRecentFiles::Rebuild() {
  menu_->clear();
  for (qsizetype i = 0; i < files_.size(); ++i) {
    const QString file = files_[i];
    // "&1 counter.lst  (/home/me/Tervik)": the number is the menu key.
    const QFileInfo info(file);
    QString name = info.fileName();
    name.replace('&', "&&");
    QAction* item = menu_->addAction(QString("&%1 %2  (%3)")
                                         .arg(i + 1)
                                         .arg(name, QDir::toNativeSeparators(info.absolutePath())));
    // Queued: opening a file notes it, which reorders the list while the item is still in use.
    connect(
        item, &QAction::triggered, this, [this, file] { open_(file); }, Qt::QueuedConnection);
  }
  menu_->setEnabled(!blocked_ && !files_.isEmpty());
}
