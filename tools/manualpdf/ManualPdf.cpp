// Typesetting the manual: the Markdown is parsed by QTextDocument, restyled for print, laid out
// on A4 pages by the document's own pagination and painted page by page into a QPdfWriter. The
// table of contents needs the page numbers of the headings, which depend on the length of the
// table itself, so the document is laid out until the numbers no longer change.
#include "ManualPdf.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QFont>
#include <QPainter>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextTable>
#include <cmath>
#include <memory>
#include <utility>

namespace tervik::manual {

namespace {

constexpr double kResolution = 300.0;  // dots per inch of the PDF device
// Lengths of frames, tables and block margins are given in pixels of a 96 dpi screen; the layout
// scales them to the device.
constexpr double kPt = 96.0 / 72.0;               // layout pixels per typographic point
constexpr double kDevicePt = kResolution / 72.0;  // device pixels per point, for painting
const QString kBodyFamily = "Liberation Sans";    // metric-compatible with Arial
const QString kCodeFamily = "Liberation Mono";    // metric-compatible with Courier New
const QString kContentsTitle = "Contents";
constexpr double kTableLineHeight = 12.5 * kPt;  // 10 pt text with its leading

// The table of contents as Markdown: chapters in bold, page numbers right. Sections are indented
// after parsing (StyleContents).
QString ContentsMarkdown(const QList<Heading>& contents) {
  QString md = "## " + kContentsTitle + "\n\n| | |\n|:--|--:|\n";
  for (const Heading& h : contents) {
    QString text = h.text;
    text.replace('|', "\\|");
    const QString page = h.page > 0 ? QString::number(h.page) : QString("0");
    if (h.level == 1) {
      md += "| **" + text + "** | **" + page + "** |\n";
    } else {
      md += "| " + text + " | " + page + " |\n";
    }
  }
  return md + "\n";
}

void ApplyCharFormat(QTextDocument& doc, int from, int to, const QTextCharFormat& format) {
  QTextCursor cursor(&doc);
  cursor.setPosition(from);
  cursor.setPosition(to, QTextCursor::KeepAnchor);
  cursor.mergeCharFormat(format);
}

bool IsCodeBlock(const QTextBlock& block) {
  const QTextBlockFormat format = block.blockFormat();
  return format.hasProperty(QTextFormat::BlockCodeFence) ||
         format.hasProperty(QTextFormat::BlockCodeLanguage) || format.nonBreakableLines();
}

void StyleTables(QTextFrame* frame) {
  for (QTextFrame* child : frame->childFrames()) {
    if (auto* table = qobject_cast<QTextTable*>(child)) {
      QTextTableFormat format = table->format();
      format.setBorder(0.75 * kPt);
      format.setBorderBrush(QColor(0x80, 0x80, 0x80));
      format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
      format.setBorderCollapse(true);
      format.setCellSpacing(0);
      format.setCellPadding(3.5 * kPt);
      format.setTopMargin(4 * kPt);
      format.setBottomMargin(6 * kPt);
      format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
      format.setHeaderRowCount(1);
      if (table->columns() == 2) {
        // Name and description: the names take a narrow first column in every such table.
        format.setColumnWidthConstraints({QTextLength(QTextLength::PercentageLength, 22),
                                          QTextLength(QTextLength::PercentageLength, 78)});
      }
      table->setFormat(format);
      for (int column = 0; column < table->columns(); ++column) {
        QTextTableCell cell = table->cellAt(0, column);
        QTextCharFormat cellFormat = cell.format();
        cellFormat.setBackground(QColor(0xE4, 0xE8, 0xF0));
        cell.setFormat(cellFormat);
      }
    }
    StyleTables(child);
  }
}

// Restyles what the Markdown parser produced for print and returns the headings that follow the
// table of contents (level 1 and 2), in order, with their blocks.
QList<std::pair<Heading, QTextBlock>> StyleDocument(QTextDocument& doc) {
  QList<std::pair<Heading, QTextBlock>> headings;
  bool afterContents = false;
  // Character formats are collected first and applied afterwards: changing them while walking
  // the fragments would invalidate the walk.
  QList<std::pair<std::pair<int, int>, QTextCharFormat>> charChanges;

  for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
    QTextBlockFormat format = block.blockFormat();
    const int level = format.headingLevel();
    QTextCursor cursor(block);
    if (level > 0 && block.text() == kContentsTitle && !afterContents) {
      afterContents = true;
    }
    if (level == 1) {
      format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
      format.setTopMargin(0);
      format.setBottomMargin(10 * kPt);
    } else if (level == 2) {
      format.setTopMargin(14 * kPt);
      format.setBottomMargin(5 * kPt);
    } else if (level >= 3) {
      format.setTopMargin(10 * kPt);
      format.setBottomMargin(3 * kPt);
    } else if (IsCodeBlock(block)) {
      format.setBackground(QColor(0xF2, 0xF2, 0xF2));
      format.setLeftMargin(6 * kPt);
      format.setNonBreakableLines(true);
    } else if (QTextCursor(block).currentTable() != nullptr) {
      // Every line in a table has the same height, whatever its fonts: a table row that meets
      // the end of a page then moves to the next page as a whole, instead of leaving the cells
      // with a smaller font behind.
      format.setLineHeight(kTableLineHeight, QTextBlockFormat::FixedHeight);
    } else if (format.bottomMargin() < 4 * kPt && !block.textList()) {
      format.setBottomMargin(5 * kPt);
    }
    if (level > 0) {
      QTextCharFormat color;
      color.setForeground(QColor(0x1F, 0x3A, 0x68));
      charChanges.append({{block.position(), block.position() + block.length() - 1}, color});
    }
    cursor.setBlockFormat(format);

    if (afterContents && (level == 1 || level == 2) && block.text() != kContentsTitle) {
      headings.append({Heading{level, block.text(), 0}, block});
    }

    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      if (!fragment.isValid()) continue;
      const QTextCharFormat fragmentFormat = fragment.charFormat();
      if (fragmentFormat.fontFixedPitch() || IsCodeBlock(block)) {
        QTextCharFormat code;
        code.setFontFamilies(QStringList{kCodeFamily});
        code.setFontFixedPitch(true);
        code.setFontPointSize(9);
        charChanges.append({{fragment.position(), fragment.position() + fragment.length()}, code});
      }
    }
  }
  QTextCursor edit(&doc);
  edit.beginEditBlock();
  for (const auto& [range, format] : charChanges) {
    ApplyCharFormat(doc, range.first, range.second, format);
  }
  edit.endEditBlock();
  StyleTables(doc.rootFrame());
  return headings;
}

