// The food menu with 2,000 dishes: a reply 104 handed through the decoder to the menu screen, its
// food table reloaded and the first frame of the menu drawn offscreen. Against decoding the same
// reply alone (the decoder with a delegate that drops the list). The ratio is printed after the runs.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

#include "BenchReport.h"
#include "app/DataCenter.h"
#include "link/MsgCodes.h"
#include "link/SocketDataHandle.h"
#include "order/OrderMainViewController.h"
#include "order/OrderScreens.h"
#include "platform/gfx/Compositor.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/TableView.h"
#include "platform/ui/Window.h"

namespace {

constexpr int kDishes = 2000;
constexpr double kWidth = 1024, kHeight = 768;
const char* const kNames[] = {"宫保鸡丁", "麻婆豆腐", "水煮鱼", "果盘", "啤酒", "可乐", "爆米花", "鸭脖"};

// Reply 104 as the link posts it: length digits, code, result, message, three header parts, then
// 16 parts per dish.
const std::string& foodReply() {
  static const std::string text = [] {
    std::string t = "000000\r\n" + std::to_string(kt::MsgFoodList) + "\r\n0\r\n\r\n\r\n\r\n";
    for (int d = 0; d < kDishes; ++d) {
      const std::string no = std::to_string(10000 + d);
      t += "\r\n" + no + "\r\n" + kNames[d % 8] + std::to_string(d) + "\r\nDish " + no + "\r\n" +
           std::to_string(10 + d % 90) + ".00\r\n份\r\n\r\n0\r\n0\r\n0\r\n\r\n\r\n20240501\r\n\r\n\r\n\r\n";
    }
    return t + "\r\n";
  }();
  return text;
}

// The base: a screen that takes the list and lets it go.
class DroppingScreen : public kt::SocketDataHandleDelegate {
 public:
  DroppingScreen() {
    socketDataHandleDidFoodList = [this](kt::FoodList foods) { m_count = foods.size(); };
  }
  size_t count() const { return m_count; }

 private:
  size_t m_count = 0;
};

void DecodeFoodList(benchmark::State& state) {
  kt::SocketDataHandle& decoder = kt::SocketDataHandle::sharedInstance();
  DroppingScreen screen;
  decoder.setDelegate(&screen);
  for (auto _ : state) {
    decoder.dispatch(kt::kBusCodeTcpMessage, foodReply());
    if (screen.count() != kDishes) state.SkipWithError("dishes lost");
  }
  decoder.setDelegate(nullptr);
}
BENCHMARK(DecodeFoodList)->Unit(benchmark::kMicrosecond);

// The menu in a window of its own: the reply decoded into the menu, the food table reloaded, laid
// out and drawn.
void MenuFirstFrame(benchmark::State& state) {
  kt::DataCenter::sharedInstance().setRoomNo(std::string("808"));
  kt::OrderScreens::registerStoryboard();
  auto menu = std::dynamic_pointer_cast<kt::OrderMainViewController>(
      ui::Storyboard::named(kt::OrderScreens::StoryboardName)->instantiate(kt::OrderScreens::Menu));
  auto window = ui::Window::create(gfx::Rect(0, 0, kWidth, kHeight));
  window->setRootViewController(menu);
  window->setHidden(false);
  window->layoutAndDisplayIfNeeded();
  gfx::Compositor compositor({kWidth, kHeight}, ui::Screen::main().drawingScale());
  kt::SocketDataHandle& decoder = kt::SocketDataHandle::sharedInstance();
  for (auto _ : state) {
    decoder.setDelegate(menu.get());
    decoder.dispatch(kt::kBusCodeTcpMessage, foodReply());
    window->layoutAndDisplayIfNeeded();
    compositor.invalidate();
    benchmark::DoNotOptimize(compositor.renderFrame(window->layer()));
    if (menu->foodListArray().size() != kDishes) state.SkipWithError("dishes lost");
  }
  state.counters["rows"] = double(menu->TowTableView()->numberOfRowsInSection(0));
  decoder.setDelegate(nullptr);
  window->setRootViewController(nullptr);
}
BENCHMARK(MenuFirstFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::printf("reply 104: %zu bytes, %d dishes\n", foodReply().size(), kDishes);
  bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  if (auto r = reporter.ratio("MenuFirstFrame", "DecodeFoodList"))
    std::printf("menu first frame / decoding alone: %.2f (%.0f us vs %.0f us)\n", r->value, r->oursSeconds * 1e6,
                r->baseSeconds * 1e6);
  benchmark::Shutdown();
  return 0;
}
