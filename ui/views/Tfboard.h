// The Board window: a dockable window with one group per module that has a panel, in map
// order, drawn from the modules' display words. It follows the run at the live-view tick and
// shows the state at every stop (the main window's RefreshViews); while hidden it costs nothing.
#pragma once

#include <QScrollArea>
#include <QVBoxLayout>
#include <vector>

#include "Board.h"
#include "DebugHost.h"
#include "ToolDock.h"

class TBoardPanelView;

class TFBoard : public TToolDock {
  Q_OBJECT

 public:
  TFBoard(QWidget* parent, DebugHost& host);

  // Takes the panels again when the map changed (not during a run, when no map can be loaded),
  // then repaints the elements whose words changed. Does nothing while the window is hidden.
  void UpdateView();
  const std::vector<TBoardPanelView*>& Views() const { return views_; }
  // The size that shows every panel without scrolling, within `limit`.
  QSize PreferredSize(const QSize& limit) const;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Rebuild();

  DebugHost& host_;
  tervik::Board board_;
  QWidget* content_;
  QVBoxLayout* layout_;
  std::vector<TBoardPanelView*> views_;
  bool built_ = false;
};
