// tervik_mimetype NAME: prints the MIME type the desktop's shared-mime-info database (found through
// XDG_DATA_DIRS, as file managers find it) gives a file named NAME, by its name alone. The install
// test points it at the installed types.
#include <QCoreApplication>
#include <QMimeDatabase>
#include <cstdio>

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  if (argc != 2) {
    std::fputs("usage: tervik_mimetype NAME\n", stderr);
    return 64;
  }
  const QMimeType type = QMimeDatabase().mimeTypeForFile(QString::fromLocal8Bit(argv[1]),
                                                         QMimeDatabase::MatchExtension);
  std::printf("%s\n", type.name().toUtf8().constData());
  return 0;
}
