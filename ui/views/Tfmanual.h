// The manual viewer (FManual, caption "Tervik Microcontroller Manual"): the processor manual,
// Manual.pdf next to the program (or in the installed documentation folder), shown with Qt PDF,
// with its outline as a contents panel and a search that marks its hits.
#pragma once

#include <QPdfDocument>
#include <QString>
#include <QWidget>

#include "ManualPageView.h"

class QAction;
class QLabel;
class QLineEdit;
class QPdfBookmarkModel;
class QPdfSearchModel;
class QSpinBox;
class QSplitter;
class QStackedWidget;
class QToolBar;
class QTreeView;

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
  QToolBar* ToolBar2;  // the contents panel's switch and the search
  QSplitter* Splitter1;
  QTreeView* ContentsTree1;  // the document's outline; a click goes to the heading
  QPdfBookmarkModel* Bookmarks1;
  QStackedWidget* Pages1;
  ManualPageView* Pdf1;    // the pages, scrolling through the whole document
  QLineEdit* SearchEdit1;  // Enter or F3 goes to the next hit, Shift+F3 to the one before
  QLabel* SearchLabel1;    // "3 of 17", "not found"
  QPdfSearchModel* Search1;
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
  QAction* ActionContents;  // checked: the contents panel is shown
  QAction* ActionFind;      // Ctrl+F: to the search field
  QAction* ActionFindNext;
  QAction* ActionFindPrevious;

  // The 0-based page at the top of the view.
  int CurrentPage() const;
  void GoToPage(int page);

  // Searches the document for `text` (no case); the hits are marked and the first one from
  // the current page on is shown once the search has seen that far.
  void Find(const QString& text);
  // Goes to the next (direction > 0) or previous hit, round the end of the document.
  void FindNext(int direction);
  int SearchResultCount() const;
  int CurrentSearchResult() const;

 private:
  void UpdateControls();
  void UpdateSearchLabel();
  void SetZoom(double factor);
  void ShowSearchResult(int index);
  void ContentsActivated(const QModelIndex& index);

  QString documentPath_;
  bool showFirstHit_ = false;  // a new search shows its first hit as soon as there is one
};

extern TFManual* FManual;
