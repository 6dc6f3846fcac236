// The About box.
#include "Tfabout.h"

TFAbout* FAbout = nullptr;

TFAbout::TFAbout(QWidget* parent) : QDialog(parent) {
  setObjectName("FAbout");
  setWindowTitle("About");
}
