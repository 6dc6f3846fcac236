// The window's time travel: the reverse commands through their actions with their console
// lines and the timeline, an edit of the past refused with the way back, a run from the past
// that goes on live, and the history switch.
#include <QtTest>
#include <fstream>

#include "HistoryActions.h"
#include "Recorder.h"
#include "Tfdebug.h"
#include "Tfmain.h"
#include "Tfmem.h"
#include "Tfreg.h"

namespace {

// MOVEL R9,0x1010 ; CALL R9 ; halt: JUMPI halt, and at 0x1010: ADDI R1,R1,1 ; RET.
const char* const kCallListing =
    "01000 11101101001000000001000000010000 MOVEL R9,H#1010%\n"
    "01001 01010100000000000000000000001001 CALL R9\n"
    "01002 10111100000000000000000000000000 JUMPI H#0%\n"
    "01010 10010100001000010000000000000001 ADDI R1,R1,H#1\n"
    "01011 01100000000000000000000000000000 RET\n";

std::string LastLine() {
  const size_t n = FDebug->Model()->LineCount();
  return n == 0 ? std::string() : std::string(FDebug->Model()->Line(n - 1));
}

}  // namespace

class HistoryActionsTest : public QObject {
  Q_OBJECT

 private slots:
  void ReverseCommandsFromTheWindow() {
    QTemporaryDir dir;
    std::ofstream(dir.filePath("call.lst").toStdString()) << kCallListing;
    TFMain main;
    main.Cpu().AddRegion(0x1000, 0x400, tervik::RegionType::RAM);
    main.LoadListing(dir.filePath("call.lst").toStdString());
    main.Cpu().SetPC(0x1000);
    main.Cpu().sp = 0x1100;
    THistoryActions& history = *main.History();
    QVERIFY(history.ActionRecord->isChecked());
    for (int i = 0; i < 4; ++i) main.ActionStep->trigger();  // MOVEL, CALL, ADDI, RET
    QCOMPARE(main.Cpu().pc, 0x1002u);
    QCOMPARE(history.Timeline->text(), QString("history: 0 .. 4"));

    // Back over the RET to the CALL.
    history.ActionStepOverBack->trigger();
    QCOMPARE(main.Cpu().pc, 0x1001u);
    QCOMPARE(main.Cpu().r[1], 0u);
    QCOMPARE(LastLine(), std::string("Stepped back over to 00001001, 3 instructions back"));
    QCOMPARE(history.Timeline->text(), QString("at 1, history: 0 .. 4"));

    // The past cannot be edited: the register, the word and pc stay.
    FReg->EditRegisterValue(tervik::debug::GeneralRegister(1));
    QCOMPARE(LastLine(), std::string(tervik::debug::kPastEditRefused));
    FMem->EditWord(0x1000);
    main.ActionGo->trigger();
    QCOMPARE(main.Cpu().pc, 0x1001u);

    // The last write of the return address: the CALL.
    history.ActionPresent->trigger();
    history.LastWriteOfWord(0x1100);
    QCOMPARE(LastLine(), std::string("Last write: M[00001100] 00000000 -> 00001002 by the word at "
                                     "00001001 (CALL R9), 2 instructions back"));
    history.ActionPresent->trigger();
    history.LastWriteOfRegister(1);
    QCOMPARE(main.Cpu().pc, 0x1011u);
    QCOMPARE(main.Session().History().Now(), 3u);

    // Forward from the past replays to the present and goes on live.
    main.ActionStep->trigger();
    main.ActionStep->trigger();
    QCOMPARE(main.Session().History().Now(), 5u);
    QVERIFY(!main.Session().History().InPast());
    QCOMPARE(main.Cpu().r[1], 1u);

    // Reset starts a new history; switched off, the commands say so.
    main.ActionReset->trigger();
    QCOMPARE(history.Timeline->text(), QString("history: 0 .. 0"));
    history.ActionRecord->setChecked(false);
    history.ActionStepBack->trigger();
    QVERIFY(LastLine().find("History is off") == 0);
    QCOMPARE(history.Timeline->text(), QString());
  }
};

QTEST_MAIN(HistoryActionsTest)
#include "HistoryActionsTest.moc"
