// The dockable frame shared by the tool windows.
#pragma once

#include <QDockWidget>

// A dock widget that can refuse every request to close it, docked or floating: the close box,
// the window manager's close of a floating dock, and close() alike.
class TToolDock : public QDockWidget {
  Q_OBJECT

 public:
  TToolDock(const QString& caption, QWidget* parent, bool refuseClose);

  bool RefusesClose() const { return refuseClose_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  bool refuseClose_;
};
