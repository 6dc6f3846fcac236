// How long the inspection windows take to repaint, under the offscreen platform: a full-height
// disassembly window (60 whole rows, each with a comment, some with breakpoints, the PC in view),
// the register window and a memory dump of the same height. Each figure is one repaint into an
// image; "own work" is the disassembly window's part without any drawing (reading, disassembling,
// looking up comments and breakpoints, formatting). The allocs counter is heap allocations per
// repaint, counted by the replaced global operator new.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <atomic>
#include <bitset>
#include <cstdio>
#include <fstream>
#include <memory>
#include <new>
#include <string>

#include "Tfcpu.h"
#include "Tfmain.h"
#include "Tfmem.h"
#include "Tfreg.h"

namespace {

std::atomic<uint64_t> gAllocations{0};

constexpr int kRows = 60;
constexpr uint32_t kProgramWords = 0x400;

// A listing of varied instructions, each with a comment, loaded through the real loader.
void LoadProgram(TFMain& main, const QString& folder) {
  const std::string path = QDir(folder).filePath("bench.lst").toStdString();
  std::ofstream out(path, std::ios::binary);
  const uint32_t kWords[] = {0x14220003, 0x9463FFFE, 0xB004FFFF, 0xECF01234, 0x50A30009,
                             0x00000000, 0xF0210025, 0xEC460010, 0xFFFFFFFF, 0x6C220001};
  char address[8];
  for (uint32_t i = 0; i < kProgramWords; ++i) {
    std::snprintf(address, sizeof address, "%05X", i);
    out << address << ' ' << std::bitset<32>(kWords[i % std::size(kWords)])
        << "  label: INSTR   ; comment of row " << i << " in the loop\n";
  }
  out.close();
  main.LoadListing(path);
}

struct Fixture {
  QTemporaryDir dir;
  std::unique_ptr<TFMain> main;

  Fixture() {
    QDir::setCurrent(dir.path());
    main = std::make_unique<TFMain>();
    main->FormCreate();
    main->Cpu().AddRegion(0, 0x10000, tervik::RegionType::RAM);
    LoadProgram(*main, dir.path());
    for (uint32_t a : {3u, 9u, 17u, 30u, 58u}) main->ToggleBreakpoint(a);
    main->Cpu().SetPC(12);
    main->Cpu().pcChanged = main->Cpu().srChanged = main->Cpu().regChanged[5] = true;
    main->Cpu().memWritten = true;
    main->Cpu().lastWriteAddress = 0x22;
    for (TToolDock* dock : std::initializer_list<TToolDock*>{FCPU, FReg, FMem}) {
      dock->setFloating(true);
      dock->show();
    }
    FCPU->PB1->setFixedSize(480, kRows * FCPU->LineHeight());
    FMem->PB1->setFixedSize(340, kRows * FMem->LineHeight());
    QApplication::processEvents();
    main->RefreshViews();
  }
};

template <typename Paint>
void Repaint(benchmark::State& state, QWidget* box, Paint paint) {
  QImage image(box->size(), QImage::Format_RGB32);
  {
    QPainter warm(&image);
    paint(warm);  // the text buffers and glyph caches grow once
  }
  const uint64_t before = gAllocations.load();
  for (auto _ : state) {
    QPainter painter(&image);
    paint(painter);
    painter.end();
    benchmark::DoNotOptimize(image.constBits());
  }
  state.counters["allocs"] = benchmark::Counter(static_cast<double>(gAllocations.load() - before) /
                                                static_cast<double>(state.iterations()));
}

void BM_DisassemblyRepaint60Rows(benchmark::State& state) {
  Repaint(state, FCPU->PB1, [](QPainter& p) { FCPU->PB1Paint(p); });
}
BENCHMARK(BM_DisassemblyRepaint60Rows)->Unit(benchmark::kMicrosecond);

// The same window through the toolkit's own paint path (paint event, backing image).
void BM_DisassemblyWidgetRender60Rows(benchmark::State& state) {
  QImage image(FCPU->PB1->size(), QImage::Format_RGB32);
  for (auto _ : state) {
    FCPU->PB1->render(&image);
    benchmark::DoNotOptimize(image.constBits());
  }
}
BENCHMARK(BM_DisassemblyWidgetRender60Rows)->Unit(benchmark::kMicrosecond);

// Everything a 61-row repaint does besides drawing.
void BM_DisassemblyOwnWork60Rows(benchmark::State& state) {
  const uint32_t rows = tervik::view::PaintedRows(FCPU->PB1->height(), FCPU->LineHeight());
  DisassemblyRow row;
  const uint64_t before = gAllocations.load();
  for (auto _ : state) {
    const uint32_t pc = FMain->Cpu().GetPC();
    for (uint32_t i = 0; i < rows; ++i) {
      FCPU->PrepareRow(row, FCPU->TopAddress() + i, pc);
      benchmark::DoNotOptimize(row);
    }
  }
  state.counters["allocs"] = benchmark::Counter(static_cast<double>(gAllocations.load() - before) /
                                                static_cast<double>(state.iterations()));
  state.counters["rows"] = rows;
}
BENCHMARK(BM_DisassemblyOwnWork60Rows)->Unit(benchmark::kMicrosecond);

void BM_RegisterRepaint(benchmark::State& state) {
  Repaint(state, FReg->PB1, [](QPainter& p) { FReg->PB1Paint(p); });
}
BENCHMARK(BM_RegisterRepaint)->Unit(benchmark::kMicrosecond);

void BM_RegisterOwnWork(benchmark::State& state) {
  RegisterTexts texts{};
  for (auto _ : state) {
    LayoutRegisterRows(FMain->Cpu(), texts);
    benchmark::DoNotOptimize(texts);
  }
}
BENCHMARK(BM_RegisterOwnWork)->Unit(benchmark::kMicrosecond);

void BM_MemoryDumpRepaint60Rows(benchmark::State& state) {
  Repaint(state, FMem->PB1, [](QPainter& p) { FMem->PB1Paint(p); });
}
BENCHMARK(BM_MemoryDumpRepaint60Rows)->Unit(benchmark::kMicrosecond);

}  // namespace

void* operator new(std::size_t size) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  {
    const Fixture fixture;
    benchmark::RunSpecifiedBenchmarks();
  }
  benchmark::Shutdown();
  return 0;
}
