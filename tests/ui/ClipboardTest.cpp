// "Copy as ROM" and the platform clipboard: the export text on the clipboard as plain text,
// replacing what it held, and nothing else said.
#include <QClipboard>
#include <QMimeData>
#include <QtTest>

#include "Clipboard.h"
#include "RomExport.h"
#include "Tfdebug.h"
#include "Tfmain.h"

namespace {

QStringList messages;
void Collect(QtMsgType, const QMessageLogContext&, const QString& message) {
  messages.append(message);
}

}  // namespace

class ClipboardTest : public QObject {
  Q_OBJECT

 private slots:
  void SystemClipboardReplacesItsText() {
    tervik::platform::Clipboard& clipboard = tervik::platform::SystemClipboard();
    clipboard.SetText("first");
    QCOMPARE(QString::fromStdString(clipboard.Text()), QString("first"));
    clipboard.SetText("second\r\nline");
    QCOMPARE(QString::fromStdString(clipboard.Text()), QString("second\r\nline"));
    QCOMPARE(QGuiApplication::clipboard()->text(), QString("second\r\nline"));
  }

  void CopyAsRomPutsTheExportTextOnTheClipboard() {
    QDir::setCurrent(TERVIK_EXAMPLES_DIR);  // default.map: ROM at 0, RAM at 0x1000
    TFMain main;
    main.FormCreate();
    main.Cpu().WriteMem(0, 0x14220003);  // ADD R1,R2,R3
    QGuiApplication::clipboard()->setText("what the clipboard held");

    const int consoleLines = FDebug->ListBox1->model()->rowCount();
    messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(Collect);
    main.ActionExportROMDATA->trigger();
    qInstallMessageHandler(previous);

    const QString text = QGuiApplication::clipboard()->text();
    QCOMPARE(text, QString::fromStdString(tervik::RomExportText(main.Cpu())));
    QCOMPARE(text.count("\r\n"), 1025);
    QVERIFY(text.startsWith(
        "ROM_WORD'(\"00010100001000100000000000000011\"), -- 00000 14220003 ADD\t"));
    QVERIFY(text.endsWith("\r\n"));
    // Plain text only.
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    QVERIFY(data->hasText());
    QVERIFY(!data->hasHtml());
    QVERIFY2(messages.isEmpty(), qPrintable(messages.join('\n')));
    QCOMPARE(FDebug->ListBox1->model()->rowCount(), consoleLines);
  }
};

QTEST_MAIN(ClipboardTest)
#include "ClipboardTest.moc"
