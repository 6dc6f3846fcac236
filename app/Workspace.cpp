#include "Workspace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifndef TERVIK_EXAMPLES_FROM_BIN
#define TERVIK_EXAMPLES_FROM_BIN "../share/tervik/examples"
#endif

namespace tervik::app {

namespace {

constexpr const char* kMapName = "default.map";

bool CopyInto(const QString& from, const QString& folder, WorkspaceResult& result) {
  const QFileInfo source(from);
  if (!QFile::copy(source.filePath(), QDir(folder).filePath(source.fileName()))) return false;
  result.copied << source.fileName();
  return true;
}

}  // namespace

QString DefaultWorkspace() {
  return QDir(QDir::homePath()).filePath("Tervik");
}

QString ExamplesFolder(const QString& executableFolder) {
  return QDir::cleanPath(QDir(executableFolder).filePath(TERVIK_EXAMPLES_FROM_BIN));
}

WorkspaceResult PrepareWorkspace(const QString& workspace, const QString& examples) {
  WorkspaceResult result;
  const QDir folder(workspace);
  const QDir source(examples);
  if (!folder.exists()) {
    if (!QDir().mkpath(workspace)) {
      result.error = "Cannot create the workspace " + workspace;
      return result;
    }
    const QFileInfoList files = source.entryInfoList(QDir::Files, QDir::Name);
    for (const QFileInfo& file : files) CopyInto(file.filePath(), workspace, result);
  } else if (!folder.exists(kMapName) && source.exists(kMapName)) {
    CopyInto(source.filePath(kMapName), workspace, result);
  }
  if (!folder.exists(kMapName)) {
    result.error = "The workspace " + workspace + " has no " + kMapName + " and the examples (" +
                   examples + ") have none to copy";
    return result;
  }
  result.ok = true;
  return result;
}

}  // namespace tervik::app
