// Typesetting the processor manual: Markdown in, a paginated PDF with a table of contents and
// page numbers out, using nothing but Qt (QTextDocument and QPdfWriter).
#pragma once

#include <QString>
#include <QStringList>

namespace tervik::manual {

struct Heading {
  int level = 0;  // 1 for a chapter, 2 for a section
  QString text;
  int page = 0;  // 1-based page the heading's first line is printed on
};

struct TypesetResult {
  bool ok = false;
  QString error;  // why it failed, when !ok
  int pageCount = 0;
  QList<Heading> contents;  // the entries of the table of contents, in document order
};

// Joins the Markdown files in the given order, each starting on a new line. Fails (with the file
// name in `error`) when a file cannot be read.
bool ReadSources(const QStringList& paths, QString& markdown, QString& error);

// Typesets `markdown` into an A4 PDF at `outputPath`: a title page (`title`, with `subtitle`
// below it), a table of contents of the chapters and sections with their page numbers, then the
// chapters (level-1 headings), each starting on a new page. Every page but the title page
// carries its number in the footer.
TypesetResult WriteManualPdf(const QString& markdown, const QString& title, const QString& subtitle,
                             const QString& outputPath);

}  // namespace tervik::manual
