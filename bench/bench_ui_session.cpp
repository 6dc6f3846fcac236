// Memory of a long session: cycles of the ordinary commands (load a listing, run, stop, clear
// memory, display the map, reload, trace, load the map, About) through the window's own actions
// and its real file dialogs, offscreen, on the bundled example. Reports how much the resident
// and the heap size grow per 100 cycles next to what the console's new lines take, which is the
// only growth a session should show.
//
// TERVIK_SESSION_RUN_MS sets how long each cycle's run lasts (default 20 ms; the interactive
// loop this mirrors ran for a second).
#include <benchmark/benchmark.h>

#include <malloc.h>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>
#include <memory>

#include "BenchSupport.h"
#include "Tfabout.h"
#include "Tfdebug.h"
#include "Tfmain.h"

namespace {

// Answers the next file dialog the window opens with `path`, as a user choosing that file.
void AnswerFileDialog(QObject* context, const QString& path) {
  QTimer::singleShot(0, context, [path] {
    if (auto* box = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
      box->selectFile(path);
      static_cast<QDialog*>(box)->accept();  // as the Open button does
    }
  });
}

class Session {
 public:
  // One session for the whole program, ended before the application object goes.
  static Session& Get() {
    if (!instance_) instance_.reset(new Session);
    return *instance_;
  }
  static void End() { instance_.reset(); }

  // One cycle of the commands a user repeats while debugging a program.
  void Cycle() {
    const QString examples = TERVIK_EXAMPLES_DIR;
    AnswerFileDialog(main_.get(), examples + "/counter.lst");
    main_->ActionLoadLST->trigger();
    QTimer::singleShot(runMs_, main_.get(), [this] { main_->ActionStop->trigger(); });
    main_->ActionRun->trigger();
    main_->ActionClearMem->trigger();
    main_->ActionDisplayMap->trigger();
    main_->ActionReloadLST->trigger();
    for (int i = 0; i < 20; ++i) main_->ActionStep->trigger();
    AnswerFileDialog(main_.get(), examples + "/default.map");
    main_->ActionLoadMap->trigger();
    QTimer::singleShot(0, about_.get(), [this] { about_->Button1->click(); });
    main_->ActionAbout->trigger();
    QCoreApplication::processEvents();
  }

  // The bytes the console's lines hold: their text and one end offset each.
  static size_t ConsoleBytes() {
    const ConsoleModel& model = *FDebug->Model();
    size_t bytes = model.LineCount() * sizeof(size_t);
    for (size_t i = 0; i < model.LineCount(); ++i) bytes += model.Line(i).size();
    return bytes;
  }

 private:
  Session() {
    if (const char* ms = std::getenv("TERVIK_SESSION_RUN_MS")) runMs_ = std::atoi(ms);
    QDir::setCurrent(TERVIK_EXAMPLES_DIR);
    main_ = std::make_unique<TFMain>();
    main_->FormCreate();
    main_->show();
    about_ = std::make_unique<TFAbout>(main_.get());
    FAbout = about_.get();
  }

  static inline std::unique_ptr<Session> instance_;
  int runMs_ = 20;
  std::unique_ptr<TFMain> main_;
  std::unique_ptr<TFAbout> about_;
};

// The bytes the program holds allocated on the heap, without what the allocator keeps free.
size_t HeapBytes() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

void BM_CommandCycles(benchmark::State& state) {
  Session& session = Session::Get();
  // Caches, fonts and the first showing of each window settle in the first cycles.
  for (int i = 0; i < 10; ++i) session.Cycle();
  const size_t rss0 = tervik::bench::ResidentBytes();
  const size_t console0 = Session::ConsoleBytes();
  const size_t heap0 = HeapBytes();
  int64_t cycles = 0;
  for (auto _ : state) {
    for (int i = 0; i < 100; ++i) session.Cycle();
    cycles += 100;
  }
  const double per100 = 100.0 / static_cast<double>(cycles) / 1024.0;
  // Signed: the resident size may also shrink.
  const double grown =
      static_cast<double>(tervik::bench::ResidentBytes()) - static_cast<double>(rss0);
  const double console = static_cast<double>(Session::ConsoleBytes() - console0);
  const double heap = static_cast<double>(HeapBytes()) - static_cast<double>(heap0);
  state.counters["heap_KiB_per_100"] = heap * per100;
  state.counters["rss_KiB_per_100"] = grown * per100;
  state.counters["console_KiB_per_100"] = console * per100;
  state.counters["beyond_console_KiB_per_100"] = (grown - console) * per100;
}
BENCHMARK(BM_CommandCycles)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  // Offscreen unless told otherwise: QT_QPA_PLATFORM=xcb measures a session on a real display.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  Session::End();
  return 0;
}
