// The manual viewer: a tool bar for pages and zoom, and one for the contents panel and the
// search, over the document's outline beside a QPdfView that scrolls through all pages, or a
// message in the window when the document cannot be opened.
#include "Tfmanual.h"

#include <QAction>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPdfBookmarkModel>
#include <QPdfPageNavigator>
#include <QPdfSearchModel>
#include <QScrollBar>
#include <QSpinBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include "ManualPageView.h"

#include "Documents.h"

TFManual* FManual = nullptr;

namespace {

constexpr std::array<double, 13> kZoomSteps = {0.25, 0.33, 0.5, 0.67, 0.75, 0.9, 1.0,
                                               1.25, 1.5,  2.0, 3.0,  4.0,  6.0};

}  // namespace

double NextZoomStep(double current, int direction) {
  // A small tolerance, so that a factor that is a step (up to rounding) counts as that step.
  constexpr double kEpsilon = 1e-3;
  if (direction > 0) {
    for (double step : kZoomSteps) {
      if (step > current + kEpsilon) return step;
    }
    return kZoomSteps.back();
  }
  if (direction < 0) {
    for (auto it = kZoomSteps.rbegin(); it != kZoomSteps.rend(); ++it) {
      if (*it < current - kEpsilon) return *it;
    }
    return kZoomSteps.front();
  }
  return current;
}

QString ManualLoadProblem(QPdfDocument::Error error, const QString& path) {
  QString reason;
  switch (error) {
    case QPdfDocument::Error::None: return {};
    case QPdfDocument::Error::FileNotFound: reason = "The file does not exist."; break;
    case QPdfDocument::Error::InvalidFileFormat:
      reason = "The file is not a readable PDF document.";
      break;
    case QPdfDocument::Error::IncorrectPassword:
    case QPdfDocument::Error::UnsupportedSecurityScheme:
      reason = "The document is protected and cannot be opened.";
      break;
    case QPdfDocument::Error::DataNotYetAvailable:
    case QPdfDocument::Error::Unknown: reason = "The file could not be read."; break;
  }
  const QString shown = path.isEmpty() ? QString("(the program's folder is unknown)")
                                       : QDir::toNativeSeparators(path);
  return QString("The Tervik Microcontroller Manual could not be opened.\n\n%1\n\n%2")
      .arg(shown, reason);
}

