// The Board window: a click on a switch and a key typed into the terminal reach a running
// program, and the panels are drawn from the modules' words.
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <fstream>

#include "BoardPanelView.h"
#include "TestFolder.h"
#include "Tfboard.h"
#include "Tfmain.h"

namespace {

using tervik::Opcode;

constexpr uint32_t Rri(Opcode op, unsigned rd, unsigned ra, uint16_t imm) {
  return static_cast<uint32_t>(op) << 26 | rd << 21 | ra << 16 | imm;
}
constexpr uint32_t Rrr(Opcode op, unsigned rd, unsigned ra, unsigned rb) {
  return static_cast<uint32_t>(op) << 26 | rd << 21 | ra << 16 | rb;
}

// R4 = RXDATA's address, R5 = the LEDs'; then for ever: LEDs = switches, and a received
// character, if there is one, is taken out and ORed into RAM[0x1000].
const uint32_t kProgram[] = {
    Rri(Opcode::ADDI, 4, 0, 0x7004),  Rri(Opcode::ADDI, 5, 0, 0x7020),
    Rri(Opcode::ADDI, 6, 0, 0x1000),  Rri(Opcode::LOADI, 1, 0, 0x7021),  // loop:
    Rrr(Opcode::STORE, 0, 5, 1),      Rri(Opcode::LOADI, 2, 0, 0x7004),
    Rri(Opcode::BZEI, 0, 2, 4),       Rrr(Opcode::OR, 7, 7, 2),  // none: to the jump
    Rrr(Opcode::STORE, 0, 4, 0),      Rrr(Opcode::STORE, 0, 6, 7),
    Rri(Opcode::JUMPI, 0, 0, 0xFFF9),  // to loop
};

}  // namespace

class TfboardTest : public QObject {
  Q_OBJECT

 private:
  tervik::uitest::TestFolder dir_;

 private slots:
  void init() {
    dir_.Enter();
    std::ofstream(dir_.filePath("default.map").toStdString())
        << "0x0 0x400 ROM\n0x1000 0x400 RAM\n0x7000 0x5 DLL libtervik_terminal.so\n"
           "0x7020 0x6 DLL libtervik_gpio.so\n0x7030 0x9 DLL libtervik_sevenseg.so 2\n";
  }
  void cleanup() { dir_.Leave(); }

  void AClickAndAKeyReachARunningProgram() {
    TFMain main;
    main.FormCreate();
    main.show();
    for (uint32_t i = 0; i < std::size(kProgram); ++i) main.Cpu().WriteMem(i, kProgram[i]);
    main.ActionShowBoard->trigger();
    TFBoard* board = main.BoardWindow();
    QVERIFY(board != nullptr && board->isVisible());
    QCOMPARE(board->Views().size(), size_t{3});  // terminal, GPIO, digits in map order
    TBoardPanelView* terminal = board->Views()[0];
    TBoardPanelView* gpio = board->Views()[1];
    // GPIO: 16 LEDs, then switches 15..0: switch 0 is element 31.
    const QPoint switch0 = gpio->ElementCentre(31);

    bool ranDuringInput = false;
    QTimer::singleShot(50, &main, [&] {
      ranDuringInput = main.Running();
      QTest::mouseClick(gpio, Qt::LeftButton, {}, switch0);
      QTest::keyClick(terminal, Qt::Key_K);
      // Stop once the program has stored the key (or after five seconds on a slow machine).
      auto* poll = new QTimer(&main);
      QElapsedTimer waited;
      waited.start();
      QObject::connect(poll, &QTimer::timeout, &main, [&main, poll, waited] {
        if (main.Cpu().ReadMem(0x1000) == uint32_t{'k'} || waited.elapsed() > 5000) {
          poll->stop();
          main.ActionStop->trigger();
        }
      });
      poll->start(10);
    });
    main.ActionRun->trigger();
    QVERIFY(ranDuringInput);
    QCOMPARE(main.Cpu().ReadMem(0x7020), 1u);  // the LEDs show switch 0
    QCOMPARE(main.Cpu().ReadMem(0x1000), uint32_t{'k'});
    QCOMPARE(main.Cpu().ReadMem(0x7004), 0u);  // the program took the character

    // The stop repainted the board: LED 0 (element 15) is lit, LED 1 (element 14) is not.
    const QImage image = gpio->grab().toImage();
    const QPoint led0 = gpio->ElementCentre(15), led1 = gpio->ElementCentre(14);
    QVERIFY(qRed(image.pixel(led0)) > 200);
    QVERIFY(qRed(image.pixel(led1)) < 150);
  }
};

QTEST_MAIN(TfboardTest)
#include "TfboardTest.moc"
