// A web page of 200 paragraphs (Chinese with some Latin, a heading every 20, a style sheet) parsed,
// laid out at 1024 points and drawn screen by screen, as the web view shows it; laid out again
// alone (as when a picture arrives); against Pango laying out and drawing the same paragraphs
// alone at the same width. Prints the ratios after the runs.
#include <benchmark/benchmark.h>
#include <pango/pangocairo.h>

#include <cstdio>
#include <string>
#include <vector>

#include "BenchReport.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Font.h"
#include "platform/ui/HtmlDocumentContainer.h"

namespace {

constexpr int kWidth = 1024, kHeight = 768, kParagraphs = 200;
constexpr int kMargin = 32, kFontSize = 20;

std::string paragraph(int i) {
  return "第" + std::to_string(i + 1) +
         "段：包厢配备专业音响与高清大屏，点歌系统支持手机扫码点歌、收藏与排队置顶。Room " + std::to_string(i) +
         " has a stage light and two microphones. 服务铃随叫随到，酒水小吃可在平板上直接下单，账单随时可查。";
}

std::string page() {
  std::string html =
      "<html><head><style>body { margin: 0; padding: 0 32px; font-size: 20px; line-height: 1.4; color: #333; }"
      "h2 { color: #c8102e; font-size: 26px; } p { margin: 12px 0; }</style></head><body>";
  for (int i = 0; i < kParagraphs; ++i) {
    if (i % 20 == 0) html += "<h2>包厢介绍 " + std::to_string(i / 20 + 1) + "</h2>";
    html += "<p>" + paragraph(i) + "</p>";
  }
  return html + "</body></html>";
}

// Draws a page of `height` into the screen-sized context one screen after the other.
template <class Draw>
void drawScreens(gfx::Context& context, int height, Draw draw) {
  for (int top = 0; top < height; top += kHeight) {
    context.save();
    context.clearRect(gfx::Rect(0, 0, kWidth, kHeight));
    draw(top);
    context.restore();
  }
}

void WebPageLayoutAndDraw(benchmark::State& state) {
  const std::string html = page();
  auto context = gfx::Context::bitmap(gfx::Size{kWidth, kHeight}, 1);
  int height = 0;
  for (auto _ : state) {
    ui::HtmlDocumentContainer container;
    container.setViewport(gfx::Size{kWidth, kHeight});
    auto document = container.createDocument(html);
    document->render(kWidth);
    height = document->height();
    drawScreens(*context, height, [&](int top) {
      container.draw(*document, *context, gfx::Point{0, double(-top)}, gfx::Rect(0, top, kWidth, kHeight));
    });
  }
  state.counters["height"] = height;
}
BENCHMARK(WebPageLayoutAndDraw)->Unit(benchmark::kMillisecond);

// The page laid out again, its words already measured.
void WebPageRelayout(benchmark::State& state) {
  ui::HtmlDocumentContainer container;
  container.setViewport(gfx::Size{kWidth, kHeight});
  auto document = container.createDocument(page());
  document->render(kWidth);
  for (auto _ : state) benchmark::DoNotOptimize(document->render(kWidth));
}
BENCHMARK(WebPageRelayout)->Unit(benchmark::kMillisecond);

// The floor: each paragraph one Pango layout, wrapped at the same width, drawn screen by screen.
void PangoParagraphs(benchmark::State& state) {
  std::vector<std::string> texts;
  for (int i = 0; i < kParagraphs; ++i) texts.push_back(paragraph(i));
  auto font = gfx::Font::systemFont(kFontSize);
  auto context = gfx::Context::bitmap(gfx::Size{kWidth, kHeight}, 1);
  for (auto _ : state) {
    std::vector<PangoLayout*> layouts;
    std::vector<double> tops;
    double y = 0;
    for (const std::string& text : texts) {
      PangoLayout* layout = pango_layout_new(gfx::Font::pangoContext());
      pango_layout_set_font_description(layout, font->pangoDescription());
      pango_layout_set_width(layout, (kWidth - 2 * kMargin) * PANGO_SCALE);
      pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
      pango_layout_set_text(layout, text.c_str(), int(text.size()));
      int w = 0, h = 0;
      pango_layout_get_size(layout, &w, &h);
      tops.push_back(y);
      y += double(h) / PANGO_SCALE + 12;
      layouts.push_back(layout);
    }
    drawScreens(*context, int(y), [&](int top) {
      cairo_t* cr = context->cairo();
      cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
      for (size_t i = 0; i < layouts.size(); ++i) {
        if (tops[i] > top + kHeight || (i + 1 < tops.size() && tops[i + 1] < top)) continue;
        cairo_move_to(cr, kMargin, tops[i] - top);
        pango_cairo_show_layout(cr, layouts[i]);
      }
    });
    for (PangoLayout* layout : layouts) g_object_unref(layout);
  }
}
BENCHMARK(PangoParagraphs)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const char* name : {"WebPageLayoutAndDraw", "WebPageRelayout"}) {
    if (auto r = reporter.ratio(name, "PangoParagraphs"))
      std::printf("%s / Pango alone: %.2f (%.1f ms vs %.1f ms)\n", name, r->value, r->oursSeconds * 1e3,
                  r->baseSeconds * 1e3);
  }
  benchmark::Shutdown();
  return 0;
}
