// tervik_iconpng SVG SIZE OUT.png: renders the icon at SIZE x SIZE pixels, centred and keeping
// its proportions on a transparent square, for the PNG sizes of the hicolor icon theme.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char* argv[]) {
  QGuiApplication app(argc, argv);
  const QStringList args = QCoreApplication::arguments();
  bool sizeOk = false;
  const int size = args.size() == 4 ? args[2].toInt(&sizeOk) : 0;
  if (!sizeOk || size <= 0) {
    std::fputs("usage: tervik_iconpng SVG SIZE OUT.png\n", stderr);
    return 64;
  }
  QSvgRenderer renderer(args[1]);
  if (!renderer.isValid()) {
    std::fprintf(stderr, "tervik_iconpng: cannot read %s\n", qPrintable(args[1]));
    return 1;
  }
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QSizeF drawn = renderer.defaultSize();
  drawn.scale(size, size, Qt::KeepAspectRatio);
  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(
        &painter, QRectF(QPointF((size - drawn.width()) / 2, (size - drawn.height()) / 2), drawn));
  }
  if (!image.save(args[3], "PNG")) {
    std::fprintf(stderr, "tervik_iconpng: cannot write %s\n", qPrintable(args[3]));
    return 1;
  }
  return 0;
}
