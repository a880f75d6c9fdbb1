// Web pages as the web view takes them. The input's first three lines are a CSS font-family
// list, an @import or <link href> address text, and an href resolved against a page address;
// the rest is a page, parsed, laid out and drawn through the web view's document container with
// every picture it asks for present and every style sheet it asks for made of the page's text.
//
// Invariants: a family list gives names without surrounding spaces or matching quotes, no more
// than it has commas and one; a style sheet address is trimmed and taken from its text; a
// resolved address reads back as itself; the nesting estimate never exceeds the number of tags;
// laying out and drawing never crash (litehtml may throw
// on some input, which the web view catches in the same way).

#include <string>

#include "FuzzCheck.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"
#include "platform/ui/HtmlDocumentContainer.h"

namespace {

using ui::HtmlDocumentContainer;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

std::string_view takeLine(std::string_view& input) {
  size_t end = input.find('\n');
  std::string_view line = input.substr(0, end);
  input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
  return line;
}

void checkFamilies(std::string_view list) {
  std::vector<std::string> families = HtmlDocumentContainer::fontFamilies(list);
  size_t commas = 0;
  for (char c : list) commas += c == ',';
  KT_FUZZ_CHECK(families.size() <= commas + 1);
  for (const std::string& f : families) {
    KT_FUZZ_CHECK(!f.empty());
    KT_FUZZ_CHECK(!isSpace(f.front()) && !isSpace(f.back()));
    KT_FUZZ_CHECK(!(f.size() >= 2 && (f.front() == '"' || f.front() == '\'') && f.back() == f.front()));
  }
}

void checkStyleSheetAddress(std::string_view text) {
  std::string address = HtmlDocumentContainer::styleSheetAddress(text);
  if (address.empty()) return;
  KT_FUZZ_CHECK(!isSpace(address.front()) && !isSpace(address.back()));
  KT_FUZZ_CHECK(text.find(address) != std::string_view::npos);
}

void checkAddress(std::string_view href) {
  static const std::optional<net::URL> base = net::URL::fromString("http://venue.example/pages/index.html?a=1");
  for (const auto& b : {base, std::optional<net::URL>()}) {
    std::optional<net::URL> url = HtmlDocumentContainer::resolveAddress(href, b);
    if (!url) continue;
    std::optional<net::URL> again = net::URL::fromString(url->absoluteString());
    KT_FUZZ_CHECK(again && *again == *url);
  }
}

void checkNesting(std::string_view html) {
  size_t tags = 0;
  for (char c : html) tags += c == '<';
  KT_FUZZ_CHECK(HtmlDocumentContainer::nestingDepth(html) <= tags);
}

void layOutAndDraw(const std::string& html) {
  constexpr int Width = 320, Height = 240;
  HtmlDocumentContainer container;
  container.setPageURL(net::URL::fromString("http://venue.example/pages/index.html"));
  container.setViewport(gfx::Size{Width, Height});
  static const std::shared_ptr<const gfx::Image> picture =
      gfx::Image::fromPixels(3, 2, std::vector<uint32_t>(6, 0xFF20A040u));
  HtmlDocumentContainer::Callbacks callbacks;
  callbacks.pictureNeeded = [&container](const net::URL& url) { container.setPicture(url, picture); };
  container.setCallbacks(callbacks);
  auto context = gfx::Context::bitmap(gfx::Size{Width, Height}, 1);
  // The web view does not hand such a page to litehtml either.
  if (HtmlDocumentContainer::nestingDepth(html) > HtmlDocumentContainer::MaxNestingDepth) return;
  try {
    auto document = container.createDocument(html);
    // Every sheet it asked for is the page itself, read as CSS; then the page is read again.
    for (const net::URL& url : container.takeMissingStyleSheets()) container.setStyleSheet(url, html);
    document.reset();
    document = container.createDocument(html);
    document->render(Width);
    container.draw(*document, *context, gfx::Point{0, 0}, gfx::Rect(0, 0, Width, Height));
    litehtml::position::vector redraw;
    document->on_mouse_over(10, 10, 10, 10, redraw);
    document->on_lbutton_down(10, 10, 10, 10, redraw);
    document->on_lbutton_up(10, 10, 10, 10, redraw);
  } catch (const std::exception&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input = fuzz::bytes(data, size);
  checkFamilies(takeLine(input));
  checkStyleSheetAddress(takeLine(input));
  checkAddress(takeLine(input));
  checkNesting(input);
  layOutAndDraw(std::string(input));
  return 0;
}
