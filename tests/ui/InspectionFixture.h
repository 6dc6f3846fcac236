// Shared set-up of the inspection window tests: a main window in an empty scratch directory with
// one RAM region, listings written on the fly, docks floated to a known size, pixel counting.
#pragma once

#include <QApplication>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "Tfmain.h"

class Machine {
 public:
  Machine() {
    previous_ = QDir::currentPath();
    QDir::setCurrent(dir_.path());  // no "default.map" here
    main_ = std::make_unique<TFMain>();
    main_->FormCreate();
    main_->show();
    main_->Cpu().AddRegion(0, 0x100, tervik::RegionType::RAM);
  }
  ~Machine() {
    main_.reset();
    QDir::setCurrent(previous_);
  }

  TFMain& Main() { return *main_; }
  tervik::Processor& Cpu() { return main_->Cpu(); }

  // Loads a listing of (address, word, comment) lines through the real loader.
  void LoadListing(const std::vector<std::tuple<uint32_t, uint32_t, std::string>>& lines) {
    const QString path = dir_.filePath("test.lst");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    for (const auto& [address, word, comment] : lines) {
      char head[8];
      std::snprintf(head, sizeof head, "%05X ", address);
      std::string line = head;
      for (int b = 31; b >= 0; --b) line += ((word >> b) & 1u) ? '1' : '0';
      line += "  source  " + comment + "\n";
      file.write(line.data(), static_cast<qint64>(line.size()));
    }
    file.close();
    main_->LoadListing(path.toStdString());
  }

 private:
  QTemporaryDir dir_;
  QString previous_;
  std::unique_ptr<TFMain> main_;
};

inline void FloatAt(QDockWidget* dock, QSize size) {
  dock->setFloating(true);
  dock->show();
  dock->resize(size);
  QApplication::processEvents();
}

// Antialiased text: classify pixels by ink, not by exact colour.
inline bool IsRedInk(QRgb c) {
  return qRed(c) - qGreen(c) > 90 && qRed(c) - qBlue(c) > 90;
}
inline bool IsDarkInk(QRgb c) {
  return qRed(c) < 110 && qGreen(c) < 110 && qBlue(c) < 110;
}
inline bool IsGreenInk(QRgb c) {
  return qGreen(c) - qRed(c) > 40 && qGreen(c) - qBlue(c) > 40;
}
inline bool IsBrightInk(QRgb c) {
  return qRed(c) > 200 && qGreen(c) > 200 && qBlue(c) > 200;
}
inline bool IsNotWhite(QRgb c) {
  return c != qRgb(255, 255, 255);
}

template <typename Test>
int CountPixels(const QImage& image, QRect area, Test test) {
  int n = 0;
  area = area.intersected(image.rect());
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) n += test(image.pixel(x, y)) ? 1 : 0;
  }
  return n;
}

inline QImage Grab(QWidget* widget) {
  return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

inline const QRgb kWhitePixel = qRgb(255, 255, 255);
inline const QRgb kMaroonPixel = qRgb(128, 0, 0);
inline const QRgb kBlackPixel = qRgb(0, 0, 0);
