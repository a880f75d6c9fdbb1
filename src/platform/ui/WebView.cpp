#include "platform/ui/WebView.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

#include "platform/core/Log.h"
#include "platform/core/Queue.h"
#include "platform/core/TextEncoding.h"
#include "platform/net/HTTPURLResponse.h"
#include "platform/net/URLError.h"
#include "platform/net/URLSession.h"
#include "platform/net/URLSessionConfiguration.h"
#include "platform/net/URLSessionDelegate.h"
#include "platform/ui/HtmlDocumentContainer.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/TapGestureRecognizer.h"
#include "platform/ui/WebPictureLoader.h"

namespace ui {

namespace {

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


// The page text as a preformatted page.
std::string textPage(std::string_view text) {
  std::string html = "<pre style=\"white-space: pre-wrap; margin: 8px\">";
  for (char c : text) {
    switch (c) {
      case '&': html += "&amp;"; break;
      case '<': html += "&lt;"; break;
      case '>': html += "&gt;"; break;
      default: html += c; break;
    }
  }
  return html + "</pre>";
}

bool isWebScheme(const net::URL& url) { return url.scheme() == "http" || url.scheme() == "https"; }

// How far beyond the visible part the page is drawn, so that short scrolls need no redraw.
constexpr double BandMargin = 256;
// How deep @import may nest: each level is a round of loads before the page shows.
constexpr int MaxStyleSheetRounds = 4;
// The pages kept for going back and forward.
constexpr size_t MaxHistory = 100;

// litehtml throws on some malformed input (a media query cut short, for one): such a page is
// shown as its text instead, and a failure while drawing or tapping leaves the page as it is.
template <class F>
bool guarded(const char* what, F&& f) {
  try {
    f();
    return true;
  } catch (const std::exception& e) {
    KT_LOG("the page could not be %s: %s", what, e.what());
  } catch (...) {
    KT_LOG("the page could not be %s", what);
  }
  return false;
}

std::shared_ptr<WebPictureLoader>& defaultLoader() {
  // Never destroyed: its loads complete on other threads while the process exits.
  static auto* loader = new std::shared_ptr<WebPictureLoader>;
  return *loader;
}

}  // namespace

// What one page holds: its parsed document with the container that draws it, and the loads of its
// style sheets and pictures.
struct WebView::Page {
  std::unique_ptr<HtmlDocumentContainer> container = std::make_unique<HtmlDocumentContainer>();
  std::shared_ptr<litehtml::document> document;
  std::string html;
  bool shown = false;  // its style sheets are in (or given up): it is laid out and drawn
  bool asText = false;  // litehtml could not take the page: its text is shown instead
  bool needsRender = true;
  int renderedWidth = -1;
  int sheetRounds = 0;
  std::map<uint64_t, std::shared_ptr<net::URLSessionDataTask>> sheetTasks;  // by task identifier
  std::map<uint64_t, WebPictureLoader::Cancel> pictureLoads;                // by number, while out
  uint64_t pictureNumber = 0;

  bool idle() const { return shown && sheetTasks.empty() && pictureLoads.empty(); }
  void stopLoads() {
    for (auto& [id, task] : sheetTasks) task->cancel();
    sheetTasks.clear();
    auto loads = std::move(pictureLoads);
    pictureLoads.clear();
    for (auto& [number, cancel] : loads) {
      if (cancel) cancel();
    }
  }
  ~Page() {
    stopLoads();
    // The document hands its fonts back to the container.
    document.reset();
  }
};

// Draws the part of the page it covers; it lies in the scroll view over the visible part.
class WebView::PageView : public View {
 public:
  explicit PageView(core::WeakPtr<WebView> owner) : m_owner(std::move(owner)) {}
  bool drawsContent() const override { return true; }
  void drawRect(gfx::Context& context, const gfx::Rect& rect) override {
    if (WebView* owner = m_owner.get()) owner->drawPage(context, rect);
  }

