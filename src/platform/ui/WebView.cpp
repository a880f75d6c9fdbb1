#include "platform/ui/WebView.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/core/Queue.h"
#include "platform/core/TextEncoding.h"
#include "platform/gfx/Font.h"
#include "platform/net/HTTPURLResponse.h"
#include "platform/net/URLError.h"
#include "platform/net/URLSession.h"
#include "platform/net/URLSessionConfiguration.h"
#include "platform/ui/Label.h"
#include "platform/ui/ScrollView.h"

namespace ui {

namespace {

constexpr double Margin = 8;

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// "text/html; charset=x" -> "text/html".
std::string bareMIMEType(const std::optional<std::string>& type) {
  if (!type) return {};
  std::string t = lower(*type);
  if (auto semi = t.find(';'); semi != std::string::npos) t.resize(semi);
  while (!t.empty() && std::isspace(static_cast<unsigned char>(t.back()))) t.pop_back();
  size_t start = 0;
  while (start < t.size() && std::isspace(static_cast<unsigned char>(t[start]))) ++start;
  return t.substr(start);
}

// A character of the page: NUL, surrogates and anything out of range become U+FFFD.
void appendUtf8(std::string& out, uint32_t cp) {
  if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  core::appendUtf8(out, cp);
}

std::string latin1ToUtf8(std::string_view bytes) {
  std::string out;
  for (char c : bytes) appendUtf8(out, static_cast<unsigned char>(c));
  return out;
}

// UTF-8 with every byte that does not start a valid sequence replaced by U+FFFD.
std::string lossyUtf8(std::string_view bytes) {
  if (core::isValidUtf8(bytes)) return std::string(bytes);
  std::string out;
  size_t i = 0;
  while (i < bytes.size()) {
    auto b = static_cast<unsigned char>(bytes[i]);
    size_t len = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
    if (len && i + len <= bytes.size() && core::isValidUtf8(bytes.substr(i, len))) {
      out.append(bytes.substr(i, len));
      i += len;
    } else {
      appendUtf8(out, 0xFFFD);
      ++i;
    }
  }
  return out;
}

// Decodes "&...;" at html[i] (which is '&'); on success appends the character and moves i past
// the ';'.
bool decodeEntity(std::string_view html, size_t& i, std::string& out) {
  size_t semi = html.find(';', i);
  if (semi == std::string_view::npos || semi - i > 10) return false;
  std::string_view name = html.substr(i + 1, semi - i - 1);
  if (name.empty()) return false;
  uint32_t cp = 0;
  if (name[0] == '#') {
    bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
    std::string_view digits = name.substr(hex ? 2 : 1);
    if (digits.empty()) return false;
    for (char c : digits) {
      int v = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
              : hex && std::isxdigit(static_cast<unsigned char>(c)) ? std::tolower(static_cast<unsigned char>(c)) - 'a' + 10
                                                                     : -1;
      if (v < 0) return false;
      cp = cp * (hex ? 16 : 10) + static_cast<uint32_t>(v);
      if (cp > 0x10FFFF) cp = 0x110000;  // stays out of range without overflowing
    }
  } else {
    static const struct {
      const char* name;
      uint32_t cp;
    } named[] = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}, {"nbsp", 0xA0}};
    bool found = false;
    for (const auto& n : named) {
      if (name == n.name) {
        cp = n.cp;
        found = true;
        break;
      }
    }
    if (!found) return false;
  }
  appendUtf8(out, cp);
  i = semi + 1;
  return true;
}

bool isOneOf(const std::string& name, std::initializer_list<const char*> names) {
  return std::any_of(names.begin(), names.end(), [&](const char* n) { return name == n; });
}

// Finds "</name" (any case) from `from`; npos when absent.
size_t findClosingTag(std::string_view html, size_t from, const std::string& name) {
  std::string needle = "</" + name;
  for (size_t i = html.find("</", from); i != std::string_view::npos; i = html.find("</", i + 1)) {
    if (html.size() - i >= needle.size() && lower(html.substr(i, needle.size())) == needle) return i;
  }
  return std::string_view::npos;
}

// The index just past the '>' closing the tag that starts at `i`, quotes respected.
size_t skipTag(std::string_view html, size_t i) {
  char quote = 0;
  for (; i < html.size(); ++i) {
    char c = html[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '>') {
      return i + 1;
    }
  }
  return html.size();
}

}  // namespace

WebView::WebView(const gfx::Rect& frame) : View(frame) {
  setBackgroundColor(gfx::Color::whiteColor());
  m_scrollView = std::make_shared<ScrollView>(gfx::Rect(gfx::Point{0, 0}, frame.size));
  m_scrollView->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
  m_scrollView->setAlwaysBounceVertical(true);
  addSubview(m_scrollView);
  m_label = Label::create();
  m_label->setNumberOfLines(0);
  m_label->setLineBreakMode(gfx::LineBreakMode::WordWrap);
  m_label->setFont(gfx::Font::systemFont(16));
  m_label->setBackgroundColor(std::nullopt);
  m_scrollView->addSubview(m_label);
}

