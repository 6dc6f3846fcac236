// The About box (FAbout): the program's name and logo, the processor version it is compatible
// with, its release date and the program's own version, read from the build's version record.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>

class QLabel;
class QPushButton;

namespace tervik::platform {
struct VersionRecord;
}

// The version line for a version record, e.g. "Version 1.0.0 (build 0)" for 1.0.0.0.
QString FormatVersionText(uint16_t major, uint16_t minor, uint16_t release, uint16_t build);

class TFAbout final : public QDialog {
  Q_OBJECT

 public:
  // Created hidden at start-up by the application and shown modally by "About".
  explicit TFAbout(QWidget* parent = nullptr);

  // Where the version line comes from; the program's own record unless a test replaces it.
  using VersionSource = tervik::platform::VersionRecord (*)();
  void SetVersionSource(VersionSource source) { versionSource_ = source; }

  QLabel* Image1;        // the logo
  QLabel* Label1;        // title
  QLabel* Label2;        // compatibility line
  QLabel* Label3;        // release line
  QLabel* Label4;        // version line, rewritten at every showing
  QPushButton* Button1;  // "Close": default (Enter) and cancel (Esc) button

  void FormShow();
  void Button1Click();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  VersionSource versionSource_;
};

extern TFAbout* FAbout;
