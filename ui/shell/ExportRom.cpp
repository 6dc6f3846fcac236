// The "Export ROM..." dialog.
#include "ExportRom.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>
#include <cstdio>

#include "Expression.h"
#include "Files.h"
#include "PathNames.h"
#include "RomImage.h"

TExportRomDialog::TExportRomDialog(QWidget* parent, tervik::debug::Session& session,
                                   std::function<void(const std::string&)> message)
    : QDialog(parent),
      Format(new QComboBox(this)),
      Start(new QLineEdit("0", this)),
      Count(new QLineEdit("1024", this)),
      PackageName(new QLineEdit("tervik_rom", this)),
      Path(new QLineEdit(this)),
      Message(new QLabel(this)),
      session_(session),
      message_(std::move(message)) {
  setWindowTitle("Export ROM");
  ConfirmOverwrite = [this](const QString& path) {
    return QMessageBox::question(this, windowTitle(), "Replace the existing file " + path + "?") ==
           QMessageBox::Yes;
  };
  for (const tervik::RomFormatInfo& info : tervik::kRomFormats) {
    Format->addItem(QString::fromUtf8(info.title.data(), static_cast<int>(info.title.size())));
  }
  Format->setCurrentIndex(1);  // the VHDL package
  auto* browse = new QPushButton("&Browse...", this);
  connect(browse, &QPushButton::clicked, this, &TExportRomDialog::Browse);
  auto* file = new QHBoxLayout;
  file->addWidget(Path, 1);
  file->addWidget(browse);
  auto* form = new QFormLayout(this);
  form->addRow("&Format:", Format);
  form->addRow("&Start address:", Start);
  form->addRow("&Words:", Count);
  form->addRow("VHDL &package:", PackageName);
  // A label of its own with a buddy: a row with a layout gives its text label none, which would
  // show the ampersand instead of underlining the key.
  auto* fileLabel = new QLabel("F&ile:", this);
  fileLabel->setBuddy(Path);
  form->addRow(fileLabel, file);
  Message->setWordWrap(true);
  form->addRow(Message);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &TExportRomDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TExportRomDialog::reject);
  form->addRow(buttons);
  connect(Format, &QComboBox::currentIndexChanged, this, &TExportRomDialog::FormatChanged);
  FormatChanged();
}

void TExportRomDialog::FormatChanged() {
  const size_t index = static_cast<size_t>(std::max(0, Format->currentIndex()));
  PackageName->setEnabled(tervik::kRomFormats.at(index).format == tervik::RomFormat::VhdlPackage);
}

void TExportRomDialog::Browse() {
  const tervik::RomFormatInfo& info =
      tervik::kRomFormats.at(static_cast<size_t>(Format->currentIndex()));
  const QString extension =
      QString::fromLatin1(info.extension.data(), static_cast<int>(info.extension.size()));
  const QString path = QFileDialog::getSaveFileName(
      this, "Export ROM", Path->text(), "ROM image (*" + extension + ");;All files (*)");
  if (!path.isEmpty()) {
    Path->setText(path);
    confirmedPath_ = path;  // the file dialog asked before choosing an existing file
  }
}

bool TExportRomDialog::Fail(const QString& text) {
  Message->setText(text);
  return false;
}

void TExportRomDialog::accept() {
  tervik::debug::SymbolContext symbols(session_.Lookup());
  const tervik::debug::Result<uint32_t> start =
      tervik::debug::EvaluateWord(Start->text().toStdString(), symbols);
  if (!start.ok())
    return (void)Fail("Start address: " + QString::fromStdString(start.error().Text()));
  const tervik::debug::Result<int64_t> count =
      tervik::debug::Evaluate(Count->text().toStdString(), symbols);
  if (!count.ok()) return (void)Fail("Words: " + QString::fromStdString(count.error().Text()));
  if (count.value() < 1 || static_cast<uint64_t>(count.value()) > tervik::kRomImageMaxWords) {
    return (void)Fail("Words: give 1 to 1048576 words.");
  }
  const tervik::RomFormatInfo& info =
      tervik::kRomFormats.at(static_cast<size_t>(Format->currentIndex()));
  const std::string name = PackageName->text().toStdString();
  if (info.format == tervik::RomFormat::VhdlPackage && !tervik::IsVhdlIdentifier(name)) {
    return (void)Fail("The VHDL package needs a VHDL name.");
  }
  const QString path = Path->text();
  if (path.isEmpty()) return (void)Fail("Choose a file.");
  const tervik::RomRange range{start.value(), static_cast<uint64_t>(count.value())};
  if (const std::string problem = tervik::RomRangeProblem(info.format, range); !problem.empty()) {
    return (void)Fail("Words: " + QString::fromStdString(problem) + ".");
  }
  // Only a file's contents are lost by writing: a device or a FIFO takes the image as a stream.
  if (path != confirmedPath_ && QFileInfo(path).isFile() && !ConfirmOverwrite(path)) {
    return (void)Fail("The file was not replaced.");
  }
  const std::string image = tervik::RomImage(session_.Cpu(), info.format, range, name);
  std::string why;
  if (!tervik::platform::WriteOutput(tervik::platform::LocalPath(path), image, why)) {
    return (void)Fail("Cannot write the file: " + QString::fromLocal8Bit(why.c_str()));
  }
  Message->clear();
  confirmedPath_.clear();
  if (message_) {
    char range[64];
    std::snprintf(range, sizeof range, "%lld words from %08X",
                  static_cast<long long>(count.value()), start.value());
    message_("Exported " + std::string(range) + " as " + std::string(info.title) + " to " +
             path.toStdString());
  }
  QDialog::accept();
}

QAction* MakeExportRomAction(QWidget* window, tervik::debug::Session& session,
                             std::function<void(const std::string&)> message) {
  auto* action = new QAction("Export &ROM...", window);
  action->setObjectName("ActionExportRom");
  // One dialog for the program's life, owned by the window: it keeps its fields between uses.
  auto* dialog = new TExportRomDialog(window, session, std::move(message));
  dialog->setObjectName("ExportRomDialog");
  QObject::connect(action, &QAction::triggered, dialog, [dialog] { dialog->exec(); });
  return action;
}
