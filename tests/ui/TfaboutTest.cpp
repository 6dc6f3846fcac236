// The About box: the version line, its texts and logo, and closing it with Enter and Esc.
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "Tfabout.h"
#include "Version.h"

namespace {

tervik::platform::VersionRecord shownVersion{2, 3, 4, 5};
tervik::platform::VersionRecord FakeVersion() {
  return shownVersion;
}

// Shows the box modally, as "About" does, and lets `act` work on it inside the modal loop.
// Returns exec's result, or -1 when the box did not close by itself within five seconds.
int ExecWith(TFAbout& about, const std::function<void()>& act) {
  QTimer::singleShot(0, &about, act);
  QTimer::singleShot(5000, &about, [&about] { about.done(-1); });
  return about.exec();
}

}  // namespace

class TfaboutTest : public QObject {
  Q_OBJECT

 private slots:
  void VersionTextOfAVersionRecord() {
    QCOMPARE(FormatVersionText(2, 3, 4, 5), QString("Version 2.3.4 (build 5)"));
    QCOMPARE(FormatVersionText(1, 0, 0, 0), QString("Version 1.0.0 (build 0)"));
    // Each part is an unsigned 16-bit number: the largest must not come out negative.
    QCOMPARE(FormatVersionText(65535, 0, 32768, 65535),
             QString("Version 65535.0.32768 (build 65535)"));
  }

  void VersionLineIsComputedAtEveryShowing() {
    TFAbout about;
    about.SetVersionSource(&FakeVersion);
    shownVersion = {2, 3, 4, 5};
    about.show();
    QCOMPARE(about.Label4->text(), QString("Version 2.3.4 (build 5)"));
    // The whole line is visible, not cut off by the label's box.
    QVERIFY(about.Label4->width() >= about.Label4->sizeHint().width());
    about.hide();
    shownVersion = {3, 0, 1, 17};
    about.show();
    QCOMPARE(about.Label4->text(), QString("Version 3.0.1 (build 17)"));
  }

  void ProgramVersionIsTheBuildsVersion() {
    TFAbout about;
    about.show();
    const tervik::platform::VersionRecord v = tervik::platform::ProgramVersion();
    QCOMPARE(about.Label4->text(), FormatVersionText(v.major, v.minor, v.release, v.build));
    QVERIFY(about.Label4->text().startsWith("Version "));
  }

  void TextsAndLayout() {
    TFAbout about;
    QCOMPARE(about.windowTitle(), QString("About"));
    QCOMPARE(about.size(), QSize(486, 245));
    QCOMPARE(about.Label1->text(), QString("Tervik CPU Emulator"));
    QCOMPARE(about.Label2->text(), QString("Compatible with Tervik CPU v 1.4"));
    QCOMPARE(about.Label3->text(), QString("Release date 13.08.2003"));
    QCOMPARE(about.Label1->font().pixelSize(), 16);
    QCOMPARE(about.Label2->font().pixelSize(), 11);
    QCOMPARE(about.Label3->font().pixelSize(), 16);
    QCOMPARE(about.Label4->font().pixelSize(), 16);
    QCOMPARE(about.Button1->text(), QString("Close"));
    QCOMPARE(about.Button1->geometry(), QRect(184, 216, 75, 25));
    QVERIFY(about.Button1->isDefault());
    // Every text fits inside the box.
    for (QLabel* label : {about.Label1, about.Label2, about.Label3}) {
      QVERIFY(QRect(QPoint(0, 0), about.size()).contains(label->geometry()));
      QVERIFY(label->width() >= label->sizeHint().width());
    }
    // No close box in the title bar: Close is the way out.
    QVERIFY(!(about.windowFlags() & Qt::WindowCloseButtonHint));
  }

  void LogoIsDrawnFromTheResources() {
    TFAbout about;
    const QPixmap logo = about.Image1->pixmap();
    QVERIFY(!logo.isNull());
    QCOMPARE(about.Image1->geometry(), QRect(8, 8, 206, 197));
    const QImage image = logo.toImage();
    int opaque = 0;
    for (int y = 0; y < image.height(); y += 4) {
      for (int x = 0; x < image.width(); x += 4) {
        if (qAlpha(image.pixel(x, y)) > 200) ++opaque;
      }
    }
    // A missing resource renders nothing at all; the logo covers a good part of its box.
    QVERIFY2(opaque > (image.width() / 4) * (image.height() / 4) / 4,
             qPrintable(QString::number(opaque)));
  }

  void EnterClosesTheBox() {
    TFAbout about;
    const int result = ExecWith(about, [] {
      QTest::keyClick(QApplication::activeModalWidget()->focusWidget(), Qt::Key_Return);
    });
    QCOMPARE(result, int(QDialog::Accepted));
    QVERIFY(!about.isVisible());
  }

  void EscClosesTheBox() {
    TFAbout about;
    const int result = ExecWith(about, [] {
      QTest::keyClick(QApplication::activeModalWidget()->focusWidget(), Qt::Key_Escape);
    });
    QVERIFY(result != -1);
    QVERIFY(!about.isVisible());
  }

  void CloseButtonClosesTheBox() {
    TFAbout about;
    const int result =
        ExecWith(about, [&about] { QTest::mouseClick(about.Button1, Qt::LeftButton); });
    QCOMPARE(result, int(QDialog::Accepted));
  }

  void ShownAgainAfterClosing() {
    TFAbout about;
    QCOMPARE(ExecWith(about, [&about] { about.Button1->click(); }), int(QDialog::Accepted));
    QCOMPARE(ExecWith(about, [&about] { about.Button1->click(); }), int(QDialog::Accepted));
  }
};

QTEST_MAIN(TfaboutTest)
#include "TfaboutTest.moc"
