// Tool-window frame: movable and floatable; some refuse to close.
#include "ToolDock.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QTableView>

TToolDock::TToolDock(const QString& caption, QWidget* parent, bool refuseClose)
    : QDockWidget(caption, parent), refuseClose_(refuseClose) {
  QDockWidget::DockWidgetFeatures features =
      QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable;
  if (!refuseClose) features |= QDockWidget::DockWidgetClosable;
  setFeatures(features);
  connect(this, &QDockWidget::topLevelChanged, this, &TToolDock::TopLevelChanged);
}

void TToolDock::TopLevelChanged(bool floating) {
  if (floating && !floatingSize_.isEmpty()) resize(floatingSize_);
}

void TToolDock::closeEvent(QCloseEvent* event) {
  // FormCloseQuery: a pinned tool window stays open whatever asked it to close.
  if (refuseClose_) {
    event->ignore();
    return;
  }
  QDockWidget::closeEvent(event);
}

void SetUpToolTable(QTableView& table, const QString& objectName, const QString& accessibleName,
                    QAbstractItemView::SelectionMode mode, QAbstractItemView::EditTriggers edits) {
  table.setObjectName(objectName);
  table.setAccessibleName(accessibleName);
  table.verticalHeader()->hide();
  table.setSelectionBehavior(QAbstractItemView::SelectRows);
  table.setSelectionMode(mode);
  table.setEditTriggers(edits);
  QFont mono("Courier New");
  mono.setStyleHint(QFont::TypeWriter);
  mono.setPixelSize(11);
  table.setFont(mono);
  table.verticalHeader()->setDefaultSectionSize(QFontMetrics(mono).height() + 6);
}

namespace {

// The filter OnKey installs; the widget owns it.
class KeyAction final : public QObject {
 public:
  KeyAction(QWidget& widget, Qt::Key key, std::function<void()> action)
      : QObject(&widget), widget_(widget), key_(key), action_(std::move(action)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &widget_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == key_) {
      action_();
      return true;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  QWidget& widget_;
  Qt::Key key_;
  std::function<void()> action_;
};

}  // namespace

void OnKey(QWidget& widget, Qt::Key key, std::function<void()> action) {
  widget.installEventFilter(new KeyAction(widget, key, std::move(action)));
}
