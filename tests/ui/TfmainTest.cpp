// The main window: menus, actions, docking, start-up, run control.
#include <QtTest>

#include "Tfmain.h"

class TfmainTest : public QObject {
  Q_OBJECT

 private slots:
  void CaptionAndSize() {
    TFMain main;
    QCOMPARE(main.windowTitle(), QString("Tervik CPU Emulator"));
  }
};

QTEST_MAIN(TfmainTest)
#include "TfmainTest.moc"
