// Shared set-up of the inspection window tests: a main window in an empty scratch directory with
// one RAM region, listings written on the fly, docks floated to a known size, pixel counting,
// wheel events, and answers typed into the next value prompt.
#pragma once

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <cstdio>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "Expression.h"
#include "Tfmain.h"
#include "ValueInput.h"

class Machine {
 public:
  Machine() {
    previous_ = QDir::currentPath();
    QDir::setCurrent(dir_.path());  // no "default.map" here
    main_ = std::make_unique<TFMain>();
    main_->FormCreate();
    main_->show();
    main_->Cpu().AddRegion(0, 0x100, tervik::RegionType::RAM);
  }
  ~Machine() {
    main_.reset();
    QDir::setCurrent(previous_);
  }

  TFMain& Main() { return *main_; }
  tervik::Processor& Cpu() { return main_->Cpu(); }

  // Loads a listing of (address, word, comment) lines through the real loader.
  void LoadListing(const std::vector<std::tuple<uint32_t, uint32_t, std::string>>& lines) {
    const QString path = dir_.filePath("test.lst");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    for (const auto& [address, word, comment] : lines) {
      char head[8];
      std::snprintf(head, sizeof head, "%05X ", address);
      std::string line = head;
      for (int b = 31; b >= 0; --b) line += ((word >> b) & 1u) ? '1' : '0';
      line += "  source  " + comment + "\n";
      file.write(line.data(), static_cast<qint64>(line.size()));
    }
    file.close();
    main_->LoadListing(path.toStdString());
  }

 private:
  QTemporaryDir dir_;
  QString previous_;
  std::unique_ptr<TFMain> main_;
};

inline void FloatAt(QDockWidget* dock, QSize size) {
  dock->setFloating(true);
  dock->show();
  dock->resize(size);
  QApplication::processEvents();
}

// Antialiased text: classify pixels by ink, not by exact colour.
inline bool IsRedInk(QRgb c) {
  return qRed(c) - qGreen(c) > 90 && qRed(c) - qBlue(c) > 90;
}
inline bool IsDarkInk(QRgb c) {
  return qRed(c) < 110 && qGreen(c) < 110 && qBlue(c) < 110;
}
inline bool IsGreenInk(QRgb c) {
  return qGreen(c) - qRed(c) > 40 && qGreen(c) - qBlue(c) > 40;
}
inline bool IsBrightInk(QRgb c) {
  return qRed(c) > 200 && qGreen(c) > 200 && qBlue(c) > 200;
}
inline bool IsNotWhite(QRgb c) {
  return c != qRgb(255, 255, 255);
}

template <typename Test>
int CountPixels(const QImage& image, QRect area, Test test) {
  int n = 0;
  area = area.intersected(image.rect());
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) n += test(image.pixel(x, y)) ? 1 : 0;
  }
  return n;
}

inline QImage Grab(QWidget* widget) {
  return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

inline const QRgb kWhitePixel = qRgb(255, 255, 255);
inline const QRgb kMaroonPixel = qRgb(128, 0, 0);
inline const QRgb kBlackPixel = qRgb(0, 0, 0);

// A wheel turn of `delta` (120 a notch, positive away from the user) over the middle of `widget`.
inline void TurnWheel(QWidget* widget, int delta) {
  const QPointF at(widget->width() / 2.0, widget->height() / 2.0);
  QWheelEvent event(at, widget->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(widget, &event);
}

// What the next value prompt showed and how it ended.
struct PromptLog {
  bool shown = false;
  QWidget* parent = nullptr;
  QString caption;
  QString prompt;
  QString initial;     // the text it started with
  QStringList errors;  // the error shown after each refused text
  bool accepted = false;
};

// Answers the next modal value prompt: types each text in turn over the whole line and presses
// OK, noting the error shown after each text the prompt refuses; cancels when it is still open
// after the last. Call it right before the command that opens the prompt; when no prompt
// opens, the log says so (shown stays false).
inline void AnswerNextPrompt(PromptLog& log, QStringList texts) {
  QTimer::singleShot(0, qApp, [&log, texts] {
    auto* input = qobject_cast<TValueInput*>(QApplication::activeModalWidget());
    if (input == nullptr) return;
    log.shown = true;
    log.parent = input->parentWidget();
    log.caption = input->windowTitle();
    log.prompt = input->Prompt1->text();
    log.initial = input->Edit1->text();
    for (const QString& text : texts) {
      input->Edit1->selectAll();
      QTest::keyClicks(input->Edit1, text);
      QTest::mouseClick(input->Buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
      if (!input->isVisible()) {
        log.accepted = true;
        return;
      }
      log.errors << input->ErrorText->text();
    }
    input->reject();
  });
}

// The error text the expression language gives for `text`, as a prompt shows it.
inline QString ExpressionError(tervik::Processor& cpu, const std::string& text) {
  tervik::debug::ProcessorContext context(cpu);
  const tervik::debug::Result<uint32_t> r = tervik::debug::EvaluateWord(text, context);
  return r.ok() ? QString("(no error)") : QString::fromStdString(r.error().Text());
}

// A table's address written with W, the number of whole rows of the window under test:
// "0x1000 + W - 1".
inline uint32_t WithRows(const QString& text, uint32_t wholeRows) {
  tervik::debug::SymbolContext context([wholeRows](std::string_view name) {
    return name == "W" ? std::optional<int64_t>(wholeRows) : std::nullopt;
  });
  const tervik::debug::Result<uint32_t> r =
      tervik::debug::EvaluateWord(text.toStdString(), context);
  if (!r.ok()) qFatal("bad table address %s", qPrintable(text));
  return r.value();
}
