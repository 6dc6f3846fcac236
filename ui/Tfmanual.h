// The manual viewer (FManual, caption "Tervik Microcontroller Manual").
#pragma once

#include <QWidget>

class TFManual final : public QWidget {
  Q_OBJECT

 public:
  explicit TFManual(QWidget* parent = nullptr);
};

extern TFManual* FManual;
