// Scrolling a table of song rows (two labels, an image and a button per row) by one screen, frame
// after frame: each frame moves the offset, runs the layout pass (cells leave and come back from
// the reuse pool) and renders the window through the compositor. Against the compositing floor:
// the same window rendered without moving anything. Prints the ratio, and the resident memory a
// table takes with 1,000 and with 100,000 rows (it should barely differ: only visible rows have
// cells).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>

#include "BenchReport.h"
#include "platform/gfx/Compositor.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Screen.h"
#include "platform/ui/TableView.h"
#include "platform/ui/Window.h"

namespace {

constexpr double kWidth = 1024, kHeight = 768, kRow = 64;
constexpr int kFramesPerScreen = 30;

class SongCell : public ui::TableViewCell {
 public:
  SongCell() : ui::TableViewCell(ui::TableViewCellStyle::Default, "Song") {
    title = ui::Label::create(gfx::Rect(80, 8, 600, 26));
    singer = ui::Label::create(gfx::Rect(80, 36, 600, 20));
    singer->setTextColor(gfx::Color::gray());
    cover = ui::ImageView::create(gfx::Rect(12, 6, 52, 52));
    button = ui::Button::create(ui::ButtonType::System, gfx::Rect(900, 14, 100, 36));
    button->setTitle("点歌");
    for (auto v : std::initializer_list<std::shared_ptr<ui::View>>{title, singer, cover, button})
      contentView()->addSubview(v);
  }
  std::shared_ptr<ui::Label> title, singer;
  std::shared_ptr<ui::ImageView> cover;
  std::shared_ptr<ui::Button> button;
};

class Songs : public ui::TableViewDataSource {
 public:
  explicit Songs(int rows) : m_rows(rows) {
    std::vector<uint32_t> px(52 * 52);
    for (int i = 0; i < 52 * 52; ++i) px[size_t(i)] = 0xff000000u | uint32_t((i * 2654435761u) & 0x00ffffffu);
    m_cover = gfx::Image::fromPixels(52, 52, std::move(px), 1);
  }
  int numberOfRowsInSection(ui::TableView&, int) override { return m_rows; }
  std::shared_ptr<ui::TableViewCell> cellForRowAtIndexPath(ui::TableView& t, const ui::IndexPath& ip) override {
    auto cell = std::static_pointer_cast<SongCell>(t.dequeueReusableCellWithIdentifier("Song", ip));
    cell->title->setText("Song " + std::to_string(ip.row) + " 月亮代表我的心");
    cell->singer->setText("Singer " + std::to_string(ip.row % 97));
    cell->cover->setImage(m_cover);
    return cell;
  }

 private:
  int m_rows;
  std::shared_ptr<gfx::Image> m_cover;
};

struct Scene {
  explicit Scene(int rows) : songs(rows) {
    window = ui::Window::create(gfx::Rect(0, 0, kWidth, kHeight));
    window->setBackgroundColor(gfx::Color::whiteColor());
    window->setHidden(false);  // shown, without registering with the application
    table = ui::TableView::create(gfx::Rect(0, 0, kWidth, kHeight));
    table->setRowHeight(kRow);
    table->registerClass("Song", [] { return std::make_shared<SongCell>(); });
    table->setDataSource(&songs);
    window->addSubview(table);
    window->layoutAndDisplayIfNeeded();
  }
  ~Scene() { table->setDataSource(nullptr); }
  // One frame of the scroll: the offset moves by a thirtieth of a screen and wraps after a screen.
  void step() {
    m_frame = (m_frame + 1) % kFramesPerScreen;
    table->setContentOffset({0, 5000 * kRow + m_frame * kHeight / kFramesPerScreen});
    window->layoutAndDisplayIfNeeded();
  }

  Songs songs;
  std::shared_ptr<ui::Window> window;
  std::shared_ptr<ui::TableView> table;
  int m_frame = 0;
};

void TableScrollFrame(benchmark::State& state) {
  Scene scene(10000);
  gfx::Compositor comp({kWidth, kHeight}, ui::Screen::main().drawingScale());
  scene.step();
  comp.renderFrame(scene.window->layer());
  for (auto _ : state) {
    scene.step();
    comp.invalidate();
    benchmark::DoNotOptimize(comp.renderFrame(scene.window->layer()));
  }
  state.counters["cells"] = double(scene.table->cellsMadeByFactories());
}
BENCHMARK(TableScrollFrame)->Unit(benchmark::kMicrosecond);

// The floor: the same window rendered again with nothing moved.
void CompositingFloor(benchmark::State& state) {
  Scene scene(10000);
  gfx::Compositor comp({kWidth, kHeight}, ui::Screen::main().drawingScale());
  scene.step();
  comp.renderFrame(scene.window->layer());
  for (auto _ : state) {
    comp.invalidate();
    benchmark::DoNotOptimize(comp.renderFrame(scene.window->layer()));
  }
}
BENCHMARK(CompositingFloor)->Unit(benchmark::kMicrosecond);

long residentKiB() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// The growth of resident memory while a table of `rows` rows is made and scrolled by a screen.
long tableResidentKiB(int rows) {
  long before = residentKiB();
  Scene scene(rows);
  for (int i = 0; i < kFramesPerScreen; ++i) scene.step();
  return residentKiB() - before;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  // Memory first, before the runs fill the allocator's free lists; a first table loads the fonts.
  tableResidentKiB(1000);
  long small = tableResidentKiB(1000);
  long large = tableResidentKiB(100000);
  bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  if (auto r = reporter.ratio("TableScrollFrame", "CompositingFloor"))
    std::printf("table scroll frame / compositing floor: %.2f (%.0f us vs %.0f us)\n", r->value, r->oursSeconds * 1e6,
                r->baseSeconds * 1e6);
  std::printf("resident growth for a scrolled table: %ld KiB with 1,000 rows, %ld KiB with 100,000 rows\n", small,
              large);
  benchmark::Shutdown();
  return 0;
}
