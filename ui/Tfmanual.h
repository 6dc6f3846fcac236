// The manual viewer (FManual, caption "Tervik Microcontroller Manual"): the processor manual,
// Manual.pdf next to the program (or in the installed documentation folder), shown with Qt PDF.
#pragma once

#include <QPdfDocument>
#include <QString>
#include <QWidget>

class QAction;
class QLabel;
class QPdfView;
class QSpinBox;
class QStackedWidget;
class QToolBar;

// Zoom steps of the viewer: the next larger (direction > 0) or smaller (direction < 0) step
// from `current`; stays within the first and last step.
double NextZoomStep(double current, int direction);

// The sentence shown instead of the pages when the document at `path` cannot be shown.
QString ManualLoadProblem(QPdfDocument::Error error, const QString& path);

class TFManual final : public QWidget {
  Q_OBJECT

 public:
  // Created on the first "Manual" command, owned by the main window; closing it only hides it.
  explicit TFManual(QWidget* parent = nullptr);
  ~TFManual() override;

  // Builds the document path (the manual next to the executable, else the installed one) and
  // loads it.
  void FormCreate();
  // Loads the document at `path`; when it cannot be read, the window shows why instead.
  void LoadDocument(const QString& path);

  const QString& DocumentPath() const { return documentPath_; }
  bool DocumentShown() const;

  QToolBar* ToolBar1;
  QStackedWidget* Pages1;
  QPdfView* Pdf1;         // the pages, scrolling through the whole document
  QLabel* MessageLabel1;  // shown instead of Pdf1 when the manual cannot be opened
  QPdfDocument* Document1;
  QSpinBox* PageSpin1;  // current page, 1-based; typing a number jumps there
  QLabel* PageCountLabel1;
  QAction* ActionFirstPage;
  QAction* ActionPreviousPage;
  QAction* ActionNextPage;
  QAction* ActionLastPage;
  QAction* ActionZoomOut;
  QAction* ActionZoomIn;
  QAction* ActionActualSize;
  QAction* ActionFitWidth;
  QAction* ActionFitPage;

  // The 0-based page at the top of the view.
  int CurrentPage() const;
  void GoToPage(int page);

 private:
  void UpdateControls();
  void SetZoom(double factor);

  QString documentPath_;
};

extern TFManual* FManual;