// The 1-based page on which `top` (a document y coordinate) is printed.
int PageAt(double top, double pageHeight) {
  // Page 1 is the painted title page; the document starts on page 2.
  return static_cast<int>(std::floor(top / pageHeight)) + 2;
}

// The y coordinate of the first line of `block`.
double BlockTop(const QTextDocument& doc, const QTextBlock& block) {
  double top = doc.documentLayout()->blockBoundingRect(block).top();
  if (const QTextLayout* layout = block.layout(); layout != nullptr && layout->lineCount() > 0) {
    top += layout->lineAt(0).y();
  }
  return top;
}

void BreakBefore(const QTextBlock& block) {
  QTextBlockFormat format = block.blockFormat();
  format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
  QTextCursor(block).setBlockFormat(format);
}

// Keeps a heading on the page of what follows it, and a short table (an instruction's
// description) on one page, by starting a new page before them. Walks the document in order;
// the layout follows each change from that point on.
void KeepTogether(QTextDocument& doc, double pageHeight) {
  QAbstractTextDocumentLayout* layout = doc.documentLayout();
  QTextBlock pendingHeading;  // the heading directly before the current element, if any
  for (QTextFrame::iterator it = doc.rootFrame()->begin(); !it.atEnd(); ++it) {
    if (QTextFrame* frame = it.currentFrame()) {
      auto* table = qobject_cast<QTextTable*>(frame);
      const QRectF rect = layout->frameBoundingRect(frame);
      const bool crosses = PageAt(rect.top(), pageHeight) != PageAt(rect.bottom() - 1, pageHeight);
      if (table != nullptr && crosses && rect.height() < 0.45 * pageHeight) {
        if (pendingHeading.isValid()) {
          BreakBefore(pendingHeading);
        } else {
          QTextTableFormat format = table->format();
          format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
          table->setFormat(format);
        }
      } else if (pendingHeading.isValid() && PageAt(BlockTop(doc, pendingHeading), pageHeight) !=
                                                 PageAt(rect.top() + 1, pageHeight)) {
        BreakBefore(pendingHeading);
      }
      pendingHeading = QTextBlock();
      continue;
    }
    const QTextBlock block = it.currentBlock();
    if (pendingHeading.isValid() && PageAt(BlockTop(doc, pendingHeading), pageHeight) !=
                                        PageAt(BlockTop(doc, block), pageHeight)) {
      BreakBefore(pendingHeading);
    }
    pendingHeading = block.blockFormat().headingLevel() >= 2 ? block : QTextBlock();
  }
}

