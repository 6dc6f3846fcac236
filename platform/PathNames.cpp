// Recovering file names that are not valid UTF-8.
#include "PathNames.h"

#include <dirent.h>

#include <QFile>
#include <QStringList>
#include <memory>
#include <optional>

namespace tervik::platform {
namespace {

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

// The bytes of the entry of `folder` whose decoded name is `name`, when exactly one is.
std::optional<std::string> EntryNamed(const std::string& folder, const QString& name) {
  std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.empty() ? "." : folder.c_str()));
  if (!dir) return std::nullopt;
  std::optional<std::string> found;
  while (const dirent* entry = ::readdir(dir.get())) {
    if (QFile::decodeName(entry->d_name) != name) continue;
    if (found) return std::nullopt;
    found = entry->d_name;
  }
  return found;
}

}  // namespace

std::string LocalPath(const QString& path) {
  if (!path.contains(QChar::ReplacementCharacter)) return QFile::encodeName(path).toStdString();
  std::string bytes;
  const QStringList parts = path.split('/');
  for (qsizetype i = 0; i < parts.size(); ++i) {
    if (i > 0) bytes += '/';
    const QString& part = parts[i];
    std::optional<std::string> entry;
    if (part.contains(QChar::ReplacementCharacter)) {
      entry = EntryNamed(bytes, part);  // the folder so far, '/' included
    }
    bytes += entry ? *entry : QFile::encodeName(part).toStdString();
  }
  return bytes;
}

QString DisplayPath(const std::string& path) {
  return QFile::decodeName(
      QByteArray::fromRawData(path.data(), static_cast<qsizetype>(path.size())));
}

}  // namespace tervik::platform