TFManual::TFManual(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("FManual");
  setWindowTitle("Tervik Microcontroller Manual");
  resize(627, 942);

  Document1 = new QPdfDocument(this);
  Document1->setObjectName("Document1");

  ToolBar1 = new QToolBar(this);
  ToolBar1->setObjectName("ToolBar1");
  ToolBar1->setToolButtonStyle(Qt::ToolButtonTextOnly);
  auto makeAction = [this](const QString& text, const char* name, const QKeySequence& key) {
    auto* action = new QAction(text, this);
    action->setObjectName(name);
    if (!key.isEmpty()) action->setShortcut(key);
    action->setShortcutContext(Qt::WindowShortcut);
    ToolBar1->addAction(action);
    return action;
  };
  ActionFirstPage = makeAction("|<", "ActionFirstPage", QKeySequence(Qt::CTRL | Qt::Key_Home));
  ActionFirstPage->setToolTip("First page (Ctrl+Home)");
  ActionPreviousPage = makeAction("<", "ActionPreviousPage", {});
  ActionPreviousPage->setToolTip("Previous page");
  PageSpin1 = new QSpinBox(this);
  PageSpin1->setObjectName("PageSpin1");
  PageSpin1->setKeyboardTracking(false);
  PageSpin1->setButtonSymbols(QAbstractSpinBox::NoButtons);
  PageSpin1->setAlignment(Qt::AlignRight);
  PageSpin1->setToolTip("Page number");
  ToolBar1->addWidget(PageSpin1);
  PageCountLabel1 = new QLabel(this);
  PageCountLabel1->setObjectName("PageCountLabel1");
  ToolBar1->addWidget(PageCountLabel1);
  ActionNextPage = makeAction(">", "ActionNextPage", {});
  ActionNextPage->setToolTip("Next page");
  ActionLastPage = makeAction(">|", "ActionLastPage", QKeySequence(Qt::CTRL | Qt::Key_End));
  ActionLastPage->setToolTip("Last page (Ctrl+End)");
  ToolBar1->addSeparator();
  ActionZoomOut = makeAction("-", "ActionZoomOut", QKeySequence::ZoomOut);
  ActionZoomOut->setToolTip("Zoom out (Ctrl+Minus)");
  ActionZoomIn = makeAction("+", "ActionZoomIn", QKeySequence::ZoomIn);
  ActionZoomIn->setToolTip("Zoom in (Ctrl+Plus)");
  ActionActualSize = makeAction("100%", "ActionActualSize", QKeySequence(Qt::CTRL | Qt::Key_0));
  ActionActualSize->setToolTip("Actual size (Ctrl+0)");
  ActionFitWidth = makeAction("Fit width", "ActionFitWidth", {});
  ActionFitWidth->setCheckable(true);
  ActionFitPage = makeAction("Fit page", "ActionFitPage", {});
  ActionFitPage->setCheckable(true);

  ToolBar2 = new QToolBar(this);
  ToolBar2->setObjectName("ToolBar2");
  ToolBar2->setToolButtonStyle(Qt::ToolButtonTextOnly);
  ActionContents = new QAction("Contents", this);
  ActionContents->setObjectName("ActionContents");
  ActionContents->setCheckable(true);
  ActionContents->setChecked(true);
  ActionContents->setToolTip("Show or hide the contents");
  ToolBar2->addAction(ActionContents);
  ToolBar2->addSeparator();
  SearchEdit1 = new QLineEdit(this);
  SearchEdit1->setObjectName("SearchEdit1");
  SearchEdit1->setPlaceholderText("Search");
  SearchEdit1->setClearButtonEnabled(true);
  SearchEdit1->setToolTip("Search the manual (Ctrl+F); Enter goes to the next hit");
  ToolBar2->addWidget(SearchEdit1);
  auto addSearchAction = [this](const QString& text, const char* name, const QKeySequence& key) {
    auto* action = new QAction(text, this);
    action->setObjectName(name);
    action->setShortcut(key);
    action->setShortcutContext(Qt::WindowShortcut);
    addAction(action);
    return action;
  };
  ActionFind = addSearchAction("Find", "ActionFind", QKeySequence::Find);
  ActionFindPrevious =
      addSearchAction("Previous", "ActionFindPrevious", QKeySequence::FindPrevious);
  ActionFindPrevious->setToolTip("Previous hit (Shift+F3)");
  ToolBar2->addAction(ActionFindPrevious);
  ActionFindNext = addSearchAction("Next", "ActionFindNext", QKeySequence::FindNext);
  ActionFindNext->setToolTip("Next hit (F3)");
  ToolBar2->addAction(ActionFindNext);
  SearchLabel1 = new QLabel(this);
  SearchLabel1->setObjectName("SearchLabel1");
  SearchLabel1->setMinimumWidth(80);
  ToolBar2->addWidget(SearchLabel1);

  Search1 = new QPdfSearchModel(this);
  Search1->setObjectName("Search1");
  Search1->setDocument(Document1);
  Bookmarks1 = new QPdfBookmarkModel(this);
  Bookmarks1->setObjectName("Bookmarks1");
  Bookmarks1->setDocument(Document1);

  ContentsTree1 = new QTreeView(this);
  ContentsTree1->setObjectName("ContentsTree1");
  ContentsTree1->setModel(Bookmarks1);
  ContentsTree1->setHeaderHidden(true);
  ContentsTree1->setUniformRowHeights(true);
  ContentsTree1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ContentsTree1->header()->setStretchLastSection(true);

  Pdf1 = new ManualPageView(this);
  Pdf1->setObjectName("Pdf1");
  Pdf1->setPageMode(QPdfView::PageMode::MultiPage);
  Pdf1->setZoomMode(QPdfView::ZoomMode::FitToWidth);
  Pdf1->setFocusPolicy(Qt::StrongFocus);
  Pdf1->setDocument(Document1);
  Pdf1->SetSearchModel(Search1);

  MessageLabel1 = new QLabel(this);
  MessageLabel1->setObjectName("MessageLabel1");
  MessageLabel1->setAlignment(Qt::AlignCenter);
  MessageLabel1->setWordWrap(true);
  MessageLabel1->setTextInteractionFlags(Qt::TextSelectableByMouse);
  MessageLabel1->setMargin(24);

  Pages1 = new QStackedWidget(this);
  Pages1->setObjectName("Pages1");
  Pages1->addWidget(Pdf1);
  Pages1->addWidget(MessageLabel1);

  Splitter1 = new QSplitter(Qt::Horizontal, this);
  Splitter1->setObjectName("Splitter1");
  Splitter1->addWidget(ContentsTree1);
  Splitter1->addWidget(Pages1);
  Splitter1->setStretchFactor(1, 1);
  Splitter1->setSizes({190, 437});
  Splitter1->setCollapsible(1, false);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(ToolBar1);
  layout->addWidget(ToolBar2);
  layout->addWidget(Splitter1, 1);
  setFocusProxy(Pdf1);

  connect(ActionFirstPage, &QAction::triggered, this, [this] { GoToPage(0); });
  connect(ActionPreviousPage, &QAction::triggered, this, [this] { GoToPage(CurrentPage() - 1); });
  connect(ActionNextPage, &QAction::triggered, this, [this] { GoToPage(CurrentPage() + 1); });
  connect(ActionLastPage, &QAction::triggered, this,
          [this] { GoToPage(Document1->pageCount() - 1); });
  connect(PageSpin1, &QSpinBox::valueChanged, this, [this](int shown) {
    if (shown - 1 != CurrentPage()) GoToPage(shown - 1);
  });
  connect(ActionZoomIn, &QAction::triggered, this,
          [this] { SetZoom(NextZoomStep(Pdf1->zoomFactor(), +1)); });
  connect(ActionZoomOut, &QAction::triggered, this,
          [this] { SetZoom(NextZoomStep(Pdf1->zoomFactor(), -1)); });
  connect(ActionActualSize, &QAction::triggered, this, [this] { SetZoom(1.0); });
  connect(ActionFitWidth, &QAction::triggered, this, [this] {
    Pdf1->setZoomMode(QPdfView::ZoomMode::FitToWidth);
    UpdateControls();
  });
  connect(ActionFitPage, &QAction::triggered, this, [this] {
    Pdf1->setZoomMode(QPdfView::ZoomMode::FitInView);
    UpdateControls();
  });
  connect(Pdf1->pageNavigator(), &QPdfPageNavigator::currentPageChanged, this,
          [this] { UpdateControls(); });
  // Scrolling through the pages moves the page shown in the tool bar along.
  connect(Pdf1->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { UpdateControls(); });
  connect(Pdf1, &QPdfView::zoomModeChanged, this, [this] { UpdateControls(); });
  connect(ActionContents, &QAction::toggled, ContentsTree1, &QWidget::setVisible);
  connect(ContentsTree1, &QTreeView::clicked, this, &TFManual::ContentsActivated);
  connect(ContentsTree1, &QTreeView::activated, this, &TFManual::ContentsActivated);
  connect(Bookmarks1, &QAbstractItemModel::modelReset, this, [this] {
    // Chapters open, so the sections show at once.
    ContentsTree1->expandToDepth(0);
  });
  connect(ActionFind, &QAction::triggered, this, [this] {
    SearchEdit1->setFocus(Qt::ShortcutFocusReason);
    SearchEdit1->selectAll();
  });
  connect(SearchEdit1, &QLineEdit::returnPressed, this, [this] {
    if (SearchEdit1->text() != Search1->searchString()) {
      Find(SearchEdit1->text());
    } else {
      FindNext(+1);
    }
  });
  connect(SearchEdit1, &QLineEdit::textChanged, this, [this](const QString& text) {
    if (text.isEmpty()) Find({});
  });
  connect(ActionFindNext, &QAction::triggered, this, [this] {
    if (SearchEdit1->text() != Search1->searchString()) {
      Find(SearchEdit1->text());
    } else {
      FindNext(+1);
    }
  });
  connect(ActionFindPrevious, &QAction::triggered, this, [this] { FindNext(-1); });
  // The model searches page by page in the background: the count and the first hit follow it.
  auto resultsChanged = [this] {
    if (showFirstHit_ && Search1->rowCount({}) > 0) {
      showFirstHit_ = false;
      ShowSearchResult(0);
    }
    UpdateSearchLabel();
  };
  connect(Search1, &QAbstractItemModel::rowsInserted, this, resultsChanged);
  connect(Search1, &QAbstractItemModel::modelReset, this, resultsChanged);

  FormCreate();
}

