// The system clipboard, plain text only, behind a small interface so that the windows can be
// tested with a fake and the core and loaders never see the windowing toolkit.
#pragma once

#include <string>

namespace tervik::platform {

class Clipboard {
 public:
  virtual ~Clipboard() = default;
  // Replaces whatever the clipboard held with `text` (UTF-8), as plain text.
  virtual void SetText(const std::string& text) = 0;
  // The plain text the clipboard holds now (UTF-8); empty when it holds none.
  virtual std::string Text() const = 0;
};

// The desktop's clipboard (QClipboard). Needs a running QGuiApplication; runs on the GUI thread.
Clipboard& SystemClipboard();

}  // namespace tervik::platform
