// The session file of the program a debugger has open, kept so that nothing the user has is
// lost: it is read once when the program is opened and written only when the user changed
// something since (a breakpoint, a watchpoint, a watch expression), and then only with those
// changes applied to the file's own lines (SessionDocument). Only a regular file is read or
// written: a symbolic link, a FIFO, a device or a folder named X.session is left alone, as is a
// file that could not be read whole; a text the reader would refuse is never written. When the
// file changed on disk since it was read or written here (another window on the same program),
// this window's changes are applied to the file as it is now, so the other window's are kept.
#pragma once

#include <cstddef>
#include <set>
#include <string>

#include "Console.h"
#include "SessionDocument.h"

namespace tervik::debug {

// A session file larger than this is not one: nobody sets that many breakpoints.
inline constexpr size_t kMaxSessionFileBytes = 4u << 20;

class SessionStore {
 public:
  // Takes the session file at `path` (`shown` as the console names it) for the program now
  // opened: restores its items into `session` and `watches` (which the caller has emptied), with
  // one console line on `console`.
  void Restore(const std::string& path, const std::string& shown, Session& session,
               WatchList& watches, ConsoleSink& console);
  // Writes what changed in `session` and `watches` since the file was read or last written;
  // nothing when nothing changed. A file it must not write is said once on `console`.
  void Save(const Session& session, const WatchList& watches, ConsoleSink& console);

 private:
  // Says `line` unless it was said already for this program.
  void TellOnce(const std::string& line, ConsoleSink& console);

  std::string path_;  // empty: no program
  std::string shown_;
  SessionState base_;         // the items as last read or written
  SessionDocument document_;  // the file's lines then
  std::string baseText_;      // and its text
  bool baseExists_ = false;   // whether there was a file then
  std::string blocked_;       // why the file is left alone for the program's life
  std::set<std::string> told_;
};

}  // namespace tervik::debug
