// tervik_manualpdf: the build tool that typesets the processor manual.
//   tervik_manualpdf -o Manual.pdf part1.md part2.md ...
#include <QGuiApplication>
#include <QStringList>
#include <cstdio>

#include "ManualPdf.h"

namespace {

// A build step should be quiet when it succeeds: the offscreen platform's notices about the
// desktop session are dropped; everything else goes to standard error.
void QuietMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtDebugMsg || type == QtInfoMsg) return;
  if (message.startsWith("QStandardPaths:")) return;
  std::fprintf(stderr, "%s\n", qPrintable(message));
}

}  // namespace

int main(int argc, char* argv[]) {
  qInstallMessageHandler(QuietMessages);
  // A build step has no screen: typeset with the offscreen platform unless told otherwise.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);

  QStringList args = QGuiApplication::arguments();
  args.removeFirst();
  QString output;
  QStringList sources;
  for (int i = 0; i < args.size(); ++i) {
    if (args[i] == "-o" && i + 1 < args.size()) {
      output = args[++i];
    } else {
      sources.append(args[i]);
    }
  }
  if (output.isEmpty() || sources.isEmpty()) {
    std::fprintf(stderr, "usage: tervik_manualpdf -o OUTPUT.pdf SOURCE.md...\n");
    return 2;
  }

  QString markdown;
  QString error;
  if (!tervik::manual::ReadSources(sources, markdown, error)) {
    std::fprintf(stderr, "tervik_manualpdf: %s\n", qPrintable(error));
    return 1;
  }
  const tervik::manual::TypesetResult result =
      tervik::manual::WriteManualPdf(markdown, "Tervik CPU Manual",
                                     "Processor, instruction set, file formats, peripherals\nand "
                                     "the Tervik CPU Emulator\n\nTervik CPU v 1.4",
                                     output);
  if (!result.ok) {
    std::fprintf(stderr, "tervik_manualpdf: %s\n", qPrintable(result.error));
    return 1;
  }
  return 0;
}
