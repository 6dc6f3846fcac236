// "Copy as ROM" and the platform clipboard: the export text on the clipboard as plain text,
// replacing what it held, and nothing else said. "Export ROM...": its place in the Debug menu
// (the File menu keeps its two items) and what its dialog writes or refuses.
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <filesystem>

#include "Clipboard.h"
#include "ExportRom.h"
#include "Files.h"
#include "OutputTargets.h"
#include "RomExport.h"
#include "RomImage.h"
#include "Tfdebug.h"
#include "Tfmain.h"

namespace {

QStringList messages;
void Collect(QtMsgType, const QMessageLogContext&, const QString& message) {
  messages.append(message);
}

std::string ConsoleLast() {
  const size_t n = FDebug->Model()->LineCount();
  return n == 0 ? std::string() : std::string(FDebug->Model()->Line(n - 1));
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

  void ExportRomWritesTheChosenImage() {
    QDir::setCurrent(TERVIK_EXAMPLES_DIR);
    TFMain main;
    main.FormCreate();
    main.Cpu().WriteMem(0x1000, 0x14220003);
    main.Cpu().WriteMem(0x1003, 0xFFFFFFFF);
    QStringList file, debug;
    for (QAction* menu : main.menuBar()->actions()) {
      QStringList& items = menu->text() == "&File" ? file : debug;
      if (menu->text() != "&File" && menu->menu()->objectName() != "DebugMenu") continue;
      for (QAction* a : menu->menu()->actions()) {
        if (!a->isSeparator()) items.append(a->text());
      }
    }
    QCOMPARE(file, (QStringList{"Copy as &ROM", "Exit"}));
    QVERIFY2(debug.contains("Export &ROM..."), qPrintable(debug.join(',')));

    QTemporaryDir dir;
    struct Row {
      int format;
      QString start, count, name, error;  // error empty: the file is written
    };
    const Row rows[] = {
        {1, "0x1000", "4", "my_rom", ""},
        {5, "H#1000%", "2*2", "tervik_rom", ""},
        {6, "0xFFF", "1", "tervik_rom", ""},
        {1, "0x1000+", "4", "my_rom", "Start address: col 8: expected an expression"},
        {1, "0x1000", "0", "my_rom", "Words: give 1 to 1048576 words."},
        {1, "0x1000", "0x100001", "my_rom", "Words: give 1 to 1048576 words."},
        {1, "0x1000", "4", "my__rom", "The VHDL package needs a VHDL name."},
        {0, "0x1000", "4", "my__rom", ""},  // the name matters for the VHDL package only
        {5, "0x1000", "4", "", ""},
        {1, "0x1000", "4", "Entity", "The VHDL package needs a VHDL name."},
        {1, "0xFFFFFFFE", "4", "my_rom", "Words: the range runs past address FFFFFFFF."},
        {0, "0x1000", "1", "my_rom",
         "Words: one word is no VHDL aggregate (an element alone must be named); write the VHDL "
         "package (vhdl) instead."},
        {0, "0x1000", "2", "my_rom", ""},
    };
    int n = 0;
    for (const Row& row : rows) {
      const QString path = dir.filePath(QString("rom%1").arg(n++));
      TExportRomDialog dialog(&main, main.Session());
      dialog.Format->setCurrentIndex(row.format);
      dialog.Start->setText(row.start);
      dialog.Count->setText(row.count);
      dialog.PackageName->setText(row.name);
      dialog.Path->setText(path);
      dialog.accept();
      std::string written, error;
      const bool exists = tervik::platform::ReadRegularFile(path.toStdString(), written, error);
      QCOMPARE(dialog.Message->text(), row.error);
      QCOMPARE(exists, row.error.isEmpty());
      if (!exists) continue;
      tervik::debug::SymbolContext none;
      const uint32_t start = tervik::debug::EvaluateWord(row.start.toStdString(), none).value();
      const auto count = tervik::debug::Evaluate(row.count.toStdString(), none).value();
      QCOMPARE(written,
               tervik::RomImage(main.Cpu(), tervik::kRomFormats[row.format].format,
                                {start, static_cast<uint64_t>(count)}, row.name.toStdString()));
    }

    // The menu's dialog: one for the program's life, so its fields stay; disabled during a run;
    // it asks before replacing a file and says on the console what it wrote.
    auto* dialog = main.findChild<TExportRomDialog*>("ExportRomDialog");
    QVERIFY(dialog != nullptr);
    // The File label underlines its key rather than showing the ampersand: it has a buddy.
    int fileLabels = 0;
    for (QLabel* label : dialog->findChildren<QLabel*>()) {
      if (label->text() != "F&ile:") continue;
      ++fileLabels;
      QCOMPARE(label->buddy(), static_cast<QWidget*>(dialog->Path));
    }
    QCOMPARE(fileLabels, 1);
    QTimer::singleShot(0, [&] {
      dialog->Start->setText("0x1000");
      dialog->Count->setText("2");
      dialog->Format->setCurrentIndex(2);
      dialog->Path->setText(dir.filePath("rom0"));  // written above
      QStringList asked;
      dialog->ConfirmOverwrite = [&](const QString& path) {
        asked << path;
        return asked.size() > 1;  // no, then yes
      };
      dialog->accept();
      QCOMPARE(dialog->Message->text(), QString("The file was not replaced."));
      dialog->accept();
      QCOMPARE(asked.size(), 2);
    });
    main.ActionExportRom->trigger();
    QCOMPARE(ConsoleLast(), "Exported 2 words from 00001000 as Verilog $readmemh hex to " +
                                dir.filePath("rom0").toStdString());
    QCOMPARE(dialog->Format->currentIndex(), 2);  // kept for the next time
    QCOMPARE(dialog->Start->text(), QString("0x1000"));
    bool enabledDuringRun = true;
    QTimer::singleShot(50, [&] {
      enabledDuringRun = main.ActionExportRom->isEnabled();
      main.ActionStop->trigger();
    });
    main.ActionStopWhenHalted->setChecked(false);
    main.ActionRun->trigger();
    QVERIFY(!enabledDuringRun);
    QVERIFY(main.ActionExportRom->isEnabled());
  }

  // The dialog writes as the tools do: a file whole, through a link its target, a device and a
  // FIFO as streams; a folder is refused with a message and left alone (the targets of
  // tests/tools/OutputsTest.cpp; the dialog reads no file, so none is its input).
  void ExportRomWritesEveryKindOfTargetSafely() {
    QDir::setCurrent(TERVIK_EXAMPLES_DIR);
    TFMain main;
    main.FormCreate();
    for (const tervik::test::OutputTarget target : tervik::test::kAllOutputTargets) {
      if (target == tervik::test::OutputTarget::Input) continue;
      const std::string name(tervik::test::Name(target));
      QTemporaryDir dir;
      tervik::test::PreparedOutput output(target, std::filesystem::path(dir.path().toStdString()),
                                          "");
      if (!output.skip().empty()) {
        qInfo("skipped %s: %s", name.c_str(), output.skip().c_str());
        continue;
      }
      TExportRomDialog dialog(&main, main.Session());
      dialog.Format->setCurrentIndex(2);  // $readmemh
      dialog.Start->setText("0");
      dialog.Count->setText("4");
      dialog.Path->setText(QString::fromStdString(output.path()));
      dialog.ConfirmOverwrite = [](const QString&) { return true; };
      dialog.accept();
      const QString expected =
          output.MustBeWritten()
              ? QString()
              : "Cannot write the file: " +
                    QString::fromUtf8(output.Refusal().data(), output.Refusal().size());
      QVERIFY2(dialog.Message->text() == expected,
               qPrintable(QString::fromStdString(name) + ": " + dialog.Message->text()));
      const std::string problem = output.Check("// Tervik ROM image");
      QVERIFY2(problem.empty(), (name + ": " + problem).c_str());
    }
  }
};

QTEST_MAIN(ClipboardTest)
#include "ClipboardTest.moc"