TFManual::~TFManual() {
  // The view's children still signal while QWidget's destructor takes them down; by then this
  // object is no longer a TFManual, so nothing may reach its handlers any more.
  disconnect(Pdf1->verticalScrollBar(), nullptr, this, nullptr);
  disconnect(Pdf1->pageNavigator(), nullptr, this, nullptr);
  disconnect(Pdf1, nullptr, this, nullptr);
  disconnect(PageSpin1, nullptr, this, nullptr);
  disconnect(Search1, nullptr, this, nullptr);
  disconnect(Bookmarks1, nullptr, this, nullptr);
  disconnect(ContentsTree1, nullptr, this, nullptr);
  disconnect(SearchEdit1, nullptr, this, nullptr);
  Pdf1->SetSearchModel(nullptr);
}

void TFManual::FormCreate() {
  LoadDocument(QString::fromStdString(tervik::platform::ManualPath().string()));
}

void TFManual::LoadDocument(const QString& path) {
  documentPath_ = path;
  Document1->close();
  const QPdfDocument::Error error =
      path.isEmpty() ? QPdfDocument::Error::FileNotFound : Document1->load(path);
  if (error == QPdfDocument::Error::None && Document1->pageCount() > 0) {
    Pages1->setCurrentWidget(Pdf1);
    GoToPage(0);
  } else {
    Document1->close();
    MessageLabel1->setText(ManualLoadProblem(
        error == QPdfDocument::Error::None ? QPdfDocument::Error::InvalidFileFormat : error, path));
    Pages1->setCurrentWidget(MessageLabel1);
  }
  UpdateControls();
}

