// The "Export ROM..." dialog.
#include "ExportRom.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include "Expression.h"
#include "Files.h"
#include "PathNames.h"
#include "RomImage.h"

TExportRomDialog::TExportRomDialog(QWidget* parent, tervik::debug::Session& session)
    : QDialog(parent),
      Format(new QComboBox(this)),
      Start(new QLineEdit("0", this)),
      Count(new QLineEdit("1024", this)),
      PackageName(new QLineEdit("tervik_rom", this)),
      Path(new QLineEdit(this)),
      Message(new QLabel(this)),
      session_(session) {
  setWindowTitle("Export ROM");
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
  form->addRow("F&ile:", file);
  Message->setWordWrap(true);
  form->addRow(Message);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &TExportRomDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TExportRomDialog::reject);
  form->addRow(buttons);
}

void TExportRomDialog::Browse() {
  const tervik::RomFormatInfo& info =
      tervik::kRomFormats.at(static_cast<size_t>(Format->currentIndex()));
  const QString extension =
      QString::fromLatin1(info.extension.data(), static_cast<int>(info.extension.size()));
  const QString path = QFileDialog::getSaveFileName(
      this, "Export ROM", Path->text(), "ROM image (*" + extension + ");;All files (*)");
  if (!path.isEmpty()) Path->setText(path);
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
  const std::string name = PackageName->text().toStdString();
  if (!tervik::IsVhdlIdentifier(name)) return (void)Fail("The VHDL package needs a VHDL name.");
  if (Path->text().isEmpty()) return (void)Fail("Choose a file.");
  const tervik::RomFormat format =
      tervik::kRomFormats.at(static_cast<size_t>(Format->currentIndex())).format;
  const tervik::RomRange range{start.value(), static_cast<uint64_t>(count.value())};
  if (const std::string problem = tervik::RomRangeProblem(format, range); !problem.empty()) {
    return (void)Fail("Words: " + QString::fromStdString(problem) + ".");
  }
  const std::string image = tervik::RomImage(session_.Cpu(), format, range, name);
  std::string why;
  if (!tervik::platform::WriteOutput(tervik::platform::LocalPath(Path->text()), image, why)) {
    return (void)Fail("Cannot write the file: " + QString::fromLocal8Bit(why.c_str()));
  }
  QDialog::accept();
}

QAction* MakeExportRomAction(QWidget* window, tervik::debug::Session& session) {
  auto* action = new QAction("Export &ROM...", window);
  action->setObjectName("ActionExportRom");
  QObject::connect(action, &QAction::triggered, window, [window, &session] {
    TExportRomDialog dialog(window, session);
    dialog.exec();
  });
  return action;
}
