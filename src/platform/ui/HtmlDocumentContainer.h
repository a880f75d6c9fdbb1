#pragma once

#include <litehtml/litehtml.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gfx/Geometry.h"
#include "platform/net/URL.h"

namespace gfx {
class Context;
class Image;
}  // namespace gfx

namespace ui {

// What litehtml asks of the page it lays out and draws, answered over our own drawing: text with
// Pango in the system's CJK face (its weight, slant, size, colour and decorations), backgrounds,
// borders and list markers through a gfx::Context, and the style sheets and pictures of one page.
//
// Style sheets (<link rel=stylesheet>, @import) are asked for while a document is parsed, so they
// must be at hand then: a sheet the container does not hold yet parses as empty and is noted as
// missing; its owner loads the missing ones and parses the page again. Pictures are asked for by
// address as they are met and drawn once set. One container serves one page; main thread only.
class HtmlDocumentContainer final : public litehtml::document_container {
 public:
  struct Callbacks {
    // A picture address met for the first time.
    std::function<void(const net::URL&)> pictureNeeded;
    // A link was tapped: its href as written.
    std::function<void(const std::string&)> anchorClicked;
  };

  HtmlDocumentContainer();
  ~HtmlDocumentContainer();
  HtmlDocumentContainer(const HtmlDocumentContainer&) = delete;
  HtmlDocumentContainer& operator=(const HtmlDocumentContainer&) = delete;

  void setCallbacks(Callbacks callbacks) { m_callbacks = std::move(callbacks); }
  // The page's address: relative addresses resolve against it until the page names a <base>.
  void setPageURL(std::optional<net::URL> url);
  // The base of the page's relative addresses.
  const std::optional<net::URL>& baseURL() const { return m_baseURL; }
  // The area the page is shown in (media queries, the initial containing block).
  void setViewport(gfx::Size size) { m_viewport = size; }

  // Parses a page (UTF-8) into a document drawn through this container.
  std::shared_ptr<litehtml::document> createDocument(const std::string& html);
  // The page's <title>.
  const std::string& caption() const { return m_caption; }

  // A style sheet's text, "" for one that could not be loaded.
  void setStyleSheet(const net::URL& url, std::string text);
  // The sheets asked for since the last call that are not held, in the order met, each once.
  std::vector<net::URL> takeMissingStyleSheets();
  // A picture, or null for one that could not be loaded.
  void setPicture(const net::URL& url, std::shared_ptr<const gfx::Image> image);

  // Draws the part `clip` of the document (document coordinates) with the document's origin at
  // `origin` of the context.
  void draw(litehtml::document& document, gfx::Context& context, gfx::Point origin, const gfx::Rect& clip);

  // How deeply the elements of a page nest, estimated from its tags alone (void elements, tags
  // closed by the next of their kind such as <p> and <li>, and the contents of script, style and
  // comments do not count). litehtml walks the tree recursively, so a page nested far deeper than
  // any real one would run the stack out; such a page is not given to it.
  static size_t nestingDepth(std::string_view html);
  static constexpr size_t MaxNestingDepth = 1000;

  // The families of a CSS font-family list, in order, quotes and spaces removed; the generic
  // families that mean an ordinary face (sans-serif, serif, system-ui, ...) become the system
  // face, "monospace" stays.
  static std::vector<std::string> fontFamilies(std::string_view list);
  // The address of an @import or a <link href> as litehtml hands it over: url(...) and quotes
  // removed, surrounding white space trimmed.
  static std::string styleSheetAddress(std::string_view text);
  // A page's address text (href, src) as an address: surrounding white space trimmed, tabs and
  // line breaks dropped, characters a URL may not hold percent-escaped, then resolved against
  // `base`. Nothing when it does not make an address.
  static std::optional<net::URL> resolveAddress(std::string_view text, const std::optional<net::URL>& base);

  // ---- litehtml::document_container ----
  litehtml::uint_ptr create_font(const litehtml::tchar_t* faceName, int size, int weight, litehtml::font_style italic,
                                 unsigned int decoration, litehtml::font_metrics* fm) override;
  void delete_font(litehtml::uint_ptr hFont) override;
  int text_width(const litehtml::tchar_t* text, litehtml::uint_ptr hFont) override;
  void draw_text(litehtml::uint_ptr hdc, const litehtml::tchar_t* text, litehtml::uint_ptr hFont,
                 litehtml::web_color color, const litehtml::position& pos) override;
  int pt_to_px(int pt) const override;
  int get_default_font_size() const override;
  const litehtml::tchar_t* get_default_font_name() const override;
  void draw_list_marker(litehtml::uint_ptr hdc, const litehtml::list_marker& marker) override;
  void load_image(const litehtml::tchar_t* src, const litehtml::tchar_t* baseurl, bool redraw_on_ready) override;
  void get_image_size(const litehtml::tchar_t* src, const litehtml::tchar_t* baseurl, litehtml::size& sz) override;
  void draw_background(litehtml::uint_ptr hdc, const litehtml::background_paint& bg) override;
  void draw_borders(litehtml::uint_ptr hdc, const litehtml::borders& borders, const litehtml::position& draw_pos,
                    bool root) override;
  void set_caption(const litehtml::tchar_t* caption) override;
  void set_base_url(const litehtml::tchar_t* base_url) override;
  void link(const std::shared_ptr<litehtml::document>& doc, const litehtml::element::ptr& el) override;
  void on_anchor_click(const litehtml::tchar_t* url, const litehtml::element::ptr& el) override;
  void set_cursor(const litehtml::tchar_t* cursor) override;
  void transform_text(litehtml::tstring& text, litehtml::text_transform tt) override;
  void import_css(litehtml::tstring& text, const litehtml::tstring& url, litehtml::tstring& baseurl) override;
  void set_clip(const litehtml::position& pos, const litehtml::border_radiuses& bdr_radius, bool valid_x,
                bool valid_y) override;
  void del_clip() override;
  void get_client_rect(litehtml::position& client) const override;
  std::shared_ptr<litehtml::element> create_element(const litehtml::tchar_t* tag_name,
                                                    const litehtml::string_map& attributes,
                                                    const std::shared_ptr<litehtml::document>& doc) override;
  void get_media_features(litehtml::media_features& media) const override;
  void get_language(litehtml::tstring& language, litehtml::tstring& culture) const override;

 private:
  struct HtmlFont;

  // The address of a picture or sheet named in the page (or in a sheet at `base`).
  std::optional<net::URL> addressOf(std::string_view text, const char* base) const;
  std::shared_ptr<const gfx::Image> pictureFor(std::string_view src, const char* base) const;
  gfx::Context* contextOf(litehtml::uint_ptr hdc) const;

  Callbacks m_callbacks;
  std::optional<net::URL> m_pageURL;
  std::optional<net::URL> m_baseURL;
  gfx::Size m_viewport;
  std::string m_caption;
  std::map<std::string, std::string> m_sheets;  // by address
  std::vector<net::URL> m_missingSheets;
  std::set<std::string> m_missingSeen;
  // Pictures by address: requested ones are present, with null until they arrive or fail.
  std::map<std::string, std::shared_ptr<const gfx::Image>> m_pictures;
  // While drawing: the context and how many clips are pushed on it.
  gfx::Context* m_context = nullptr;
  gfx::Rect m_drawClip;
  int m_clipDepth = 0;
};

}  // namespace ui
