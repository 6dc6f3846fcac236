// The About box: fixed layout in pixels, the logo drawn from the SVG in the resources, and the
// version line written at every showing.
#include "Tfabout.h"

#include <QFont>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSvgRenderer>

#include "Version.h"

TFAbout* FAbout = nullptr;

// The resources live in a static library; a reference keeps the linker from dropping them.
// Q_INIT_RESOURCE must be used outside any namespace.
static void InitUiResources() {
  Q_INIT_RESOURCE(tervik_ui);
}

QString FormatVersionText(uint16_t major, uint16_t minor, uint16_t release, uint16_t build) {
  return QString::asprintf("Version %u.%u.%u (build %u)", unsigned{major}, unsigned{minor},
                           unsigned{release}, unsigned{build});
}

namespace {

// The logo at the size of its picture, sharp on high-density screens too.
QPixmap LogoPixmap(const QSize& size, qreal devicePixelRatio) {
  QPixmap pixmap(size * devicePixelRatio);
  pixmap.setDevicePixelRatio(devicePixelRatio);
  pixmap.fill(Qt::transparent);
  QSvgRenderer renderer(QString(":/tervik.svg"));
  QPainter painter(&pixmap);
  renderer.setAspectRatioMode(Qt::KeepAspectRatio);
  renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
  return pixmap;
}

QFont PixelFont(const QFont& base, int pixels) {
  QFont font = base;
  font.setPixelSize(pixels);
  return font;
}

// A label placed at (x, y); with a width and height it gets that box, otherwise its own size.
QLabel* PlaceLabel(QWidget* parent, const char* name, const QString& text, const QFont& font, int x,
                   int y, int width = 0, int height = 0) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setFont(font);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  if (width > 0) {
    label->setGeometry(x, y, width, height);
  } else {
    label->adjustSize();
    label->move(x, y);
  }
  return label;
}

}  // namespace

TFAbout::TFAbout(QWidget* parent)
    // A fixed dialog border without title-bar buttons: only Close (Enter, Esc) closes it.
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      versionSource_(&tervik::platform::ProgramVersion) {
  InitUiResources();
  setObjectName("FAbout");
  setWindowTitle("About");
  setModal(true);
  setFixedSize(486, 245);

  const QFont dialogFont = font();
  Image1 = new QLabel(this);
  Image1->setObjectName("Image1");
  Image1->setGeometry(8, 8, 206, 197);
  Image1->setPixmap(LogoPixmap(Image1->size(), devicePixelRatioF()));

  Label1 = PlaceLabel(this, "Label1", "Tervik CPU Emulator", PixelFont(dialogFont, 16), 216, 16,
                      233, 25);
  Label2 = PlaceLabel(this, "Label2", "Compatible with Tervik CPU v 1.4", PixelFont(dialogFont, 11),
                      216, 48, 241, 25);
  Label3 =
      PlaceLabel(this, "Label3", "Release date 13.08.2003", PixelFont(dialogFont, 16), 216, 72);
  Label4 = PlaceLabel(this, "Label4", QString(), PixelFont(dialogFont, 16), 216, 88);

  Button1 = new QPushButton("Close", this);
  Button1->setObjectName("Button1");
  Button1->setGeometry(184, 216, 75, 25);
  // Enter presses the default button; QDialog turns Esc into reject(), which closes the box
  // just as the button does, so Close is the cancel button as well.
  Button1->setDefault(true);
  Button1->setAutoDefault(true);
  connect(Button1, &QPushButton::clicked, this, &TFAbout::Button1Click);
}

void TFAbout::FormShow() {
  const tervik::platform::VersionRecord version = versionSource_();
  Label4->setText(FormatVersionText(version.major, version.minor, version.release, version.build));
  Label4->adjustSize();
}

void TFAbout::Button1Click() {
  accept();
}

void TFAbout::showEvent(QShowEvent* event) {
  FormShow();
  Button1->setFocus();
  QDialog::showEvent(event);
}
