// What the window remembers between runs: its geometry and the tool windows' layout, the
// debugger's checked options, the recent files and the folder each file dialog saw last. Kept in
// an INI file; a missing, older or broken file leaves the defaults.
#pragma once

#include <QString>

#include "ToolWindows.h"

class TWindowSettings final {
 public:
  // Raise when the window's docks or tool bars change in a way an older saved layout would
  // restore wrongly: a layout saved under another version is ignored.
  static constexpr int kLayoutVersion = 1;

  // The settings in `file` (created on the first Save).
  explicit TWindowSettings(QString file);

  // The user's settings file (~/.config/tervik/tervik.conf on Linux).
  static QString DefaultFile();
  const QString& File() const { return file_; }

  // Applies what the file holds to the main window and its tool windows, whose default layout
  // is in place. Each part that
  // cannot be used (a window off every screen, a pinned window hidden or squeezed to nothing, a
  // layout Qt refuses) leaves its default. Returns whether the saved layout was taken.
  bool Restore(const ToolWindows& windows) const;
  // Writes the whole state of the main window and its tool windows.
  void Save(const ToolWindows& windows) const;

  // The folder a file dialog for files of `kind` ("lst", "map", ...) opened in last; empty when
  // none is known or it no longer exists.
  QString LastFolder(const QString& kind) const;
  void NoteFolder(const QString& kind, const QString& folder) const;

 private:
  QString file_;
};
