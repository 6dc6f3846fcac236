// The Program menu: a program opened from its source (assembled in-process, its listing and
// symbol file written beside it, then loaded as "Load LST file" loads a listing), symbols loaded
// by hand, and the reload of a program whose source files were saved.
#pragma once

#include <QAction>
#include <QMenu>
#include <QObject>
#include <QString>
#include <functional>
#include <string>

#include "Debugger.h"
#include "ProgramFiles.h"
#include "ProgramWatcher.h"

class TProgramMenu final : public QObject {
  Q_OBJECT

 public:
  // `choose` asks for a file to open (caption, filter, default suffix); empty when cancelled.
  // The menu's actions belong to `window`, so their shortcuts work wherever the focus is in it;
  // programs and symbols are loaded into `debugger`, which tells the views.
  using Chooser = std::function<QString(const QString&, const QString&, const QString&)>;
  TProgramMenu(QWidget& window, tervik::debug::Debugger& debugger, Chooser choose);

  QMenu* Menu() const { return menu_; }

  // What an editor of the sources adds: the unsaved texts an assembly reads instead of their
  // files, whether another program may replace the current one (false: the user kept it), and
  // what a build said (called after every assembly, successful or not, with whether it loaded).
  struct SourceHooks {
    std::function<tervik::debug::SourceTexts()> texts;
    // Where the editors saw lines added and removed since the last assembly, by file.
    std::function<tervik::debug::Session::LineMoves()> moves;
    std::function<bool(const std::string& path)> mayOpen;
    std::function<void(const std::string& path, const tervik::debug::SourceBuild&, bool loaded)>
        built;
    // Calls its argument when no run goes on, stopping a run first (a reload on change).
    std::function<void(std::function<void()>)> whenIdle;
  };
  void SetSourceHooks(SourceHooks hooks) { hooks_ = std::move(hooks); }

  // Assembles the source at `path`; on success makes its folder the working directory and opens
  // the program (Debugger::OpenProgram, which decides what a reload keeps), and watches its
  // files. Opened by the user (cause Open), the program runs in the default.map of its folder
  // when there is one, unless `folderMap` is false (a map named on the command line). Errors go
  // to the console and change nothing. Returns whether the program was loaded.
  bool OpenSource(const std::string& path,
                  tervik::debug::OpenCause cause = tervik::debug::OpenCause::Open,
                  bool folderMap = true);
  // Whether the loaded program came from a source (which "Reload previous LST file" rebuilds).
  bool FromSource() const { return !sourcePath_.empty(); }
  // Assembles and loads the source again: "Reload previous LST file", or a saved source file.
  bool Rebuild(tervik::debug::OpenCause cause = tervik::debug::OpenCause::Reload) {
    return OpenSource(sourcePath_, cause);
  }
  const std::string& SourcePath() const { return sourcePath_; }
  // A listing was loaded by hand: the program no longer comes from a source.
  void Forget();

  QAction* ActionOpenSource;
  QAction* ActionLoadSymbols;
  QAction* ActionReloadOnChange;  // checked: a saved source file reloads the program
  TProgramWatcher& Watcher() { return watcher_; }

 signals:
  // A source was opened and its program loaded (not on a reload of the same source).
  void sourceOpened(const QString& path);

 private:
  void SourceChanged();

  tervik::debug::Debugger& debugger_;
  Chooser choose_;
  QMenu* menu_;
  TProgramWatcher watcher_;
  std::string sourcePath_;
  SourceHooks hooks_;
};