WebView::~WebView() {
  if (m_task) m_task->cancel();
}

std::shared_ptr<net::URLSession> WebView::sharedSession() {
  static const std::shared_ptr<net::URLSession> session =
      net::URLSession::create(net::URLSessionConfiguration::defaultSessionConfiguration());
  return session;
}

std::shared_ptr<net::URLSession> WebView::session() const { return m_session ? m_session : sharedSession(); }

bool WebView::mayStart(const net::URLRequest& request) {
  return !m_delegate || m_delegate->shouldStartLoadWithRequest(*this, request, WebViewNavigationType::Other);
}

void WebView::loadRequest(const net::URLRequest& request) {
  if (!mayStart(request)) return;
  uint64_t generation = beginLoad();
  m_request = request;
  std::weak_ptr<WebView> weak = std::static_pointer_cast<WebView>(shared());
  auto finished = [weak, generation](std::optional<std::string> data, std::shared_ptr<const net::HTTPURLResponse> response,
                                     std::optional<core::Error> error) {
    core::Queue::main()->async([weak, generation, data = std::move(data), response, error] {
      auto self = weak.lock();
      if (!self || generation != self->m_generation || !self->m_loading) return;
      self->m_task.reset();
      if (!error && response) {
        self->setContent(data.value_or(""), response->MIMEType(), response->textEncodingName(), response->url());
      }
      self->finishLoad(generation, error ? error : (response ? std::nullopt
                                                             : std::optional(net::URLError::make(net::URLError::BadServerResponse))));
    });
  };
  m_task = request.url() ? session()->dataTaskWithRequest(request, finished) : nullptr;
  if (m_task) {
    m_task->resume();
  } else {
    std::string url = request.url() ? request.url()->absoluteString() : std::string();
    finished(std::nullopt, nullptr, net::URLError::make(net::URLError::UnsupportedURL, url));
  }
}

void WebView::loadData(const std::string& data, const std::optional<std::string>& MIMEType,
                       const std::optional<std::string>& textEncodingName, const std::optional<net::URL>& baseURL) {
  auto blank = net::URL::fromString("about:blank");
  net::URLRequest request(baseURL ? baseURL : blank);
  if (!mayStart(request)) return;
  uint64_t generation = beginLoad();
  m_request = request;
  setContent(data, MIMEType, textEncodingName, baseURL);
  std::weak_ptr<WebView> weak = std::static_pointer_cast<WebView>(shared());
  core::Queue::main()->async([weak, generation] {
    if (auto self = weak.lock()) self->finishLoad(generation, std::nullopt);
  });
}

void WebView::loadHTMLString(const std::string& html, const std::optional<net::URL>& baseURL) {
  loadData(html, std::string("text/html"), std::string("utf-8"), baseURL);
}

void WebView::stopLoading() { cancelCurrentLoad(); }

void WebView::cancelCurrentLoad() {
  ++m_generation;
  if (m_task) {
    m_task->cancel();
    m_task.reset();
  }
  if (!m_loading) return;
  m_loading = false;
  if (!m_startAnnounced) return;
  std::weak_ptr<WebView> weak = std::static_pointer_cast<WebView>(shared());
  core::Queue::main()->async([weak] {
    auto self = weak.lock();
    if (self && self->m_delegate) self->m_delegate->didFailLoadWithError(*self, net::URLError::make(net::URLError::Cancelled));
  });
}

uint64_t WebView::beginLoad() {
  cancelCurrentLoad();
  uint64_t generation = ++m_generation;
  m_loading = true;
  m_startAnnounced = false;
  std::weak_ptr<WebView> weak = std::static_pointer_cast<WebView>(shared());
  core::Queue::main()->async([weak, generation] {
    auto self = weak.lock();
    if (!self || generation != self->m_generation || !self->m_loading) return;
    self->m_startAnnounced = true;
    if (self->m_delegate) self->m_delegate->webViewDidStartLoad(*self);
  });
  return generation;
}

void WebView::finishLoad(uint64_t generation, const std::optional<core::Error>& error) {
  if (generation != m_generation || !m_loading) return;
  m_loading = false;
  // The start is queued before any finish, so it has been announced by now.
  if (!m_delegate) return;
  if (error) {
    m_delegate->didFailLoadWithError(*this, *error);
  } else {
    m_delegate->webViewDidFinishLoad(*this);
  }
}

