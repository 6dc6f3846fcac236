// The Board window: the groups of the panels, rebuilt when the map changes.
#include "Tfboard.h"

#include <QGroupBox>
#include <QLabel>

#include "BoardPanelView.h"

TFBoard::TFBoard(QWidget* parent, DebugHost& host)
    : TToolDock("Board", parent, false), host_(host) {
  setObjectName("Board");
  setAccessibleName("Board");
  auto* scroll = new QScrollArea(this);
  scroll->setWidgetResizable(true);
  content_ = new QWidget(scroll);
  layout_ = new QVBoxLayout(content_);
  layout_->setContentsMargins(4, 4, 4, 4);
  scroll->setWidget(content_);
  setWidget(scroll);
}

void TFBoard::showEvent(QShowEvent* event) {
  TToolDock::showEvent(event);
  UpdateView();
}

void TFBoard::UpdateView() {
  if (!isVisible()) return;
  // No map can be loaded while a run goes on: the panels are taken again only between runs
  // (and at the first showing, which may come during a run).
  if ((!host_.Running() || !built_) && board_.Sync(host_.Session().Cpu())) {
    built_ = true;
    Rebuild();
    return;
  }
  for (TBoardPanelView* view : views_) view->Refresh();
}

QSize TFBoard::PreferredSize(const QSize& limit) const {
  // The groups one below the other, the margins, a scroll bar's width and the title bar.
  QSize content(0, 0);
  for (const TBoardPanelView* view : views_) {
    const QSize group = view->parentWidget()->sizeHint();
    content = {std::max(content.width(), group.width()),
               content.height() + group.height() + layout_->spacing()};
  }
  content += QSize(40, 48);
  return content.boundedTo(limit).expandedTo({240, 160});
}

void TFBoard::Rebuild() {
  while (QLayoutItem* item = layout_->takeAt(0)) {
    delete item->widget();
    delete item;
  }
  views_.clear();
  for (const tervik::Board::Panel& panel : board_.Panels()) {
    auto* group = new QGroupBox(QString::fromStdString(panel.description.title), content_);
    auto* box = new QVBoxLayout(group);
    box->setContentsMargins(2, 2, 2, 2);
    auto* view = new TBoardPanelView(host_, panel, group);
    box->addWidget(view, 0, Qt::AlignLeft);
    layout_->addWidget(group);
    views_.push_back(view);
  }
  if (views_.empty()) {
    layout_->addWidget(new QLabel("No module of the memory map has a panel.", content_));
  }
  layout_->addStretch(1);
}