bool TFManual::DocumentShown() const {
  return Pages1->currentWidget() == Pdf1 && Document1->pageCount() > 0;
}

int TFManual::CurrentPage() const {
  const int pages = Document1->pageCount();
  if (pages <= 0) return 0;
  // QPdfView lays the pages out one below the other at equal heights with equal spacing, so the
  // page at the top of the view follows from the scroll position.
  const QScrollBar* bar = Pdf1->verticalScrollBar();
  const int span = bar->maximum() + bar->pageStep();
  if (span <= 0 || bar->maximum() == 0) return Pdf1->pageNavigator()->currentPage();
  // Scrolled to the end, the last page is the one being read, even when the view is tall
  // enough to show the end of the page before it too.
  if (bar->value() >= bar->maximum()) return pages - 1;
  const double perPage = static_cast<double>(span) / pages;
  // A page counts as current once its top has reached the upper third of the view.
  const int page = static_cast<int>((bar->value() + bar->pageStep() / 3.0) / perPage);
  return std::clamp(page, 0, pages - 1);
}

void TFManual::GoToPage(int page) {
  const int pages = Document1->pageCount();
  if (pages <= 0) return;
  page = std::clamp(page, 0, pages - 1);
  Pdf1->pageNavigator()->jump(page, QPointF(), Pdf1->pageNavigator()->currentZoom());
  UpdateControls();
}

