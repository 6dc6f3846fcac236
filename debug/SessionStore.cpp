// Reading and writing a program's session file, by the rules in SessionStore.h.
#include "SessionStore.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "Files.h"
#include "SessionFile.h"

namespace tervik::debug {

namespace {

// What is at a session file's path, its symbolic links not followed.
struct Found {
  bool missing = false;
  bool regular = false;
  std::string why;  // for anything else: "it is a symbolic link"
};

Found Examine(const std::string& path) {
  Found found;
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) {
    found.missing = errno == ENOENT;
    found.why = std::strerror(errno);
    return found;
  }
  found.regular = S_ISREG(info.st_mode);
  found.why = S_ISLNK(info.st_mode)    ? "it is a symbolic link"
              : S_ISFIFO(info.st_mode) ? "it is a FIFO"
              : S_ISDIR(info.st_mode)  ? "it is a folder"
              : S_ISSOCK(info.st_mode) ? "it is a socket"
                                       : "it is a device";
  return found;
}

// "2 breakpoints", "1 watchpoint".
std::string Count(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The console line names this many skipped items at most, then how many more there are.
constexpr size_t kSkippedShown = 10;

}  // namespace

void SessionStore::Restore(const std::string& path, const std::string& shown, Session& session,
                           WatchList& watches, ConsoleSink& console) {
  path_ = path;
  shown_ = shown;
  base_ = {};
  document_ = {};
  baseText_.clear();
  baseExists_ = false;
  blocked_.clear();
  told_.clear();
  const Found found = Examine(path);
  if (found.missing) {
    console.AppendLine("No session file " + shown + ": no breakpoints or watches to restore");
    return;
  }
  std::string text;
  std::string error;
  if (!found.regular) {
    blocked_ = found.why;
  } else if (!platform::ReadRegularFile(path, text, error, kMaxSessionFileBytes)) {
    blocked_ = "it could not be read whole when the program was opened (" + error + ")";
  }
  if (!blocked_.empty()) {
    console.AppendLine("Cannot read the session file " + shown + ": " +
                       (found.regular ? error : found.why) +
                       "; nothing restored, and the file is left as it is");
    return;
  }
  const SessionRead read = ReadSessionText(text);
  std::vector<std::string> skipped = read.problems;
  for (std::string& problem : Apply(read.session, session, watches)) {
    skipped.push_back(std::move(problem));
  }
  std::string line =
      "Restored " + Count(session.Breakpoints().size(), "breakpoint", "breakpoints") + ", " +
      Count(session.Watchpoints().size(), "watchpoint", "watchpoints") + " and " +
      Count(watches.size(), "watch expression", "watch expressions") + " from " + shown;
  if (!skipped.empty()) {
    line += "; skipped " + std::to_string(skipped.size()) + ":";
    for (size_t i = 0; i < skipped.size() && i < kSkippedShown; ++i) {
      line += (i ? "; " : " ") + skipped[i];
    }
    if (skipped.size() > kSkippedShown) {
      line += "; and " + std::to_string(skipped.size() - kSkippedShown) + " more";
    }
    line += " (kept in the file)";
  }
  console.AppendLine(line);
  base_ = StateOf(session, watches);
  document_ = SessionDocument(text);
  baseText_ = std::move(text);
  baseExists_ = true;
}

void SessionStore::Save(const Session& session, const WatchList& watches, ConsoleSink& console) {
  if (path_.empty()) return;
  SessionState now = StateOf(session, watches);
  const SessionChanges changes = Changes(base_, now);
  if (changes.empty()) return;
  const std::string refused = "Not writing the session file " + shown_ + ": ";
  if (!blocked_.empty()) {
    TellOnce(refused + blocked_, console);
    return;
  }
  // The file as it is now: the one last read or written here, or one another window changed.
  const Found found = Examine(path_);
  SessionDocument document;
  bool theirs = false;
  if (found.missing) {
    theirs = baseExists_;
  } else if (!found.regular) {
    TellOnce(refused + found.why, console);
    return;
  } else {
    std::string text;
    std::string error;
    if (!platform::ReadRegularFile(path_, text, error, kMaxSessionFileBytes)) {
      TellOnce(refused + "it cannot be read whole (" + error + ")", console);
      return;
    }
    theirs = !baseExists_ || text != baseText_;
    document = theirs ? SessionDocument(text) : document_;
  }
  document.Apply(changes, session);
  std::string text = document.Text();
  if (text.size() > kMaxSessionFileBytes) {
    TellOnce(refused + "it would be larger than the " + std::to_string(kMaxSessionFileBytes) +
                 " bytes a session file may have",
             console);
    return;
  }
  std::string error;
  if (!platform::WriteOutput(path_, text, error)) {
    TellOnce("Cannot write the session file " + shown_ + ": " + error, console);
    return;
  }
  if (theirs) {
    console.AppendLine("The session file " + shown_ +
                       " was changed by another window since this one read it: its changes "
                       "were kept, and this window's added");
  }
  base_ = std::move(now);
  document_ = std::move(document);
  baseText_ = std::move(text);
  baseExists_ = true;
}

void SessionStore::TellOnce(const std::string& line, ConsoleSink& console) {
  if (told_.insert(line).second) console.AppendLine(line);
}

}  // namespace tervik::debug
