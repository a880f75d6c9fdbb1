#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Error.h"
#include "platform/core/WeakPtr.h"
#include "platform/net/URL.h"
#include "platform/net/URLRequest.h"
#include "platform/ui/VideoView.h"
#include "platform/ui/View.h"

namespace net {
class HTTPURLResponse;
class URLSession;
class URLSessionDataTask;
}  // namespace net

namespace ui {

class GestureRecognizer;
class ScrollView;
class WebPictureLoader;
class WebView;

enum class WebViewNavigationType { LinkClicked, FormSubmitted, BackForward, Reload, FormResubmitted, Other };

// Every operation is optional. No caller behaves differently for an operation that is left out:
// an empty default body, and true from shouldStartLoadWithRequest, are what an absent one means.
class WebViewDelegate {
 public:
  virtual ~WebViewDelegate() = default;
  // Asked at once, before anything changes; false leaves the view as it was.
  virtual bool shouldStartLoadWithRequest(WebView&, const net::URLRequest&, WebViewNavigationType) { return true; }
  virtual void webViewDidStartLoad(WebView&) {}
  virtual void webViewDidFinishLoad(WebView&) {}
  virtual void didFailLoadWithError(WebView&, const core::Error&) {}
};

// A small web view. HTML pages are laid out and drawn with litehtml (their CSS from <style>,
// style attributes, <link rel=stylesheet> and @import; their pictures from <img>, CSS
// backgrounds and list-style images) and scroll in scrollView(). A tap on a link loads its
// address when it is http or https (other schemes do nothing), asking the delegate first with
// LinkClicked; a link to a place on the same page scrolls there without a load; goBack and goForward walk the pages shown (BackForward). Text replies show as
// preformatted text; a video reply or address shows a VideoView over the view's area, playing
// on a tap. Scripts, forms and plug-ins are not run; other content shows an empty page.
//
// Loads: loadRequest fetches the URL with the view's own URL session; loadData and
// loadHTMLString show their content at once. Either way the delegate hears webViewDidStartLoad
// and then, on the main queue, webViewDidFinishLoad once the page, its style sheets and its
// pictures are in (a sheet or picture that fails does not fail the page; a clip: once it is
// ready to play), or didFailLoadWithError (the previous page stays). A new load or stopLoading
// ends the running one: its start, when already announced, is followed by didFailLoadWithError
// with the cancelled error (-999); its other calls are dropped. Main thread only.
class WebView : public View, private VideoViewDelegate {
 public:
  static std::shared_ptr<WebView> create(const gfx::Rect& frame = gfx::Rect()) { return std::make_shared<WebView>(frame); }
  explicit WebView(const gfx::Rect& frame = gfx::Rect());
  ~WebView() override;

  // Not owned: the caller keeps the delegate alive while it is set.
  WebViewDelegate* delegate() const { return m_delegate; }
  void setDelegate(WebViewDelegate* delegate) { m_delegate = delegate; }

  void loadRequest(const net::URLRequest& request);
  // The MIME type decides how the data shows (unset: HTML when it starts with "<", text when it
  // is text); the encoding name is an IANA charset name (unset: UTF-8, or ISO Latin 1 for bytes
  // that are not UTF-8).
  void loadData(const std::string& data, const std::optional<std::string>& MIMEType,
                const std::optional<std::string>& textEncodingName, const std::optional<net::URL>& baseURL);
  void loadHTMLString(const std::string& html, const std::optional<net::URL>& baseURL);
  void stopLoading();
  bool isLoading() const { return m_loading; }
  // The request of the last load (for data: one for the base URL), or nothing.
  const std::optional<net::URLRequest>& request() const { return m_request; }

  // The pages shown, in order: a page joins when its content arrives, dropping the pages ahead.
  bool canGoBack() const { return m_historyIndex > 0; }
  bool canGoForward() const { return m_historyIndex + 1 < static_cast<int>(m_history.size()); }
  void goBack();
  void goForward();

  // What is shown now, as it was loaded.
  const std::string& loadedData() const { return m_data; }
  const std::optional<std::string>& MIMEType() const { return m_MIMEType; }
  const std::optional<std::string>& textEncodingName() const { return m_textEncodingName; }
  const std::optional<net::URL>& baseURL() const { return m_baseURL; }
  // The text on the page (empty for an empty page).
  const std::string& text() const { return m_text; }

  const std::shared_ptr<ScrollView>& scrollView() const { return m_scrollView; }
  // The clip shown for a video reply, or null.
  const std::shared_ptr<VideoView>& videoView() const { return m_videoView; }

