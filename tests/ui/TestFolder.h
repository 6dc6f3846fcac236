// What the window tests share: a temporary folder each test function works in, files written
// and read there, and the console's last lines.
#pragma once

#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <fstream>
#include <sstream>
#include <string>

#include "Tfdebug.h"

namespace tervik::uitest {

// A temporary folder that is the working folder from Enter (a test's init) to Leave (its
// cleanup); it and its files go when the test object does.
class TestFolder : public QTemporaryDir {
 public:
  void Enter() {
    old_ = QDir::currentPath();
    QDir::setCurrent(path());
  }
  void Leave() { QDir::setCurrent(old_); }

 private:
  QString old_;
};

inline void WriteFile(const QString& path, const std::string& text) {
  std::ofstream(path.toStdString(), std::ios::binary) << text;
}

inline std::string ReadFile(const QString& path) {
  std::ifstream in(path.toStdString(), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The console's last line, or the one `back` lines above it; empty when there is none.
inline QString LastLine(size_t back = 0) {
  const size_t n = FDebug->Model()->LineCount();
  return n <= back ? QString()
                   : QString::fromStdString(std::string(FDebug->Model()->Line(n - 1 - back)));
}

}  // namespace tervik::uitest
