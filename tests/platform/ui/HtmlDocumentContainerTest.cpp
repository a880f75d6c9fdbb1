#include "platform/ui/HtmlDocumentContainer.h"

#include <gtest/gtest.h>

#include "platform/gfx/Font.h"

namespace {

using ui::HtmlDocumentContainer;
using Names = std::vector<std::string>;

TEST(HtmlDocumentContainerTest, FontFamilyListsAreReadAsCSSWritesThem) {
  const std::string system = gfx::Font::SystemFamily;
  EXPECT_EQ(HtmlDocumentContainer::fontFamilies("'Noto Sans', \"Microsoft YaHei\" ,Arial, sans-serif"),
            (Names{"Noto Sans", "Microsoft YaHei", "Arial", system}));
  EXPECT_EQ(HtmlDocumentContainer::fontFamilies("SERIF, Monospace, ui-monospace, system-ui"),
            (Names{system, "Monospace", "monospace", system}));
  // Empty entries and empty quotes vanish; an unmatched quote stays part of the name.
  EXPECT_EQ(HtmlDocumentContainer::fontFamilies(" , ,'' , \"x"), (Names{"\"x"}));
  EXPECT_EQ(HtmlDocumentContainer::fontFamilies("\"\"\"\", \"' Arial '\""), (Names{"Arial"}));
  EXPECT_TRUE(HtmlDocumentContainer::fontFamilies("").empty());
}

TEST(HtmlDocumentContainerTest, StyleSheetAddressesLoseTheirWrapping) {
  EXPECT_EQ(HtmlDocumentContainer::styleSheetAddress("url(\"base.css\")"), "base.css");
  EXPECT_EQ(HtmlDocumentContainer::styleSheetAddress("  URL( 'a b.css' ) "), "a b.css");
  EXPECT_EQ(HtmlDocumentContainer::styleSheetAddress("\"d.css\""), "d.css");
  EXPECT_EQ(HtmlDocumentContainer::styleSheetAddress(" plain.css\n"), "plain.css");
  // Unbalanced wrapping is left as it is.
  EXPECT_EQ(HtmlDocumentContainer::styleSheetAddress("url(x.css"), "x.css");
  EXPECT_EQ(HtmlDocumentContainer::styleSheetAddress("'y.css\""), "'y.css\"");
  EXPECT_EQ(HtmlDocumentContainer::styleSheetAddress("url()"), "");
}

TEST(HtmlDocumentContainerTest, AddressesAreCleanedEscapedAndResolved) {
  auto base = net::URL::fromString("http://venue.example/pages/index.html?x=1");
  auto resolve = [&](std::string_view text) {
    auto url = HtmlDocumentContainer::resolveAddress(text, base);
    return url ? url->absoluteString() : std::string("-");
  };
  EXPECT_EQ(resolve("menu.html"), "http://venue.example/pages/menu.html");
  EXPECT_EQ(resolve("  ../images/a.png\n"), "http://venue.example/images/a.png");
  EXPECT_EQ(resolve("/pages/\tmenu\n.html"), "http://venue.example/pages/menu.html");
  EXPECT_EQ(resolve("包厢 A.html"), "http://venue.example/pages/%E5%8C%85%E5%8E%A2%20A.html");
  EXPECT_EQ(resolve("100%.html?a=%41"), "http://venue.example/pages/100%25.html?a=%41");
  EXPECT_EQ(resolve("//other.example/x"), "http://other.example/x");
  EXPECT_EQ(resolve("tel:4008001234"), "tel:4008001234");
  EXPECT_EQ(resolve("http://[::1"), "-");
  // Without a base only absolute addresses make one.
  EXPECT_FALSE(HtmlDocumentContainer::resolveAddress("menu.html", std::nullopt));
  EXPECT_TRUE(HtmlDocumentContainer::resolveAddress("https://a.example/", std::nullopt));
}

TEST(HtmlDocumentContainerTest, NestingIsCountedFromTheTags) {
  EXPECT_EQ(HtmlDocumentContainer::nestingDepth("<div><div><span>x</span></div><div></div></div>"), 3u);
  // Void elements, self-closed tags and tags closed by the next of their kind do not nest.
  EXPECT_EQ(HtmlDocumentContainer::nestingDepth("<ul><li>a<li>b<li>c<p>d<p>e<br><img src=x><hr/><x/></ul>"), 1u);
  // Nor do the contents of comments, scripts and styles, or a ">" inside a quoted value.
  EXPECT_EQ(HtmlDocumentContainer::nestingDepth("<!-- <div><div> --><script>'<div><div>'</script>"
                                                "<style>a<b{}</style><a title='>'><b>x</b></a>"),
            2u);
  // Stray closing tags do not take the count below nothing.
  EXPECT_EQ(HtmlDocumentContainer::nestingDepth("</div></div><div><div>"), 2u);
  EXPECT_EQ(HtmlDocumentContainer::nestingDepth("1 < 2 <3 <"), 0u);
  std::string deep;
  for (int i = 0; i < 5000; ++i) deep += "<div>";
  EXPECT_EQ(HtmlDocumentContainer::nestingDepth(deep), 5000u);
  // An unclosed script hides the rest.
  EXPECT_EQ(HtmlDocumentContainer::nestingDepth("<script>" + deep), 0u);
}

}  // namespace
