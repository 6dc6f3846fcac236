// The program entry: the main window, its create event, the About box, the event loop.
#include <QApplication>
#include <QMessageBox>
#include <exception>
#include <memory>

#include "Tfabout.h"
#include "Tfmain.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Tervik CPU Emulator");
  std::unique_ptr<TFMain> main;
  std::unique_ptr<TFAbout> about;
  try {
    main = std::make_unique<TFMain>();
    main->FormCreate();
    about = std::make_unique<TFAbout>(main.get());
    FAbout = about.get();
    main->show();
  } catch (const std::exception& e) {
    // Start-up failed: say why, and tell the caller it failed.
    QMessageBox::critical(nullptr, "Tervik CPU Emulator", QString::fromLocal8Bit(e.what()));
    return 1;
  } catch (...) {
    QMessageBox::critical(nullptr, "Tervik CPU Emulator", "The program could not start.");
    return 1;
  }
  const int code = QApplication::exec();
  FAbout = nullptr;
  about.reset();
  return code;
}
