// The Call stack window and its table model.
#include "Tfcallstack.h"

#include <QHeaderView>
#include <QShowEvent>
#include <QVBoxLayout>

void CallStackModel::Read(tervik::debug::Session& session) {
  beginResetModel();
  frames_ = tervik::debug::ReadCallStack(session);
  places_.clear();
  for (const tervik::debug::Frame& frame : frames_) {
    places_.push_back(QString::fromStdString(session.Symbols().Locate(frame.address)));
  }
  chain_ = QString::fromStdString(tervik::debug::CallStackText(frames_, session.Symbols()));
  endResetModel();
}

int CallStackModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(frames_.size());
}

int CallStackModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant CallStackModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) return {};
  const size_t row = static_cast<size_t>(index.row());
  const tervik::debug::Frame& frame = frames_[row];
  switch (index.column()) {
    case kPlace: return places_[row];
    case kAddress: return QString::asprintf("%08X", frame.address);
    case kSlot: return frame.slot ? QString::asprintf("%08X", *frame.slot) : QString("pc");
    default: return {};
  }
}

QVariant CallStackModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case kPlace: return QString("Where");
    case kAddress: return QString("Address");
    case kSlot: return QString("Stack slot");
    default: return {};
  }
}

TFCallStack::TFCallStack(QWidget* parent, DebugController& controller,
                         std::function<void(uint32_t)> showCode)
    : TToolDock("Call stack", parent, false),
      controller_(controller),
      model_(new CallStackModel(this)),
      showCode_(std::move(showCode)) {
  setObjectName("FCallStack");
  auto* body = new QWidget(this);
  auto* layout = new QVBoxLayout(body);
  layout->setContentsMargins(2, 2, 2, 2);
  ChainText = new QLabel(body);
  ChainText->setAccessibleName("Call chain");
  ChainText->setObjectName("CallChain");
  ChainText->setTextInteractionFlags(Qt::TextSelectableByMouse);
  // A deep stack gives a long line: it must not widen the window.
  ChainText->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  layout->addWidget(ChainText);
  Table = new QTableView(body);
  SetUpToolTable(*Table, "CallStackTable", "Call stack frames", QAbstractItemView::SingleSelection,
                 QAbstractItemView::NoEditTriggers);
  Table->setModel(model_);
  Table->horizontalHeader()->setStretchLastSection(true);
  layout->addWidget(Table);
  setWidget(body);
  resize(320, 220);
  SetFloatingSize({320, 220});

  connect(Table, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
    if (index.row() < model_->rowCount()) {
      showCode_(model_->Frames()[static_cast<size_t>(index.row())].address);
    }
  });
  // Read at stops only: a live-view tick during a run comes while Running() is true.
  connect(&controller_, &DebugController::machineChanged, this, &TFCallStack::UpdateView);
  connect(&controller_, &DebugController::symbolsChanged, this, &TFCallStack::UpdateView);
  connect(&controller_, &DebugController::runStarted, this, [this] {
    Table->setEnabled(false);
    ChainText->setText("Running...");
  });
  connect(&controller_, &DebugController::runFinished, this, [this] { Table->setEnabled(true); });
}

void TFCallStack::UpdateView() {
  if (controller_.Running() || !isVisible()) return;
  model_->Read(controller_.Session());
  ChainText->setText(model_->Chain());
  ChainText->setToolTip(model_->Chain());
  Table->resizeColumnToContents(CallStackModel::kPlace);
}

void TFCallStack::showEvent(QShowEvent* event) {
  TToolDock::showEvent(event);
  if (!controller_.Running()) {
    Table->setEnabled(true);
    UpdateView();
  }
}
