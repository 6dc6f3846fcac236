// The window's "Export ROM...": the ROM image formats of tervik-rom (setup/RomImage.h) for an
// address range of the memory as it is now, written to a file. Runs on the GUI thread.
#pragma once

#include <QAction>
#include <QDialog>

#include "Session.h"

class QComboBox;
class QLabel;
class QLineEdit;

class TExportRomDialog final : public QDialog {
  Q_OBJECT

 public:
  TExportRomDialog(QWidget* parent, tervik::debug::Session& session);

  QComboBox* Format;
  QLineEdit* Start;  // an expression, with the program's symbols
  QLineEdit* Count;  // an expression, 1 to 1048576
  QLineEdit* PackageName;
  QLineEdit* Path;
  QLabel* Message;  // what is wrong with the fields, or why the file was not written

  // Writes the image when the fields hold a valid choice, then closes; else says why and stays.
  // The file is replaced whole (through a link, its target), a device or a FIFO is written as
  // a stream, a folder is refused (platform::WriteOutput).
  void accept() override;

 private:
  void Browse();
  bool Fail(const QString& text);

  tervik::debug::Session& session_;
};

// The "Export ROM..." action, owned by `window`: it opens the dialog.
QAction* MakeExportRomAction(QWidget* window, tervik::debug::Session& session);