void WebView::setContent(const std::string& data, const std::optional<std::string>& MIMEType,
                         const std::optional<std::string>& textEncodingName, const std::optional<net::URL>& baseURL) {
  m_data = data;
  m_MIMEType = MIMEType;
  m_textEncodingName = textEncodingName;
  m_baseURL = baseURL;

  std::string type = bareMIMEType(MIMEType);
  std::string text;
  if (type == "text/html" || type == "application/xhtml+xml") {
    text = textFromHTML(decodeText(data, textEncodingName));
  } else if (type.rfind("text/", 0) == 0) {
    text = decodeText(data, textEncodingName);
  } else if (type.empty() && std::memchr(data.data(), 0, data.size()) == nullptr) {
    // Unlabelled: HTML when it opens with a tag, text otherwise.
    text = decodeText(data, textEncodingName);
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first != std::string::npos && text[first] == '<') text = textFromHTML(text);
  }
  m_text = text;
  m_label->setText(m_text);
  m_scrollView->setContentOffset(gfx::Point{0, -m_scrollView->contentInset().top});
  setNeedsLayout();
}

void WebView::layoutSubviews() {
  gfx::Rect b = bounds();
  double width = std::max(0.0, b.width() - 2 * Margin);
  gfx::Size fit = m_text.empty() ? gfx::Size{width, 0} : m_label->sizeThatFits(gfx::Size{width, 1e7});
  m_label->setFrame(gfx::Rect(Margin, Margin, width, fit.height));
  m_scrollView->setContentSize(gfx::Size{b.width(), fit.height + 2 * Margin});
}

std::string WebView::decodeText(std::string_view data, const std::optional<std::string>& textEncodingName) {
  std::string name = textEncodingName ? lower(*textEncodingName) : std::string();
  if (isOneOf(name, {"gb18030", "gbk", "gb2312", "x-gbk", "cp936", "euc-cn"})) {
    return core::gb18030ToUtf8(data).value_or(std::string());
  }
  if (isOneOf(name, {"iso-8859-1", "latin1", "iso_8859-1", "windows-1252", "us-ascii", "ascii"})) {
    return latin1ToUtf8(data);
  }
  if (isOneOf(name, {"utf-8", "utf8"})) return lossyUtf8(data);
  // Unnamed or unknown: UTF-8 when the bytes are UTF-8.
  return core::isValidUtf8(data) ? std::string(data) : latin1ToUtf8(data);
}

std::string WebView::textFromHTML(std::string_view html) {
  std::string out;
  bool pendingSpace = false;
  int preDepth = 0;
  auto lineBreak = [&](bool always) {
    pendingSpace = false;
    if (always || (!out.empty() && out.back() != '\n')) out += '\n';
  };
  auto beforeText = [&] {
    if (pendingSpace && !out.empty() && out.back() != '\n') out += ' ';
    pendingSpace = false;
  };

  size_t i = 0;
  while (i < html.size()) {
    char c = html[i];
    if (c == '<' && i + 1 < html.size()) {
      char next = html[i + 1];
      if (html.substr(i, 4) == "<!--") {
        size_t end = html.find("-->", i + 4);
        i = end == std::string_view::npos ? html.size() : end + 3;
        continue;
      }
      if (next == '!' || next == '?') {
        i = skipTag(html, i + 1);
        continue;
      }
      bool closing = next == '/';
      size_t nameStart = i + (closing ? 2 : 1);
      if (nameStart < html.size() && std::isalpha(static_cast<unsigned char>(html[nameStart]))) {
        size_t nameEnd = nameStart;
        while (nameEnd < html.size() && std::isalnum(static_cast<unsigned char>(html[nameEnd]))) ++nameEnd;
        std::string name = lower(html.substr(nameStart, nameEnd - nameStart));
        i = skipTag(html, nameEnd);
        if (!closing && isOneOf(name, {"script", "style", "title", "noscript", "template"})) {
          size_t close = findClosingTag(html, i, name);
          i = close == std::string_view::npos ? html.size() : skipTag(html, close);
        } else if (name == "br") {
          lineBreak(true);
        } else if (isOneOf(name, {"td", "th"})) {
          pendingSpace = true;
        } else if (isOneOf(name, {"p", "div", "li", "ul", "ol", "dl", "dt", "dd", "tr", "table", "h1", "h2", "h3",
                                  "h4", "h5", "h6", "blockquote", "pre", "hr", "section", "article", "header",
                                  "footer", "nav", "aside", "main", "address", "form", "fieldset", "figure",
                                  "figcaption", "body", "html", "head"})) {
          lineBreak(false);
          if (name == "pre") preDepth = std::max(0, preDepth + (closing ? -1 : 1));
        }
        continue;
      }
    }
    if (c == '&') {
      std::string decoded;
      if (decodeEntity(html, i, decoded)) {
        beforeText();
        out += decoded;
        continue;
      }
    }
    bool space = c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
    if (space && preDepth == 0) {
      pendingSpace = true;
    } else if (space && c == '\r') {
      // Line ends inside <pre> keep only their '\n'.
    } else {
      if (!space) beforeText();
      out += c;
    }
    ++i;
  }
  size_t first = out.find_first_not_of('\n');
  if (first == std::string::npos) return {};
  size_t last = out.find_last_not_of('\n');
  return out.substr(first, last - first + 1);
}

}  // namespace ui