// The table of contents: the first table after the "Contents" heading. The Markdown table has
// an empty header row, which is removed; the rows are then the entries.
QTextTable* ContentsTable(QTextDocument& doc) {
  for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
    if (block.blockFormat().headingLevel() > 0 && block.text() == kContentsTitle) {
      return QTextCursor(block.next()).currentTable();
    }
  }
  return nullptr;
}

void StyleContents(QTextTable& table, const QList<Heading>& contents) {
  table.removeRows(0, 1);
  QTextTableFormat format = table.format();
  format.setBorder(0);
  format.setBorderStyle(QTextFrameFormat::BorderStyle_None);
  format.setCellPadding(1.5 * kPt);
  format.setHeaderRowCount(0);
  format.setColumnWidthConstraints({QTextLength(QTextLength::PercentageLength, 90),
                                    QTextLength(QTextLength::PercentageLength, 10)});
  table.setFormat(format);
  for (int row = 0; row < table.rows(); ++row) {
    for (int column = 0; column < table.columns(); ++column) {
      QTextTableCell cell = table.cellAt(row, column);
      QTextCharFormat cellFormat = cell.format();
      cellFormat.setBackground(Qt::NoBrush);
      cell.setFormat(cellFormat);
    }
    if (row < contents.size() && contents[row].level > 1) {
      QTextCursor cursor = table.cellAt(row, 0).firstCursorPosition();
      QTextBlockFormat indent = cursor.blockFormat();
      indent.setLeftMargin(22 * kPt);
      cursor.setBlockFormat(indent);
    }
  }
}

// Writes the page numbers into the second column of the table of contents.
void FillContents(QTextDocument& doc, QTextTable& table, const QList<Heading>& contents) {
  QTextCursor edit(&doc);
  edit.beginEditBlock();  // one layout for all the numbers
  for (int row = 0; row < table.rows() && row < contents.size(); ++row) {
    const QTextTableCell cell = table.cellAt(row, 1);
    QTextCursor cursor = cell.firstCursorPosition();
    cursor.setPosition(cell.lastCursorPosition().position(), QTextCursor::KeepAnchor);
    const QTextCharFormat format = cursor.charFormat();
    cursor.insertText(QString::number(contents[row].page), format);
  }
  edit.endEditBlock();
}

void PaintTitlePage(QPainter& painter, const QRectF& page, const QString& title,
                    const QString& subtitle) {
  const QColor blue(0x1F, 0x3A, 0x68);
  const double top = page.top() + page.height() * 0.3;
  painter.fillRect(QRectF(page.left(), top - 14 * kDevicePt, page.width(), 3 * kDevicePt), blue);
  QFont big(kBodyFamily);
  big.setPointSizeF(32);
  big.setBold(true);
  painter.setFont(big);
  painter.setPen(blue);
  painter.drawText(QRectF(page.left(), top, page.width(), 48 * kDevicePt),
                   Qt::AlignLeft | Qt::AlignTop, title);
  QFont small(kBodyFamily);
  small.setPointSizeF(14);
  painter.setFont(small);
  painter.setPen(QColor(0x40, 0x40, 0x40));
  painter.drawText(QRectF(page.left(), top + 52 * kDevicePt, page.width(), 120 * kDevicePt),
                   Qt::AlignLeft | Qt::AlignTop, subtitle);
}

}  // namespace

bool ReadSources(const QStringList& paths, QString& markdown, QString& error) {
  markdown.clear();
  for (const QString& path : paths) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
      error = QString("cannot read %1: %2").arg(path, file.errorString());
      return false;
    }
    markdown += QString::fromUtf8(file.readAll());
    if (!markdown.endsWith('\n')) markdown += '\n';
    markdown += '\n';
  }
  return true;
}

