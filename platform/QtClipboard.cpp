// The clipboard over QClipboard.
#include <QClipboard>
#include <QGuiApplication>
#include <QString>

#include "Clipboard.h"

namespace tervik::platform {

namespace {

class QtClipboard final : public Clipboard {
 public:
  void SetText(const std::string& text) override {
    // QClipboard::Clipboard is the selection Ctrl+V pastes from; the X11 mouse selection is
    // left alone.
    QGuiApplication::clipboard()->setText(QString::fromStdString(text), QClipboard::Clipboard);
  }

  std::string Text() const override {
    return QGuiApplication::clipboard()->text(QClipboard::Clipboard).toStdString();
  }
};

}  // namespace

Clipboard& SystemClipboard() {
  static QtClipboard clipboard;
  return clipboard;
}

}  // namespace tervik::platform
