// The About box (FAbout).
#pragma once

#include <QDialog>

class TFAbout final : public QDialog {
  Q_OBJECT

 public:
  explicit TFAbout(QWidget* parent = nullptr);
};

extern TFAbout* FAbout;
