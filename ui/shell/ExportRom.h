// The window's "Export ROM...": the ROM image formats of tervik-rom (setup/RomImage.h) for an
// address range of the memory as it is now, written to a file. Runs on the GUI thread.
#pragma once

#include <QAction>
#include <QDialog>
#include <QString>
#include <functional>
#include <string>

#include "Session.h"

class QComboBox;
class QLabel;
class QLineEdit;

class TExportRomDialog final : public QDialog {
  Q_OBJECT

 public:
  // `message` takes the console line that says what was written.
  TExportRomDialog(QWidget* parent, tervik::debug::Session& session,
                   std::function<void(const std::string&)> message = {});

  QComboBox* Format;
  QLineEdit* Start;  // an expression, with the program's symbols
  QLineEdit* Count;  // an expression, 1 to 1048576
  QLineEdit* PackageName;
  QLineEdit* Path;
  QLabel* Message;  // what is wrong with the fields, or why the file was not written

  // Writes the image when the fields hold a valid choice, then closes; else says why and stays.
  // The file is replaced whole (through a link, its target), a device or a FIFO is written as
  // a stream, a folder is refused (platform::WriteOutput).
  // An existing file is replaced only when ConfirmOverwrite agrees.
  void accept() override;
  // Asks whether the existing file at the path may be replaced. A test replaces it.
  std::function<bool(const QString& path)> ConfirmOverwrite;

 private:
  void Browse();
  bool Fail(const QString& text);
  // The package name matters for the VHDL package only.
  void FormatChanged();

  tervik::debug::Session& session_;
  std::function<void(const std::string&)> message_;
  QString confirmedPath_;  // the file dialog already asked about replacing this one
};

// The "Export ROM..." action, owned by `window`: it opens the dialog, the same one each time, so
// its fields stay as the user left them until the program ends. `message` takes console lines.
QAction* MakeExportRomAction(QWidget* window, tervik::debug::Session& session,
                             std::function<void(const std::string&)> message);