  // Pictures: this view's loader when set, else the program's default when installed, else one
  // over this view's session.
  static void setDefaultPictureLoader(std::shared_ptr<WebPictureLoader> loader);
  static std::shared_ptr<WebPictureLoader> defaultPictureLoader();
  void setPictureLoader(std::shared_ptr<WebPictureLoader> loader) { m_pictureLoader = std::move(loader); }
  std::shared_ptr<WebPictureLoader> pictureLoader();

  // Reductions used for the page, open for reuse.
  static std::string textFromHTML(std::string_view html);
  static std::string decodeText(std::string_view data, const std::optional<std::string>& textEncodingName);
  // Whether an address names a clip by its file extension, or a content type is a video one.
  static bool isVideoAddress(const net::URL& url);
  static bool isVideoType(const std::optional<std::string>& MIMEType);

  // This view's session, made on first use and ended with the view.
  std::shared_ptr<net::URLSession> session();

  void layoutSubviews() override;

 private:
  class LoadRouter;
  class PageView;
  struct Page;
  // A page of the history: an address, or data shown as it was given.
  struct Entry {
    std::optional<net::URLRequest> request;
    bool isData = false;
    std::string data;
    std::optional<std::string> MIMEType;
    std::optional<std::string> textEncodingName;
    std::optional<net::URL> baseURL;
  };

  void navigate(const Entry& entry, WebViewNavigationType type, std::optional<int> historyIndex);
  // The entry of a load joins the history (or, for a step back or forward, becomes its current one).
  void commit();
  void startMainLoad(const net::URLRequest& request, uint64_t generation);
  void mainLoadResponded(uint64_t generation, const std::optional<std::string>& data,
                         const std::shared_ptr<const net::HTTPURLResponse>& response,
                         const std::optional<core::Error>& error);
  // The reply to the main request is a clip.
  void videoReplied(uint64_t generation, const net::URL& url);
  void setContent(const std::string& data, const std::optional<std::string>& MIMEType,
                  const std::optional<std::string>& textEncodingName, const std::optional<net::URL>& baseURL);
  void showPage(const std::string& html, const std::optional<net::URL>& baseURL);
  void parsePage();
  // Shows the page's text in place of a page litehtml cannot take.
  void showPageAsText();
  void fetchStyleSheet(const net::URL& url);
  void loadPicture(const net::URL& url);
  void renderPage();
  // Places the page view over the visible part of the page (and a margin), redrawing when it moves.
  void updatePageView(bool force);
  void drawPage(gfx::Context& context, const gfx::Rect& rect);
  void pageTapped(GestureRecognizer& recognizer);
  void activateLink(const std::string& href);
  void scrollToFragment(const std::string& fragment);
  void showVideo(const net::URL& url);
  void removeVideo();
  // Finishes the running load when its page and everything on it are in (checked on the main queue).
  void checkFinished();
  bool mayStart(const net::URLRequest& request, WebViewNavigationType type);
  // Ends the running load (see above) and starts a new one; returns its number.
  uint64_t beginLoad();
  void finishLoad(uint64_t generation, const std::optional<core::Error>& error);
  void cancelCurrentLoad();
  std::weak_ptr<WebView> weakSelf() { return std::static_pointer_cast<WebView>(shared()); }

  // VideoViewDelegate
  void videoViewDidBecomeReady(VideoView&) override;
  void videoViewDidFail(VideoView&, const core::Error&) override;

  WebViewDelegate* m_delegate = nullptr;
  std::shared_ptr<ScrollView> m_scrollView;
  std::shared_ptr<PageView> m_pageView;
  std::shared_ptr<VideoView> m_videoView;
  std::unique_ptr<Page> m_page;
  uint64_t m_pageNumber = 0;
  gfx::Rect m_band;  // the part of the page the page view covers
  std::optional<net::URLRequest> m_request;
  std::string m_data;
  std::optional<std::string> m_MIMEType;
  std::optional<std::string> m_textEncodingName;
  std::optional<net::URL> m_baseURL;
  std::string m_text;
  std::shared_ptr<net::URLSession> m_session;
  std::shared_ptr<LoadRouter> m_router;
  std::shared_ptr<net::URLSessionDataTask> m_task;
  std::shared_ptr<WebPictureLoader> m_pictureLoader;
  std::shared_ptr<WebPictureLoader> m_sessionPictureLoader;
  std::vector<Entry> m_history;
  int m_historyIndex = -1;
  // The running load's entry until its content arrives, and where it goes in the history.
  std::optional<Entry> m_pendingEntry;
  std::optional<int> m_pendingHistoryIndex;
  std::optional<std::string> m_clickedLink;
  uint64_t m_generation = 0;
  uint64_t m_videoGeneration = 0;  // the load that showed the clip
  bool m_loading = false;
  bool m_startAnnounced = false;
  bool m_contentArrived = false;
  core::WeakPtrFactory<WebView> m_weakFactory{this};
};

}  // namespace ui