 private:
  core::WeakPtr<WebView> m_owner;
};

// Takes the events of main-document loads on the session's delegate queue and hands their
// results to the web view on the main queue. A reply with a video type is stopped at its headers:
// the clip is played from its address instead.
class WebView::LoadRouter : public net::URLSessionDelegate {
 public:
  struct Load {
    std::weak_ptr<WebView> view;
    uint64_t generation = 0;
    std::string data;
    std::shared_ptr<const net::HTTPURLResponse> response;
    bool video = false;
  };

  void add(uint64_t taskIdentifier, std::shared_ptr<Load> load) {
    std::lock_guard lock(m_mutex);
    m_loads[taskIdentifier] = std::move(load);
  }

  void didReceiveResponse(const std::shared_ptr<net::URLSession>&, const std::shared_ptr<net::URLSessionDataTask>& task,
                          const std::shared_ptr<const net::HTTPURLResponse>& response,
                          net::ResponseHandler handler) override {
    std::shared_ptr<Load> load = find(task->taskIdentifier());
    if (load && response) {
      load->response = response;
      if (isVideoType(response->MIMEType())) {
        load->video = true;
        core::Queue::main()->async([view = load->view, generation = load->generation, url = response->url()] {
          if (auto self = view.lock()) self->videoReplied(generation, url);
        });
        return handler(net::ResponseDisposition::Cancel);
      }
    }
    handler(net::ResponseDisposition::Allow);
  }

  void didReceiveData(const std::shared_ptr<net::URLSession>&, const std::shared_ptr<net::URLSessionDataTask>& task,
                      const std::string& data) override {
    if (std::shared_ptr<Load> load = find(task->taskIdentifier())) load->data += data;
  }

  void didCompleteWithError(const std::shared_ptr<net::URLSession>&, const std::shared_ptr<net::URLSessionTask>& task,
                            const std::optional<core::Error>& error) override {
    std::shared_ptr<Load> load;
    {
      std::lock_guard lock(m_mutex);
      auto it = m_loads.find(task->taskIdentifier());
      if (it == m_loads.end()) return;
      load = std::move(it->second);
      m_loads.erase(it);
    }
    if (load->video) return;
    core::Queue::main()->async([load, error] {
      if (auto self = load->view.lock()) {
        self->mainLoadResponded(load->generation, std::move(load->data), load->response, error);
      }
    });
  }

 private:
  std::shared_ptr<Load> find(uint64_t taskIdentifier) {
    std::lock_guard lock(m_mutex);
    auto it = m_loads.find(taskIdentifier);
    return it == m_loads.end() ? nullptr : it->second;
  }

