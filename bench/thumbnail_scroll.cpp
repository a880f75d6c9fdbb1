// Scrolling a table of 200 rows whose reused cells load their thumbnails by URL through the image
// view loader (served by the stand-in web server, warm cache: every thumbnail is in memory before
// the runs), frame after frame: each frame moves the offset, runs the layout pass (cells leave,
// come back from the reuse pool and start their row's load, answered from memory) and renders the
// window through the compositor. Against the same table scrolling without images. Prints the ratio.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "BenchReport.h"
#include "imagecache/ICWebImageManager.h"
#include "imagecache/ImageViewWebCache.h"
#include "platform/core/Clock.h"
#include "platform/core/RunLoop.h"
#include "platform/gfx/Compositor.h"
#include "platform/gfx/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Screen.h"
#include "platform/ui/TableView.h"
#include "platform/ui/Window.h"
#include "venue/WebServer.h"

namespace {

constexpr double kWidth = 1024, kHeight = 768, kRow = 64;
constexpr int kRows = 200;
constexpr int kFramesPerScreen = 30;

class ThumbCell : public ui::TableViewCell {
 public:
  ThumbCell() : ui::TableViewCell(ui::TableViewCellStyle::Default, "Thumb") {
    thumb = ui::ImageView::create(gfx::Rect(12, 6, 52, 52));
    title = ui::Label::create(gfx::Rect(80, 18, 600, 26));
    contentView()->addSubview(thumb);
    contentView()->addSubview(title);
  }
  std::shared_ptr<ui::ImageView> thumb;
  std::shared_ptr<ui::Label> title;
};

class Thumbs : public ui::TableViewDataSource {
 public:
  // An empty base: no images.
  explicit Thumbs(std::string base) : m_base(std::move(base)) {}
  int numberOfRowsInSection(ui::TableView&, int) override { return kRows; }
  std::shared_ptr<ui::TableViewCell> cellForRowAtIndexPath(ui::TableView& t, const ui::IndexPath& ip) override {
    auto cell = std::static_pointer_cast<ThumbCell>(t.dequeueReusableCellWithIdentifier("Thumb", ip));
    cell->title->setText("Song " + std::to_string(ip.row) + " 月亮代表我的心");
    if (!m_base.empty()) kt::ImageViewWebCache::ic_setImageWithURL(cell->thumb, url(ip.row));
    return cell;
  }
  std::optional<net::URL> url(int row) const {
    return net::URL::fromString(m_base + "/images/thumb-" + std::to_string(row) + ".jpg");
  }

 private:
  std::string m_base;
};

void drain() {
  auto& loop = core::RunLoop::main();
  while (loop.runInMode(core::RunLoop::DefaultMode, core::Clock::now(), true) ==
         core::RunLoop::RunResult::HandledSource) {
  }
}

struct Scene {
  explicit Scene(std::string base) : thumbs(std::move(base)) {
    window = ui::Window::create(gfx::Rect(0, 0, kWidth, kHeight));
    window->setBackgroundColor(gfx::Color::whiteColor());
    window->setHidden(false);
    table = ui::TableView::create(gfx::Rect(0, 0, kWidth, kHeight));
    table->setRowHeight(kRow);
    table->registerClass("Thumb", [] { return std::make_shared<ThumbCell>(); });
    table->setDataSource(&thumbs);
    window->addSubview(table);
    window->layoutAndDisplayIfNeeded();
  }
  ~Scene() { table->setDataSource(nullptr); }
  // One frame: the offset moves by a thirtieth of a screen, through all the rows and back to the top.
  void step() {
    const double range = kRows * kRow - kHeight;
    m_offset = std::fmod(m_offset + kHeight / kFramesPerScreen, range);
    table->setContentOffset({0, m_offset});
    window->layoutAndDisplayIfNeeded();
    drain();
  }

  Thumbs thumbs;
  std::shared_ptr<ui::Window> window;
  std::shared_ptr<ui::TableView> table;
  double m_offset = 0;
};

venue::WebServer* g_web = nullptr;

// Loads every thumbnail into the shared cache, as a scrolled list would have.
bool warmCache(const Thumbs& thumbs) {
  int done = 0;
  for (int row = 0; row < kRows; ++row) {
    kt::ICWebImageManager::sharedManager()->downloadImageWithURL(
        thumbs.url(row), 0, {}, [&done](kt::ImagePtr, std::optional<core::Error>, kt::ICImageCacheSource, bool finished,
                                        std::optional<net::URL>) { done += finished ? 1 : 0; });
  }
  auto& loop = core::RunLoop::main();
  const double until = core::Clock::now() + 30;
  while (done < kRows && core::Clock::now() < until) loop.runInMode(core::RunLoop::DefaultMode, core::Clock::now() + 0.05, true);
  return done == kRows;
}

void run(benchmark::State& state, const std::string& base) {
  Scene scene(base);
  gfx::Compositor comp({kWidth, kHeight}, ui::Screen::main().drawingScale());
  scene.step();
  comp.renderFrame(scene.window->layer());
  for (auto _ : state) {
    scene.step();
    comp.invalidate();
    benchmark::DoNotOptimize(comp.renderFrame(scene.window->layer()));
  }
  // The visible cells that show a thumbnail (all of them once the cache is warm).
  int shown = 0;
  for (const auto& cell : scene.table->visibleCells()) shown += static_cast<ThumbCell&>(*cell).thumb->image() ? 1 : 0;
  state.counters["shown"] = shown;
}

void ThumbnailScrollFrame(benchmark::State& state) { run(state, g_web->baseUrl()); }
BENCHMARK(ThumbnailScrollFrame)->Unit(benchmark::kMicrosecond);

// The baseline: the same table scrolling with no images.
void PlainScrollFrame(benchmark::State& state) { run(state, ""); }
BENCHMARK(PlainScrollFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  venue::WebServer web;
  if (!web.start()) {
    std::fprintf(stderr, "the stand-in web server did not start\n");
    return 1;
  }
  g_web = &web;
  if (!warmCache(Thumbs(web.baseUrl()))) {
    std::fprintf(stderr, "the thumbnails did not all load\n");
    return 1;
  }
  bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  if (auto r = reporter.ratio("ThumbnailScrollFrame", "PlainScrollFrame"))
    std::printf("thumbnail scroll frame / plain scroll frame: %.2f (%.0f us vs %.0f us)\n", r->value,
                r->oursSeconds * 1e6, r->baseSeconds * 1e6);
  benchmark::Shutdown();
  g_web = nullptr;
  return 0;
}
