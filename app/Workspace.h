// The user's workspace: the folder the window starts in when the desktop entry starts it
// (~/Tervik), filled from the installed examples on the first start so that default.map is there.
#pragma once

#include <QString>
#include <QStringList>

namespace tervik::app {

// ~/Tervik.
QString DefaultWorkspace();

// The examples folder of a program whose executable lies in `executableFolder`: share/tervik/
// examples beside the bin folder, installed or in the build tree alike.
QString ExamplesFolder(const QString& executableFolder);

struct WorkspaceResult {
  bool ok = false;
  QString error;       // why the workspace cannot be used, when !ok
  QStringList copied;  // the files copied into it, by name
};

// Makes `workspace` ready to start in. A missing folder is created with a copy of every file of
// `examples`; an existing one is left as it is, except that default.map is copied when it has
// none (the user's own files are never overwritten). Fails when the folder cannot be created or
// ends up without default.map.
WorkspaceResult PrepareWorkspace(const QString& workspace, const QString& examples);

}  // namespace tervik::app
