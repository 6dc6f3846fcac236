// The Source window on a 100,000-line source, under the offscreen platform: opening it in a tab
// (read, handed to the editor, the first screen coloured and painted), colouring every line,
// and assembling it from the window (assembled, listing, symbols and line table written, loaded
// as a reload) beside the assembler alone on the same text, so the window's share is a ratio of
// one run.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <fstream>
#include <memory>
#include <string>

#include "Assembler.h"
#include "LargeSource.h"
#include "ProgramMenu.h"
#include "SourceEditor.h"
#include "SourceWindow.h"
#include "Tfmain.h"

namespace {

constexpr unsigned kLines = tervik::bench::kLargeSourceLines;

struct Fixture {
  QTemporaryDir dir;
  std::unique_ptr<TFMain> main;
  std::string source;
  QString path;

  Fixture() {
    QDir::setCurrent(dir.path());
    std::ofstream(dir.filePath("default.map").toStdString()) << "0x0 0x40000 RAM\n";
    source = tervik::bench::MakeLargeSource();
    path = dir.filePath("large.asm");
    std::ofstream(path.toStdString(), std::ios::binary) << source;
    main = std::make_unique<TFMain>();
    main->FormCreate();
    main->resize(1200, 900);
    main->show();
  }
};

Fixture* gFixture = nullptr;

void BM_SourceOpen100k(benchmark::State& state) {
  TFSource* window = gFixture->main->Source();
  for (auto _ : state) {
    TSourceEditor* editor = window->OpenFile(gFixture->path);
    if (editor == nullptr || editor->LineCountBytes() < static_cast<int>(kLines)) {
      state.SkipWithError("the source did not open");
      break;
    }
    editor->grab();  // the first screen coloured and painted
    state.PauseTiming();
    window->CloseAll();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kLines);
}
BENCHMARK(BM_SourceOpen100k)->Unit(benchmark::kMillisecond);

void BM_SourceColourAll100k(benchmark::State& state) {
  TFSource* window = gFixture->main->Source();
  TSourceEditor* editor = window->OpenFile(gFixture->path);
  for (auto _ : state) {
    editor->SendScintilla(QsciScintilla::SCI_CLEARDOCUMENTSTYLE);
    editor->SendScintilla(QsciScintilla::SCI_COLOURISE, 0UL, -1L);
  }
  window->CloseAll();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kLines);
}
BENCHMARK(BM_SourceColourAll100k)->Unit(benchmark::kMillisecond);

// The window's Assemble: the program reloaded from the editor's text each time.
void BM_SourceAssemble100k(benchmark::State& state) {
  TFMain& main = *gFixture->main;
  if (!main.Program()->OpenSource(gFixture->path.toStdString())) {
    state.SkipWithError("the source did not assemble");
    return;
  }
  main.Program()->ActionReloadOnChange->setChecked(false);
  main.Source()->Current()->insertAt(" ", 0, 0);  // modified: assembled from the editor
  for (auto _ : state) {
    main.Source()->ActionAssemble->trigger();
    if (main.Session().Lines().empty()) state.SkipWithError("no line table");
  }
  main.Source()->Current()->setModified(false);
  main.Source()->CloseAll();
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kLines);
}
BENCHMARK(BM_SourceAssemble100k)->Unit(benchmark::kMillisecond);

// The assembler alone on the same text, for the ratio.
void BM_AssemblerOnly100k(benchmark::State& state) {
  for (auto _ : state) {
    const tervik::assembler::Result result =
        tervik::assembler::Assemble(gFixture->source, gFixture->path.toStdString());
    if (!result.errors.empty()) state.SkipWithError(result.errors.front().message.c_str());
    benchmark::DoNotOptimize(result.words.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kLines);
}
BENCHMARK(BM_AssemblerOnly100k)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  {
    Fixture fixture;
    gFixture = &fixture;
    benchmark::RunSpecifiedBenchmarks();
    gFixture = nullptr;
  }
  benchmark::Shutdown();
  return 0;
}