  std::mutex m_mutex;
  std::map<uint64_t, std::shared_ptr<Load>> m_loads;
};

WebView::WebView(const gfx::Rect& frame) : View(frame) {
  setBackgroundColor(gfx::Color::whiteColor());
  m_scrollView = std::make_shared<ScrollView>(gfx::Rect(gfx::Point{0, 0}, frame.size));
  m_scrollView->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
  m_scrollView->setAlwaysBounceVertical(true);
  addSubview(m_scrollView);
  m_pageView = std::make_shared<PageView>(m_weakFactory.weakPtr());
  m_pageView->setBackgroundColor(std::nullopt);
  m_pageView->setOpaque(false);
  m_pageView->setHidden(true);
  m_pageView->addGestureRecognizer(std::make_shared<TapGestureRecognizer>([weak = m_weakFactory.weakPtr()](GestureRecognizer& r) {
    if (WebView* self = weak.get()) self->pageTapped(r);
  }));
  m_scrollView->addSubview(m_pageView);
  m_scrollView->addContentOffsetObserver(core::WeakToken(m_weakFactory.weakPtr()),
                                         [this](gfx::Point, gfx::Point) { updatePageView(false); });
}

WebView::~WebView() {
  if (m_task) m_task->cancel();
  m_page.reset();
  if (m_videoView) m_videoView->setDelegate(nullptr);
  if (m_session) m_session->invalidateAndCancel();
}

// ---- Sessions and pictures ----

std::shared_ptr<net::URLSession> WebView::session() {
  if (!m_session) {
    m_router = std::make_shared<LoadRouter>();
    m_session = net::URLSession::create(net::URLSessionConfiguration::defaultSessionConfiguration(), m_router);
  }
  return m_session;
}

void WebView::setDefaultPictureLoader(std::shared_ptr<WebPictureLoader> loader) { defaultLoader() = std::move(loader); }

std::shared_ptr<WebPictureLoader> WebView::defaultPictureLoader() { return defaultLoader(); }

std::shared_ptr<WebPictureLoader> WebView::pictureLoader() {
  if (m_pictureLoader) return m_pictureLoader;
  if (auto loader = defaultLoader()) return loader;
  if (!m_sessionPictureLoader) m_sessionPictureLoader = std::make_shared<SessionPictureLoader>(session());
  return m_sessionPictureLoader;
}

// Clips are recognised by the extension of their address before anything is asked: clip hosts
// often label them with a generic type (application/octet-stream), and the address is all the
// player needs. Other addresses are loaded, and a reply whose type is video/* is played instead
// of shown.
bool WebView::isVideoAddress(const net::URL& url) {
  std::string path = lower(url.percentEncodedPath());
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return false;
  std::string_view extension = std::string_view(path).substr(dot + 1);
  for (const char* e : {"mp4", "m4v", "mov", "webm", "mkv", "3gp"}) {
    if (extension == e) return true;
  }
  return false;
}

bool WebView::isVideoType(const std::optional<std::string>& MIMEType) {
  return bareMIMEType(MIMEType).rfind("video/", 0) == 0;
}

// ---- Navigation ----

bool WebView::mayStart(const net::URLRequest& request, WebViewNavigationType type) {
  return !m_delegate || m_delegate->shouldStartLoadWithRequest(*this, request, type);
}

void WebView::loadRequest(const net::URLRequest& request) {
  Entry entry;
  entry.request = request;
  navigate(entry, WebViewNavigationType::Other, std::nullopt);
}

void WebView::loadData(const std::string& data, const std::optional<std::string>& MIMEType,
                       const std::optional<std::string>& textEncodingName, const std::optional<net::URL>& baseURL) {
  Entry entry;
  entry.isData = true;
  entry.data = data;
  entry.MIMEType = MIMEType;
  entry.textEncodingName = textEncodingName;
  entry.baseURL = baseURL;
  navigate(entry, WebViewNavigationType::Other, std::nullopt);
}

void WebView::loadHTMLString(const std::string& html, const std::optional<net::URL>& baseURL) {
  loadData(html, std::string("text/html"), std::string("utf-8"), baseURL);
}

void WebView::goBack() {
  if (canGoBack()) navigate(m_history[size_t(m_historyIndex - 1)], WebViewNavigationType::BackForward, m_historyIndex - 1);
}

void WebView::goForward() {
  if (canGoForward()) navigate(m_history[size_t(m_historyIndex + 1)], WebViewNavigationType::BackForward, m_historyIndex + 1);
}

void WebView::navigate(const Entry& original, WebViewNavigationType type, std::optional<int> historyIndex) {
  // The entry may live in the history, which a delegate call can change.
  const Entry entry = original;
  net::URLRequest request = entry.isData ? net::URLRequest(entry.baseURL ? entry.baseURL : net::URL::fromString("about:blank"))
                                         : entry.request.value_or(net::URLRequest());
  if (!mayStart(request, type)) return;
  // The delegate may have changed the history meanwhile.
  if (historyIndex && *historyIndex >= static_cast<int>(m_history.size())) historyIndex.reset();
  uint64_t generation = beginLoad();
  m_request = request;
  m_pendingEntry = entry;
  m_pendingHistoryIndex = historyIndex;
  if (entry.isData) {
    commit();
    setContent(entry.data, entry.MIMEType, entry.textEncodingName, entry.baseURL);
    m_contentArrived = true;
    checkFinished();
    return;
  }
  if (request.url() && isVideoAddress(*request.url())) {
    commit();
    showVideo(*request.url());
    return;
  }
  startMainLoad(request, generation);
}

void WebView::commit() {
  if (!m_pendingEntry) return;
  if (m_pendingHistoryIndex) {
    m_historyIndex = *m_pendingHistoryIndex;
  } else {
    m_history.resize(size_t(m_historyIndex + 1));
    m_history.push_back(std::move(*m_pendingEntry));
    if (m_history.size() > MaxHistory) m_history.erase(m_history.begin());
    m_historyIndex = int(m_history.size()) - 1;
  }
  m_pendingEntry.reset();
  m_pendingHistoryIndex.reset();
}

void WebView::startMainLoad(const net::URLRequest& request, uint64_t generation) {
  std::shared_ptr<net::URLSession> s = request.url() ? session() : nullptr;
  m_task = s ? s->dataTaskWithRequest(request) : nullptr;
  if (!m_task) {
    std::string url = request.url() ? request.url()->absoluteString() : std::string();
    core::Queue::main()->async([weak = weakSelf(), generation, url] {
      if (auto self = weak.lock()) {
        self->mainLoadResponded(generation, std::nullopt, nullptr, net::URLError::make(net::URLError::UnsupportedURL, url));
      }
    });
    return;
  }
  auto load = std::make_shared<LoadRouter::Load>();
  load->view = weakSelf();
  load->generation = generation;
  m_router->add(m_task->taskIdentifier(), load);
  m_task->resume();
}

void WebView::mainLoadResponded(uint64_t generation, const std::optional<std::string>& data,
                                const std::shared_ptr<const net::HTTPURLResponse>& response,
                                const std::optional<core::Error>& error) {
  if (generation != m_generation || !m_loading) return;
  m_task.reset();
  if (error || !response) {
    finishLoad(generation, error ? *error : net::URLError::make(net::URLError::BadServerResponse));
    return;
  }
  commit();
  setContent(data.value_or(""), response->MIMEType(), response->textEncodingName(), response->url());
  m_contentArrived = true;
  checkFinished();
}

void WebView::videoReplied(uint64_t generation, const net::URL& url) {
  if (generation != m_generation || !m_loading) return;
  m_task.reset();
  commit();
  showVideo(url);
}

void WebView::stopLoading() {
  cancelCurrentLoad();
  if (m_page) {
    m_page->stopLoads();
    // A page still waiting for its style sheets shows without them.
    if (!m_page->shown && m_page->document) {
      m_page->shown = true;
      m_page->needsRender = true;
      setNeedsLayout();
    }
  }
}

void WebView::cancelCurrentLoad() {
  ++m_generation;
  m_pendingEntry.reset();
  m_pendingHistoryIndex.reset();
  if (m_task) {
    m_task->cancel();
    m_task.reset();
  }
  if (!m_loading) return;
  m_loading = false;
  if (!m_startAnnounced) return;
  core::Queue::main()->async([weak = weakSelf()] {
    auto self = weak.lock();
    if (self && self->m_delegate) self->m_delegate->didFailLoadWithError(*self, net::URLError::make(net::URLError::Cancelled));
  });
}

uint64_t WebView::beginLoad() {
  cancelCurrentLoad();
  uint64_t generation = ++m_generation;
  m_loading = true;
  m_startAnnounced = false;
  m_contentArrived = false;
  core::Queue::main()->async([weak = weakSelf(), generation] {
    auto self = weak.lock();
    if (!self || generation != self->m_generation || !self->m_loading) return;
    self->m_startAnnounced = true;
    if (self->m_delegate) self->m_delegate->webViewDidStartLoad(*self);
  });
  return generation;
}

void WebView::checkFinished() {
  core::Queue::main()->async([weak = weakSelf(), generation = m_generation] {
    auto self = weak.lock();
    if (!self || generation != self->m_generation || !self->m_loading || !self->m_contentArrived) return;
    // A clip reports when it is ready (or fails).
    if (self->m_videoView && self->m_videoGeneration == generation) return;
    if (self->m_page && !self->m_page->idle()) return;
    self->finishLoad(generation, std::nullopt);
  });
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

// ---- Content ----

void WebView::setContent(const std::string& data, const std::optional<std::string>& MIMEType,
                         const std::optional<std::string>& textEncodingName, const std::optional<net::URL>& baseURL) {
  m_data = data;
  m_MIMEType = MIMEType;
  m_textEncodingName = textEncodingName;
  m_baseURL = baseURL;

  std::string type = bareMIMEType(MIMEType);
  std::string text;
  std::string html;
  if (type == "text/html" || type == "application/xhtml+xml") {
    html = decodeText(data, textEncodingName);
    text = textFromHTML(html);
  } else if (type.rfind("text/", 0) == 0) {
    text = decodeText(data, textEncodingName);
    html = textPage(text);
  } else if (type.empty() && std::memchr(data.data(), 0, data.size()) == nullptr) {
    // Unlabelled: HTML when it opens with a tag, text otherwise.
    text = decodeText(data, textEncodingName);
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first != std::string::npos && text[first] == '<') {
      html = text;
      text = textFromHTML(text);
    } else {
      html = textPage(text);
    }
  }
  m_text = text;
  removeVideo();
  showPage(text.empty() && html.find('<') == std::string::npos ? std::string() : html, baseURL);
  m_scrollView->setContentOffset(gfx::Point{0, -m_scrollView->contentInset().top});
}

void WebView::showPage(const std::string& html, const std::optional<net::URL>& baseURL) {
  m_page.reset();
  ++m_pageNumber;
  m_band = gfx::Rect();
  m_scrollView->setContentSize(gfx::Size{bounds().width(), 0});
  if (html.empty()) {
    updatePageView(true);
    return;
  }
  m_page = std::make_unique<Page>();
  m_page->html = html;
  m_page->container->setPageURL(baseURL);
  HtmlDocumentContainer::Callbacks callbacks;
  callbacks.pictureNeeded = [weak = m_weakFactory.weakPtr(), number = m_pageNumber](const net::URL& url) {
    WebView* self = weak.get();
    if (self && number == self->m_pageNumber && self->m_page) self->loadPicture(url);
  };
  callbacks.anchorClicked = [weak = m_weakFactory.weakPtr()](const std::string& href) {
    if (WebView* self = weak.get()) self->m_clickedLink = href;
  };
  m_page->container->setCallbacks(std::move(callbacks));
  parsePage();
}

void WebView::parsePage() {
  Page& page = *m_page;
  page.document.reset();
  page.container->setViewport(bounds().size);
  if (!page.asText && nestingDepth(page.html) > MaxNestingDepth) {
    KT_LOG("the page nests its elements too deeply to be laid out; its text is shown");
    showPageAsText();
    return;
  }
  if (!guarded("parsed", [&] { page.document = page.container->createDocument(page.html); })) {
    showPageAsText();
    return;
  }
  std::vector<net::URL> missing = page.container->takeMissingStyleSheets();
  if (!missing.empty() && page.sheetRounds < MaxStyleSheetRounds) {
    ++page.sheetRounds;
    for (const net::URL& url : missing) fetchStyleSheet(url);
    // Sheets that could not even be asked for are left out.
    if (!page.sheetTasks.empty()) return;
  }
  page.shown = true;
  page.needsRender = true;
  setNeedsLayout();
}

void WebView::showPageAsText() {
  Page& page = *m_page;
  page.stopLoads();
  page.document.reset();
  page.shown = true;
  page.needsRender = true;
  if (page.asText) return;
  page.asText = true;
  page.html = textPage(m_text);
  if (!guarded("parsed", [&] { page.document = page.container->createDocument(page.html); })) page.document.reset();
  setNeedsLayout();
}

void WebView::fetchStyleSheet(const net::URL& url) {
  // The sheet arrives on the session's queue and is read there, then handed to the main queue.
  auto deliver = [weak = weakSelf(), number = m_pageNumber, url](uint64_t taskIdentifier, std::string text) {
    core::Queue::main()->async([weak, number, url, taskIdentifier, text = std::move(text)]() mutable {
      auto self = weak.lock();
      if (!self || number != self->m_pageNumber || !self->m_page) return;
      Page& page = *self->m_page;
      // A stopped load is no longer counted.
      if (page.sheetTasks.erase(taskIdentifier) == 0) return;
      page.container->setStyleSheet(url, std::move(text));
      if (page.sheetTasks.empty()) self->parsePage();
      self->checkFinished();
    });
  };
  auto identifier = std::make_shared<uint64_t>(0);
  auto task = session()->dataTaskWithURL(
      url, [deliver, identifier](std::optional<std::string> data, std::shared_ptr<const net::HTTPURLResponse> response,
                                 std::optional<core::Error> error) {
        // A sheet that cannot be had counts as empty: the page shows without it.
        bool usable = !error && response && response->statusCode() < 400 && data;
        deliver(*identifier, usable ? decodeText(*data, response->textEncodingName()) : std::string());
      });
  if (!task) return;
  *identifier = task->taskIdentifier();
  m_page->sheetTasks[task->taskIdentifier()] = task;
  task->resume();
}

void WebView::loadPicture(const net::URL& url) {
  Page& page = *m_page;
  const uint64_t load = ++page.pictureNumber;
  page.pictureLoads[load] = nullptr;
  auto completion = [weak = m_weakFactory.weakPtr(), number = m_pageNumber, load, url](
                        std::shared_ptr<const gfx::Image> image, std::optional<core::Error>) {
    WebView* self = weak.get();
    if (!self || number != self->m_pageNumber || !self->m_page) return;
    Page& page = *self->m_page;
    // A stopped load is no longer counted.
    if (page.pictureLoads.erase(load) == 0) return;
    page.container->setPicture(url, std::move(image));
    page.needsRender = true;
    self->setNeedsLayout();
    self->checkFinished();
  };
  WebPictureLoader::Cancel cancel = pictureLoader()->loadPicture(url, std::move(completion));
  // The loader may have answered at once.
  if (auto it = page.pictureLoads.find(load); it != page.pictureLoads.end()) it->second = std::move(cancel);
}

// ---- Layout and drawing ----

void WebView::layoutSubviews() {
  if (m_videoView) m_videoView->setFrame(bounds());
  if (m_page && m_page->shown && m_page->document && bounds().width() >= 1 &&
      (m_page->needsRender || m_page->renderedWidth != int(bounds().width()))) {
    renderPage();
  } else {
    updatePageView(false);
  }
}

void WebView::renderPage() {
  Page& page = *m_page;
  int width = int(bounds().width());
  page.container->setViewport(bounds().size);
  bool rendered = guarded("laid out", [&] {
    if (page.renderedWidth != width) page.document->media_changed();
    page.document->render(width);
  });
  if (!rendered) {
    showPageAsText();
    if (page.document && !guarded("laid out", [&] { page.document->render(width); })) page.document.reset();
    if (!page.document) {
      m_scrollView->setContentSize(gfx::Size{bounds().width(), 0});
      updatePageView(true);
      return;
    }
  }
  page.renderedWidth = width;
  page.needsRender = false;
  m_scrollView->setContentSize(gfx::Size{bounds().width(), double(std::max(0, page.document->height()))});
  updatePageView(true);
}

void WebView::updatePageView(bool force) {
  bool shown = m_page && m_page->shown && m_page->document;
  m_pageView->setHidden(!shown);
  if (!shown) return;
  // A page shorter than the view still covers it: the page's background fills the view.
  gfx::Rect visible = m_scrollView->bounds();
  gfx::Size content = m_scrollView->contentSize();
  content.height = std::max(content.height, visible.height());
  double visibleTop = std::clamp(visible.y(), 0.0, content.height);
  double visibleBottom = std::clamp(visible.y() + visible.height(), 0.0, content.height);
  bool covers = m_band.width() == content.width && m_band.y() <= visibleTop &&
                m_band.y() + m_band.height() >= visibleBottom;
  if (covers && !force) return;
  double top = std::max(0.0, visibleTop - BandMargin);
  double bottom = std::min(content.height, visibleBottom + BandMargin);
  m_band = gfx::Rect(0, top, content.width, std::max(0.0, bottom - top));
  m_pageView->setFrame(m_band);
  m_pageView->setNeedsDisplay();
}

void WebView::drawPage(gfx::Context& context, const gfx::Rect& rect) {
  if (!m_page || !m_page->shown || !m_page->document) return;
  // An opaque web view (the default) lays its pages on white paper, whatever its own background;
  // one that is not opaque lets its background show where the page has none.
  if (isOpaque()) {
    context.setFillColor(gfx::Color::whiteColor());
    context.fillRect(rect);
  }
  gfx::Rect clip(rect.x() + m_band.x(), rect.y() + m_band.y(), rect.width(), rect.height());
  guarded("drawn", [&] {
    m_page->container->draw(*m_page->document, context, gfx::Point{-m_band.x(), -m_band.y()}, clip);
  });
}

// ---- Links ----

void WebView::pageTapped(GestureRecognizer& recognizer) {
  if (!m_page || !m_page->shown || !m_page->document) return;
  // The document may go while it handles the tap (a delegate call); both stay alive until it is done.
  auto self = shared();
  std::shared_ptr<litehtml::document> document = m_page->document;
  gfx::Point p = recognizer.locationInView(m_pageView.get());
  gfx::Point client = recognizer.locationInView(this);
  int x = int(std::lround(p.x + m_band.x())), y = int(std::lround(p.y + m_band.y()));
  int cx = int(std::lround(client.x)), cy = int(std::lround(client.y));
  m_clickedLink.reset();
  litehtml::position::vector redraw;
  guarded("tapped", [&] {
    document->on_mouse_over(x, y, cx, cy, redraw);
    document->on_lbutton_down(x, y, cx, cy, redraw);
    document->on_lbutton_up(x, y, cx, cy, redraw);
    document->on_mouse_leave(redraw);
  });
  if (std::optional<std::string> href = std::exchange(m_clickedLink, std::nullopt)) activateLink(*href);
}

void WebView::activateLink(const std::string& href) {
  std::optional<net::URL> base = m_page ? m_page->container->baseURL() : m_baseURL;
  std::optional<net::URL> url = HtmlDocumentContainer::resolveAddress(href, base);
  if (!url || !isWebScheme(*url)) return;
  // A link to a place on this page scrolls there; nothing is loaded.
  auto withoutFragment = [](const net::URL& u) {
    const std::string& text = u.absoluteString();
    return text.substr(0, text.find('#'));
  };
  if (url->fragment() && m_baseURL && withoutFragment(*url) == withoutFragment(*m_baseURL)) {
    if (mayStart(net::URLRequest(url), WebViewNavigationType::LinkClicked)) scrollToFragment(*url->fragment());
    return;
  }
  Entry entry;
  entry.request = net::URLRequest(url);
  navigate(entry, WebViewNavigationType::LinkClicked, std::nullopt);
}

void WebView::scrollToFragment(const std::string& fragment) {
  if (!m_page || !m_page->document) return;
  const std::string name = net::percentDecode(fragment).value_or(fragment);
  double y = 0;
  // The element whose id (or, for an anchor, name) is the fragment; the top for "" and "top".
  if (!name.empty() && name != "top") {
    std::vector<litehtml::element::ptr> pending{m_page->document->root()};
    litehtml::element::ptr target;
    while (!pending.empty() && !target) {
      litehtml::element::ptr e = pending.back();
      pending.pop_back();
      if (!e) continue;
      const char* id = e->get_attr("id");
      const char* anchor = e->get_attr("name");
      if ((id && name == id) || (anchor && name == anchor)) target = e;
      for (size_t i = e->get_children_count(); i-- > 0;) pending.push_back(e->get_child(int(i)));
    }
    if (!target) return;
    y = target->get_placement().y;
  }
  gfx::Point lowest = m_scrollView->minimumContentOffset(), highest = m_scrollView->maximumContentOffset();
  m_scrollView->setContentOffset(gfx::Point{lowest.x, std::clamp(y, lowest.y, std::max(lowest.y, highest.y))});
}

// ---- Video ----

void WebView::showVideo(const net::URL& url) {
  m_page.reset();
  ++m_pageNumber;
  m_text.clear();
  m_data.clear();
  m_MIMEType.reset();
  m_textEncodingName.reset();
  m_baseURL = url;
  m_scrollView->setContentSize(gfx::Size{bounds().width(), 0});
  updatePageView(true);
  removeVideo();
  m_contentArrived = true;
  m_videoGeneration = m_generation;
  m_videoView = VideoView::create(bounds());
  m_videoView->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
  m_videoView->setDelegate(this);
  addSubview(m_videoView);
  m_videoView->loadURL(url.absoluteString());
}

void WebView::removeVideo() {
  if (!m_videoView) return;
  m_videoView->setDelegate(nullptr);
  m_videoView->removeFromSuperview();
  m_videoView.reset();
}

void WebView::videoViewDidBecomeReady(VideoView& view) {
  if (&view == m_videoView.get() && m_videoGeneration == m_generation) finishLoad(m_generation, std::nullopt);
}

void WebView::videoViewDidFail(VideoView& view, const core::Error& error) {
  if (&view == m_videoView.get() && m_videoGeneration == m_generation) finishLoad(m_generation, error);
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

size_t WebView::nestingDepth(std::string_view html) {
  size_t depth = 0, deepest = 0;
  size_t i = 0;
  while ((i = html.find('<', i)) != std::string_view::npos) {
    if (html.substr(i, 4) == "<!--") {
      size_t end = html.find("-->", i + 4);
      i = end == std::string_view::npos ? html.size() : end + 3;
      continue;
    }
    const bool closing = i + 1 < html.size() && html[i + 1] == '/';
    size_t start = i + (closing ? 2 : 1);
    if (start >= html.size() || !std::isalpha(static_cast<unsigned char>(html[start]))) {
      ++i;
      continue;
    }
    size_t nameEnd = start;
    while (nameEnd < html.size() && std::isalnum(static_cast<unsigned char>(html[nameEnd]))) ++nameEnd;
    const std::string name = lower(html.substr(start, nameEnd - start));
    i = skipTag(html, nameEnd);
    const bool selfClosing = i >= 2 && html[i - 1] == '>' && html[i - 2] == '/';
    if (!closing && isOneOf(name, {"script", "style", "textarea", "title", "xmp", "noscript", "template"})) {
      // Their contents hold no elements: on to the closing tag.
      size_t close = findClosingTag(html, i, name);
      i = close == std::string_view::npos ? html.size() : close;
      continue;
    }
    if (isOneOf(name, {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "param", "source",
                       "track", "wbr", "p", "li", "dt", "dd", "tr", "td", "th", "option", "optgroup", "thead", "tbody",
                       "tfoot", "colgroup", "rb", "rt", "rp"})) {
      continue;
    }
    if (closing) {
      if (depth > 0) --depth;
    } else if (!selfClosing) {
      deepest = std::max(deepest, ++depth);
    }
  }
  return deepest;
}

}  // namespace ui