TypesetResult WriteManualPdf(const QString& markdown, const QString& title, const QString& subtitle,
                             const QString& outputPath) {
  TypesetResult result;
  QPdfWriter writer(outputPath);
  writer.setResolution(static_cast<int>(kResolution));
  writer.setPageSize(QPageSize(QPageSize::A4));
  writer.setPageMargins(QMarginsF(20, 16, 20, 14), QPageLayout::Millimeter);
  writer.setTitle(title);
  writer.setCreator("tervik_manualpdf");

  const double width = writer.width();
  const double footer = 20 * kDevicePt;  // room for the page number below the text
  const QSizeF pageSize(width, writer.height() - footer);
  const QString front;  // the title page is painted, not typeset

  QTextDocument doc;
  QFont font(kBodyFamily);
  font.setPointSizeF(10);
  doc.setDefaultFont(font);
  doc.setDocumentMargin(0);
  // The table of contents starts with placeholders; the numbers are written in after the layout.
  QList<Heading> contents;
  {
    QTextDocument scan;
    scan.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
    for (QTextBlock block = scan.begin(); block.isValid(); block = block.next()) {
      const int level = block.blockFormat().headingLevel();
      if (level == 1 || level == 2) contents.append(Heading{level, block.text(), 0});
    }
  }
  doc.setMarkdown(front + ContentsMarkdown(contents) + markdown,
                  QTextDocument::MarkdownDialectGitHub);
  const QList<std::pair<Heading, QTextBlock>> headings = StyleDocument(doc);
  QTextTable* contentsTable = ContentsTable(doc);
  if (contentsTable == nullptr || headings.size() != contents.size()) {
    result.error = "the table of contents does not match the headings";
    return result;
  }
  StyleContents(*contentsTable, contents);
  // The layout is created only now, so that the restyling above did not lay out on every change.
  doc.documentLayout()->setPaintDevice(&writer);
  doc.setPageSize(pageSize);
  KeepTogether(doc, pageSize.height());
  // Page numbers are short and their column has a fixed width, so writing them in changes no
  // page break; the second pass proves it.
  for (int pass = 0; pass < 2; ++pass) {
    for (qsizetype i = 0; i < headings.size(); ++i) {
      contents[i].page = PageAt(BlockTop(doc, headings[i].second), pageSize.height());
    }
    FillContents(doc, *contentsTable, contents);
  }
  for (qsizetype i = 0; i < headings.size(); ++i) {
    if (contents[i].page != PageAt(BlockTop(doc, headings[i].second), pageSize.height())) {
      result.error = "the table of contents does not settle";
      return result;
    }
  }

  const int pages = doc.pageCount() + 1;  // the title page and the document's pages
  QPainter painter;
  if (!painter.begin(&writer)) {
    result.error = QString("cannot write %1").arg(outputPath);
    return result;
  }
  PaintTitlePage(painter, QRectF(0, 0, width, pageSize.height()), title, subtitle);
  QFont footerFont(kBodyFamily);
  footerFont.setPointSizeF(8.5);
  for (int page = 1; page < pages; ++page) {
    writer.newPage();
    const QRectF clip(0, (page - 1) * pageSize.height(), width, pageSize.height());
    painter.save();
    painter.translate(0, -clip.top());
    painter.setClipRect(clip);
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = clip;
    doc.documentLayout()->draw(&painter, context);
    painter.restore();
    painter.setFont(footerFont);
    painter.setPen(QColor(0x40, 0x40, 0x40));
    const QRectF footerRect(0, pageSize.height(), width, footer);
    painter.drawLine(
        QLineF(0, footerRect.top() + 6 * kDevicePt, width, footerRect.top() + 6 * kDevicePt));
    painter.drawText(footerRect, Qt::AlignLeft | Qt::AlignBottom, title);
    painter.drawText(footerRect, Qt::AlignRight | Qt::AlignBottom,
                     QString("Page %1 of %2").arg(page + 1).arg(pages));
  }
  if (!painter.end()) {
    result.error = QString("cannot write %1").arg(outputPath);
    return result;
  }
  result.ok = true;
  result.pageCount = pages;
  result.contents = contents;
  return result;
}

}  // namespace tervik::manual
