// The dockable frame shared by the tool windows.
#pragma once

#include <QAbstractItemView>
#include <QDockWidget>
#include <functional>

class QTableView;

// A dock widget that can refuse every request to close it, docked or floating: the close box,
// the window manager's close of a floating dock, and close() alike.
class TToolDock : public QDockWidget {
  Q_OBJECT

 public:
  TToolDock(const QString& caption, QWidget* parent, bool refuseClose);

  bool RefusesClose() const { return refuseClose_; }

  // The size the window takes whenever it is undocked, instead of keeping its docked size; an
  // empty size keeps whatever size it has (a layout being restored brings its own sizes).
  void SetFloatingSize(const QSize& size) { floatingSize_ = size; }
  QSize FloatingSize() const { return floatingSize_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void TopLevelChanged(bool floating);

  bool refuseClose_;
  QSize floatingSize_;
};

// The table of a tool window as all of them show one: its names, whole rows selected in `mode`,
// edited by `edits`, no row numbers, and the inspection windows' fixed-width font with rows to
// fit it.
void SetUpToolTable(QTableView& table, const QString& objectName, const QString& accessibleName,
                    QAbstractItemView::SelectionMode mode, QAbstractItemView::EditTriggers edits);

// Makes a press of `key` on `widget` itself (not on a child, such as a table cell's editor, which
// takes its own keys) call `action` instead of reaching the widget.
void OnKey(QWidget& widget, Qt::Key key, std::function<void()> action);
