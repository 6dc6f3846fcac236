// The manual viewer.
#include "Tfmanual.h"

TFManual* FManual = nullptr;

TFManual::TFManual(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("FManual");
  setWindowTitle("Tervik Microcontroller Manual");
  resize(627, 942);
}
