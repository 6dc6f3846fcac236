// The manual: the generated Manual.pdf next to the program, the viewer window, its navigation,
// its message for a missing document, and the "Manual" command reusing the window.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPdfBookmarkModel>
#include <QPdfDocument>
#include <QPdfPageNavigator>
#include <QPdfSearchModel>
#include <QPdfView>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

#include "Documents.h"
#include "Tfmain.h"
#include "Tfmanual.h"

namespace {

QString ManualNextToProgram() {
  return QDir(QCoreApplication::applicationDirPath()).filePath("Manual.pdf");
}

// Every mnemonic of the instruction set, the MOVEI group included.
const QStringList kMnemonics = {
    "NOP",        "OR",     "XOR",     "NOR",    "AND",     "ADD",      "SUBB",      "NOT",
    "ROR",        "SLL",    "SRL",     "SRA",    "BZE",     "BNZE",     "BNE",       "JUMP",
    "BrZE",       "BrNZE",  "JUMPr",   "LOAD",   "STORE",   "CALL",     "RETI",      "BrNE",
    "RET",        "PUSH",   "POP",     "MOVE",   "BITSET",  "BITCLEAR", "RANDOMSET", "RANDOMIZE",
    "ORI",        "XORI",   "NORI",    "ANDI",   "ADDI",    "SUBBI",    "NOTI",      "RORI",
    "SLLI",       "SRLI",   "SRAI",    "BZEI",   "BNZEI",   "BNEI",     "JUMPI",     "BrZEI",
    "BrNZEI",     "JUMPrI", "LOADI",   "STOREI", "BrNEI",   "PUSHI",    "BITSETI",   "BITCLEARI",
    "RANDOMSETI", "MOVEL",  "SETMASK", "MVSPL",  "MVNZCOU", "MOVEH",    "MVSPH"};

}  // namespace

class TfmanualTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    // The document is looked up next to the program, never in the working directory.
    QVERIFY(tempDir_.isValid());
    QDir::setCurrent(tempDir_.path());
  }

  void ManualIsGeneratedNextToTheProgram() {
    const QFileInfo file(ManualNextToProgram());
    QVERIFY2(file.exists(), qPrintable(file.filePath()));
    QVERIFY(file.size() > 10000);
    QPdfDocument document;
    QCOMPARE(document.load(file.filePath()), QPdfDocument::Error::None);
    QVERIFY(document.pageCount() > 1);

    QString text;
    for (int page = 0; page < document.pageCount(); ++page) {
      text += document.getAllText(page).text() + '\n';
    }
    for (const QString& mnemonic : kMnemonics) {
      const QRegularExpression word("(?<![A-Za-z])" + mnemonic + "(?![A-Za-z])");
      QVERIFY2(word.match(text).hasMatch(), qPrintable(mnemonic));
    }
    // The table of contents and the page numbers.
    // Each section title appears twice: in the table of contents and as the heading itself.
    QVERIFY(text.count("Instruction word layout") >= 2);
    QVERIFY(text.count("The module interface") >= 2);
    QVERIFY(text.contains(QString("Page 2 of %1").arg(document.pageCount())));
    QVERIFY(text.contains(QString("Page %1 of %1").arg(document.pageCount())));
    // The chapters the manual promises.
    for (const char* topic :
         {"Flags", "The stack", "The shift register", "Listing files", "Memory map files",
          "The module interface", "libtervik_terminal.so", "libtervik_timer.so",
          "libtervik_gpio.so", "Ctrl+F2", "F7", "F9", "Ctrl+L", "Ctrl+R"}) {
      QVERIFY2(text.contains(topic), topic);
    }
  }

  void ManualCandidates() {
    using tervik::platform::ManualCandidates;
    QVERIFY(ManualCandidates({}).empty());
    const auto candidates = ManualCandidates("/opt/tervik/bin");
    QCOMPARE(candidates.size(), size_t{2});
    QCOMPARE(QString::fromStdString(candidates[0].string()), QString("/opt/tervik/bin/Manual.pdf"));
    QCOMPARE(QString::fromStdString(candidates[1].string()),
             QString("/opt/tervik/share/doc/tervik/Manual.pdf"));
  }

  void ViewerShowsTheManualNextToTheProgram() {
    TFManual manual;
    QCOMPARE(manual.windowTitle(), QString("Tervik Microcontroller Manual"));
    QCOMPARE(manual.size(), QSize(627, 942));
    QCOMPARE(QFileInfo(manual.DocumentPath()).canonicalFilePath(),
             QFileInfo(ManualNextToProgram()).canonicalFilePath());
    QVERIFY(manual.DocumentShown());
    QVERIFY(manual.Document1->pageCount() > 1);
    QVERIFY(manual.Pdf1->focusPolicy() & Qt::TabFocus);
    QCOMPARE(manual.Pdf1->pageMode(), QPdfView::PageMode::MultiPage);
  }

  void PageNavigation() {
    TFManual manual;
    manual.show();
    QVERIFY(QTest::qWaitForWindowExposed(&manual));
    const int pages = manual.Document1->pageCount();
    QCOMPARE(manual.CurrentPage(), 0);
    QVERIFY(!manual.ActionPreviousPage->isEnabled());
    manual.ActionNextPage->trigger();
    QTRY_COMPARE(manual.CurrentPage(), 1);
    QCOMPARE(manual.PageSpin1->value(), 2);
    manual.PageSpin1->setValue(5);  // typing a page number
    QTRY_COMPARE(manual.CurrentPage(), 4);
    manual.ActionLastPage->trigger();
    QTRY_COMPARE(manual.CurrentPage(), pages - 1);
    QVERIFY(!manual.ActionNextPage->isEnabled());
    manual.ActionPreviousPage->trigger();
    QTRY_COMPARE(manual.CurrentPage(), pages - 2);
    manual.ActionFirstPage->trigger();
    QTRY_COMPARE(manual.CurrentPage(), 0);
    // Scrolling moves through the pages too, and the page number follows.
    manual.Pdf1->verticalScrollBar()->setValue(manual.Pdf1->verticalScrollBar()->maximum());
    QTRY_COMPARE(manual.PageSpin1->value(), pages);
  }

  void Zoom() {
    TFManual manual;
    manual.show();
    QVERIFY(QTest::qWaitForWindowExposed(&manual));
    QCOMPARE(manual.Pdf1->zoomMode(), QPdfView::ZoomMode::FitToWidth);
    QVERIFY(manual.ActionFitWidth->isChecked());
    manual.ActionActualSize->trigger();
    QCOMPARE(manual.Pdf1->zoomMode(), QPdfView::ZoomMode::Custom);
    QCOMPARE(manual.Pdf1->zoomFactor(), 1.0);
    QVERIFY(!manual.ActionFitWidth->isChecked());
    manual.ActionZoomIn->trigger();
    QCOMPARE(manual.Pdf1->zoomFactor(), 1.25);
    manual.ActionZoomOut->trigger();
    manual.ActionZoomOut->trigger();
    QCOMPARE(manual.Pdf1->zoomFactor(), 0.9);
    manual.ActionFitPage->trigger();
    QCOMPARE(manual.Pdf1->zoomMode(), QPdfView::ZoomMode::FitInView);
    QVERIFY(manual.ActionFitPage->isChecked());
  }

  void ContentsPanel() {
    TFManual manual;
    manual.show();
    QVERIFY(QTest::qWaitForWindowExposed(&manual));
    QVERIFY(manual.ContentsTree1->isVisible());
    QVERIFY(manual.ActionContents->isChecked());
    // The outline: one entry per chapter, each with its sections.
    QAbstractItemModel* outline = manual.Bookmarks1;
    QStringList chapters;
    for (int row = 0; row < outline->rowCount(); ++row) {
      chapters << outline->index(row, 0).data().toString();
    }
    for (const char* chapter : {"Contents", "1 Introduction", "3 Instruction set",
                                "7 Tutorial: a first program", "8 The assembler, tervik-as",
                                "9 The runner, tervik-run", "10 Writing a peripheral module"}) {
      QVERIFY2(chapters.contains(chapter), qPrintable(chapters.join(" | ")));
    }
    const QModelIndex instructions = outline->index(chapters.indexOf("3 Instruction set"), 0);
    QVERIFY(outline->rowCount(instructions) >= 5);
    // A click on a chapter shows its page.
    const QModelIndex tutorial = outline->index(chapters.indexOf("7 Tutorial: a first program"), 0);
    const int page = tutorial.data(static_cast<int>(QPdfBookmarkModel::Role::Page)).toInt();
    QVERIFY(page > 10);
    const QRect row = manual.ContentsTree1->visualRect(tutorial);
    QTest::mouseClick(manual.ContentsTree1->viewport(), Qt::LeftButton, {}, row.center());
    QTRY_COMPARE(manual.CurrentPage(), page);
    QTRY_VERIFY(manual.PageSpin1->value() == page + 1);
    // The panel can be hidden and shown again.
    manual.ActionContents->trigger();
    QVERIFY(!manual.ContentsTree1->isVisible());
    manual.ActionContents->trigger();
    QVERIFY(manual.ContentsTree1->isVisible());
  }

  void SearchMarksAndWalksThroughTheHits() {
    TFManual manual;
    manual.show();
    QVERIFY(QTest::qWaitForWindowExposed(&manual));
    manual.ActionFind->trigger();
    QVERIFY(manual.SearchEdit1->hasFocus());
    QTest::keyClicks(manual.SearchEdit1, "mvnzcou");  // no case
    QTest::keyClick(manual.SearchEdit1, Qt::Key_Return);
    // The model searches in the background; the first hit is shown as soon as it is found.
    QTRY_VERIFY_WITH_TIMEOUT(manual.SearchResultCount() >= 3, 20000);
    QTRY_COMPARE(manual.CurrentSearchResult(), 0);
    const int count = manual.SearchResultCount();
    const QPdfLink first = manual.Search1->resultAtIndex(0);
    QTRY_COMPARE(manual.CurrentPage(), first.page());
    QTRY_VERIFY(manual.SearchLabel1->text().contains(QString("1 of ")));
    // The current hit is marked over the page, in orange.
    const QList<QRectF> marks = manual.Pdf1->ResultRectangles(0);
    QVERIFY(!marks.isEmpty());
    const QRect mark = marks[0].toAlignedRect().intersected(manual.Pdf1->viewport()->rect());
    QVERIFY(!mark.isEmpty());
    QTRY_VERIFY([&] {
      const QImage shot = manual.Pdf1->viewport()->grab().toImage();
      const QColor c = shot.pixelColor(mark.center());
      return c.red() > 200 && c.blue() < 180 && c.green() < 235;
    }());
    // Next and previous go round the ends.
    manual.ActionFindNext->trigger();
    QCOMPARE(manual.CurrentSearchResult(), 1);
    QTRY_COMPARE(manual.CurrentPage(), manual.Search1->resultAtIndex(1).page());
    manual.ActionFindPrevious->trigger();
    manual.ActionFindPrevious->trigger();
    QTRY_COMPARE(manual.SearchResultCount(), count);
    QCOMPARE(manual.CurrentSearchResult(), manual.SearchResultCount() - 1);
    QCOMPARE(manual.SearchLabel1->text().trimmed(),
             QString("%1 of %1").arg(manual.SearchResultCount()));
    manual.ActionFindNext->trigger();
    QCOMPARE(manual.CurrentSearchResult(), 0);
    // A word the manual does not hold.
    manual.SearchEdit1->setText("zzqqxx");
    QTest::keyClick(manual.SearchEdit1, Qt::Key_Return);
    QTRY_COMPARE(manual.SearchLabel1->text().trimmed(), QString("not found"));
    QCOMPARE(manual.CurrentSearchResult(), -1);
    // Clearing the field clears the marks.
    manual.SearchEdit1->clear();
    QCOMPARE(manual.SearchResultCount(), 0);
    QVERIFY(manual.SearchLabel1->text().isEmpty());
  }

  void PageGeometryOfTheMultiPageView() {
    // Two A4 pages at one pixel per point, 6 pixels apart, margins of 6.
    const QSizeF a4(595, 842);
    const QMargins margins(6, 6, 6, 6);
    const double height = 6 + 842 + 6 + 842 + 6;
    PageGeometry g = MultiPageGeometry(1, 2, a4, 800, height, 6, margins);
    QCOMPARE(g.scale, 1.0);
    QCOMPARE(g.rect, QRectF((800 - 595) / 2.0, 6 + 842 + 6, 595, 842));
    // Half the size: the scale follows the height.
    g = MultiPageGeometry(0, 2, a4, 300, 6 + 421 + 6 + 421 + 6, 6, margins);
    QCOMPARE(g.scale, 0.5);
    QCOMPARE(g.rect.top(), 6.0);
    QCOMPARE(g.rect.width(), 297.5);
    QCOMPARE(MultiPageGeometry(0, 0, a4, 300, 300, 6, margins).scale, 0.0);
  }

  void ZoomSteps() {
    QCOMPARE(NextZoomStep(1.0, +1), 1.25);
    QCOMPARE(NextZoomStep(1.0, -1), 0.9);
    // A factor between steps goes to the neighbouring step, not two steps.
    QCOMPARE(NextZoomStep(1.1, +1), 1.25);
    QCOMPARE(NextZoomStep(1.1, -1), 1.0);
    // The ends stay where they are.
    QCOMPARE(NextZoomStep(6.0, +1), 6.0);
    QCOMPARE(NextZoomStep(0.25, -1), 0.25);
    QCOMPARE(NextZoomStep(50.0, -1), 6.0);
    QCOMPARE(NextZoomStep(0.01, +1), 0.25);
  }

  void MissingManualIsSaidInTheWindow() {
    TFManual manual;
    const QString missing = tempDir_.filePath("nowhere/Manual.pdf");
    manual.LoadDocument(missing);
    manual.show();
    QVERIFY(!manual.DocumentShown());
    QVERIFY(manual.MessageLabel1->isVisible());
    QVERIFY(manual.MessageLabel1->text().contains(QDir::toNativeSeparators(missing)));
    QVERIFY(manual.MessageLabel1->text().contains("does not exist"));
    QVERIFY(!manual.ActionNextPage->isEnabled());
    QVERIFY(!manual.ActionZoomIn->isEnabled());
    manual.ActionLastPage->trigger();  // nothing to do, and no crash
    // A file that is not a PDF document.
    const QString junk = tempDir_.filePath("junk.pdf");
    QFile file(junk);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("this is not a PDF document\n");
    file.close();
    manual.LoadDocument(junk);
    QVERIFY(!manual.DocumentShown());
    QVERIFY(manual.MessageLabel1->text().contains("not a readable PDF"));
    // And back to a good one.
    manual.LoadDocument(ManualNextToProgram());
    QVERIFY(manual.DocumentShown());
    QVERIFY(manual.Pdf1->isVisible());
  }

  void LoadProblemTexts() {
    QVERIFY(ManualLoadProblem(QPdfDocument::Error::None, "x").isEmpty());
    QVERIFY(ManualLoadProblem(QPdfDocument::Error::FileNotFound, "").contains("unknown"));
    QVERIFY(
        ManualLoadProblem(QPdfDocument::Error::IncorrectPassword, "/m.pdf").contains("protected"));
  }

  void SecondManualCommandReusesTheWindow() {
    TFMain main;
    main.FormCreate();
    QVERIFY(FManual == nullptr);
    main.ActionManual->trigger();
    TFManual* first = FManual;
    QVERIFY(first != nullptr);
    QVERIFY(first->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(first));
    first->GoToPage(2);
    QTRY_COMPARE(first->CurrentPage(), 2);
    first->close();  // closing hides it
    QVERIFY(!first->isVisible());
    QCOMPARE(FManual, first);
    main.ActionManual->trigger();
    QCOMPARE(FManual, first);
    QVERIFY(first->isVisible());
    QVERIFY(first->DocumentShown());
    QCOMPARE(first->CurrentPage(), 2);  // still where the reader left it
    QCOMPARE(main.findChildren<TFManual*>().size(), qsizetype{1});
  }

 private:
  QTemporaryDir tempDir_;
};

QTEST_MAIN(TfmanualTest)
#include "TfmanualTest.moc"
