// The prompt for an address or a value.
#include "ValueInput.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QVBoxLayout>
#include <string>

#include "Processor.h"

TValueInput::TValueInput(QWidget* parent, const QString& caption, const QString& prompt,
                         const QString& text, tervik::debug::EvalContext& context)
    : QDialog(parent), context_(context) {
  setObjectName("ValueInput");
  setWindowTitle(caption);
  auto* layout = new QVBoxLayout(this);
  Prompt1 = new QLabel(prompt, this);
  Prompt1->setObjectName("Prompt1");
  Edit1 = new QLineEdit(text, this);
  Edit1->setObjectName("Edit1");
  Edit1->selectAll();
  Prompt1->setBuddy(Edit1);
  ErrorText = new QLabel(this);
  ErrorText->setObjectName("ErrorText");
  QPalette red = ErrorText->palette();
  red.setColor(QPalette::WindowText, QColor(255, 0, 0));
  ErrorText->setPalette(red);
  Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  Buttons->setObjectName("Buttons");
  connect(Buttons, &QDialogButtonBox::accepted, this, &TValueInput::accept);
  connect(Buttons, &QDialogButtonBox::rejected, this, &TValueInput::reject);
  // An old error no longer describes the text once it is edited.
  connect(Edit1, &QLineEdit::textEdited, ErrorText, &QLabel::clear);
  layout->addWidget(Prompt1);
  layout->addWidget(Edit1);
  layout->addWidget(ErrorText);
  layout->addWidget(Buttons);
  Edit1->setMinimumWidth(Edit1->fontMetrics().horizontalAdvance(QString(32, 'W')));
}

void TValueInput::accept() {
  const std::string text = Edit1->text().toStdString();
  const tervik::debug::Result<uint32_t> result = tervik::debug::EvaluateWord(text, context_);
  if (!result.ok()) {
    ErrorText->setText(QString::fromStdString(result.error().Text()));
    // Columns count bytes from 1; the line edit counts characters, the same for ASCII text.
    const size_t column = result.error().column;
    Edit1->setCursorPosition(column == 0 ? 0 : static_cast<int>(column - 1));
    Edit1->setFocus();
    return;
  }
  value_ = result.value();
  QDialog::accept();
}

std::optional<uint32_t> AskWord(QWidget* parent, const QString& caption, const QString& prompt,
                                const QString& text, tervik::Processor& cpu,
                                tervik::debug::SymbolLookup symbols) {
  tervik::debug::ProcessorContext context(cpu, std::move(symbols));
  TValueInput dialog(parent, caption, prompt, text, context);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.Value();
}

QString HexText(uint32_t value) {
  return QStringLiteral("0x") + QStringLiteral("%1").arg(value, 8, 16, QLatin1Char('0')).toUpper();
}
