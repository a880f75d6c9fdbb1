#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/core/Error.h"
#include "platform/net/URL.h"
#include "platform/net/URLRequest.h"
#include "platform/ui/View.h"

namespace net {
class URLSession;
class URLSessionDataTask;
}  // namespace net

namespace ui {

class Label;
class ScrollView;
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

// A page of text. There is no web engine: the view shows what it loads as plain text in a
// scrollable area. HTML is reduced to its text (tags dropped; the contents of script, style,
// title, noscript and template left out; block tags and <br> as line breaks; runs of white space
// as one space outside <pre>; the entities &amp; &lt; &gt; &quot; &apos; &nbsp; and numeric
// ones decoded). Other text types show as they are; anything else (images, video, other data)
// shows an empty page. It does not run scripts, apply styles, load sub-resources or media,
// follow links, submit forms, or keep a history.
//
// Loads: loadRequest fetches the URL with a process-wide URL session; loadData and
// loadHTMLString show their content at once. Either way the delegate hears
// webViewDidStartLoad and then webViewDidFinishLoad (or didFailLoadWithError) later, on the main
// queue. A new load or stopLoading ends the running one: its start, when already announced, is
// followed by didFailLoadWithError with the cancelled error (-999); its other calls are dropped.
// Main thread only.
class WebView : public View {
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

  // What is shown now, as it was loaded.
  const std::string& loadedData() const { return m_data; }
  const std::optional<std::string>& MIMEType() const { return m_MIMEType; }
  const std::optional<std::string>& textEncodingName() const { return m_textEncodingName; }
  const std::optional<net::URL>& baseURL() const { return m_baseURL; }
  // The text on the page (empty for an empty page).
  const std::string& text() const { return m_text; }

  const std::shared_ptr<ScrollView>& scrollView() const { return m_scrollView; }

  // Reductions used for the page, open for reuse.
  static std::string textFromHTML(std::string_view html);
  static std::string decodeText(std::string_view data, const std::optional<std::string>& textEncodingName);

  // The session loadRequest uses: the default configuration, made on first use.
  static std::shared_ptr<net::URLSession> sharedSession();
  // This view's session: sharedSession() unless set.
  std::shared_ptr<net::URLSession> session() const;
  void setSession(std::shared_ptr<net::URLSession> session) { m_session = std::move(session); }

  void layoutSubviews() override;

 private:
  void setContent(const std::string& data, const std::optional<std::string>& MIMEType,
                  const std::optional<std::string>& textEncodingName, const std::optional<net::URL>& baseURL);
  bool mayStart(const net::URLRequest& request);
  // Ends the running load (see above) and starts a new one; returns its number.
  uint64_t beginLoad();
  void finishLoad(uint64_t generation, const std::optional<core::Error>& error);
  void cancelCurrentLoad();

  WebViewDelegate* m_delegate = nullptr;
  std::shared_ptr<ScrollView> m_scrollView;
  std::shared_ptr<Label> m_label;
  std::optional<net::URLRequest> m_request;
  std::string m_data;
  std::optional<std::string> m_MIMEType;
  std::optional<std::string> m_textEncodingName;
  std::optional<net::URL> m_baseURL;
  std::string m_text;
  std::shared_ptr<net::URLSession> m_session;
  std::shared_ptr<net::URLSessionDataTask> m_task;
  uint64_t m_generation = 0;
  bool m_loading = false;
  bool m_startAnnounced = false;
};

}  // namespace ui