void TFManual::SetZoom(double factor) {
  Pdf1->setZoomMode(QPdfView::ZoomMode::Custom);
  Pdf1->setZoomFactor(factor);
  UpdateControls();
}

void TFManual::UpdateControls() {
  const int pages = Document1->pageCount();
  const bool shown = pages > 0 && Pages1->currentWidget() == Pdf1;
  const int page = shown ? CurrentPage() : 0;
  {
    const QSignalBlocker blocker(PageSpin1);
    PageSpin1->setRange(shown ? 1 : 0, shown ? pages : 0);
    PageSpin1->setValue(shown ? page + 1 : 0);
  }
  PageSpin1->setEnabled(shown);
  PageCountLabel1->setText(shown ? QString(" of %1 ").arg(pages) : QString());
  ActionFirstPage->setEnabled(shown && page > 0);
  ActionPreviousPage->setEnabled(shown && page > 0);
  ActionNextPage->setEnabled(shown && page < pages - 1);
  ActionLastPage->setEnabled(shown && page < pages - 1);
  for (QAction* action :
       {ActionZoomOut, ActionZoomIn, ActionActualSize, ActionFitWidth, ActionFitPage}) {
    action->setEnabled(shown);
  }
  ActionFitWidth->setChecked(Pdf1->zoomMode() == QPdfView::ZoomMode::FitToWidth);
  ActionFitPage->setChecked(Pdf1->zoomMode() == QPdfView::ZoomMode::FitInView);
}

void TFManual::ContentsActivated(const QModelIndex& index) {
  if (!index.isValid()) return;
  const int page = index.data(static_cast<int>(QPdfBookmarkModel::Role::Page)).toInt();
  const QPointF location =
      index.data(static_cast<int>(QPdfBookmarkModel::Role::Location)).toPointF();
  if (page < 0 || page >= Document1->pageCount()) return;
  Pdf1->pageNavigator()->jump(page, location, Pdf1->pageNavigator()->currentZoom());
  UpdateControls();
}

void TFManual::Find(const QString& text) {
  showFirstHit_ = !text.isEmpty();
  Pdf1->SetCurrentResult(-1);
  Search1->setSearchString(text);
  UpdateSearchLabel();
}

int TFManual::SearchResultCount() const {
  return Search1->searchString().isEmpty() ? 0 : Search1->rowCount({});
}

int TFManual::CurrentSearchResult() const {
  return Pdf1->CurrentResult();
}

void TFManual::FindNext(int direction) {
  const int count = SearchResultCount();
  if (count == 0) return;
  showFirstHit_ = false;
  const int current = Pdf1->CurrentResult();
  int next = 0;
  if (current < 0) {
    next = direction > 0 ? 0 : count - 1;
  } else {
    next = (current + (direction > 0 ? 1 : count - 1)) % count;
  }
  ShowSearchResult(next);
}

void TFManual::ShowSearchResult(int index) {
  const QPdfLink link = Search1->resultAtIndex(index);
  if (!link.isValid()) return;
  Pdf1->SetCurrentResult(index);
  // A little above the hit, so the line before it shows too.
  const QPointF at(0, std::max(0.0, link.location().y() - 40));
  Pdf1->pageNavigator()->jump(link.page(), at, Pdf1->pageNavigator()->currentZoom());
  UpdateControls();
  UpdateSearchLabel();
}

void TFManual::UpdateSearchLabel() {
  const int count = SearchResultCount();
  if (Search1->searchString().isEmpty()) {
    SearchLabel1->clear();
  } else if (count == 0) {
    SearchLabel1->setText(" not found");
  } else if (Pdf1->CurrentResult() >= 0) {
    SearchLabel1->setText(QString(" %1 of %2").arg(Pdf1->CurrentResult() + 1).arg(count));
  } else {
    SearchLabel1->setText(QString(" %1 hits").arg(count));
  }
  ActionFindNext->setEnabled(count > 0 || SearchEdit1->text() != Search1->searchString());
  ActionFindPrevious->setEnabled(count > 0);
}
