#include "http/WebViewHTTPClient.h"

#include "http/HCHTTPRequestSerializer.h"
#include "http/HCHTTPResponseSerializer.h"
#include "http/HCHTTPSessionManager.h"
#include "http/HCStringEncoding.h"
#include "http/HCURLSessionTask.h"
#include "platform/ui/ViewAssociation.h"
#include "platform/core/TextEncoding.h"
#include "platform/net/HTTPURLResponse.h"
#include "platform/net/URLError.h"
#include "platform/ui/WebView.h"

#include <cctype>

namespace kt::HTTPClient {

namespace {

struct WebViewState {
  std::shared_ptr<HCURLSessionTask> task;
  std::shared_ptr<HCHTTPSessionManager> sessionManager;
  std::shared_ptr<HCHTTPResponseSerializer> responseSerializer;
};

ui::ViewAssociation<ui::WebView, WebViewState>& states() {
  // Never destroyed: it holds tasks that session and pool threads use while the process exits.
  static auto* table = new ui::ViewAssociation<ui::WebView, WebViewState>;
  return *table;
}

std::shared_ptr<HCHTTPSessionManager> defaultSessionManager() {
  // Never destroyed: its session's thread and the pool use it while the process exits.
  static const auto* manager = new std::shared_ptr<HCHTTPSessionManager>([] {
    auto m = HCHTTPSessionManager::create(std::nullopt, net::URLSessionConfiguration::defaultSessionConfiguration());
    m->setRequestSerializer(HCHTTPRequestSerializer::serializer());
    m->setResponseSerializer(HCHTTPResponseSerializer::serializer());
    return m;
  }());
  return *manager;
}

std::shared_ptr<HCHTTPResponseSerializer> defaultResponseSerializer() {
  // Never destroyed: replies are read with it on pool threads while the process exits.
  static const auto* serializer = new std::shared_ptr<HCHTTPResponseSerializer>(HCHTTPResponseSerializer::serializer());
  return *serializer;
}

// What a loaded body becomes: the bytes to show and the encoding name to show them with, or an
// error.
struct Shown {
  std::string data;
  std::optional<std::string> textEncodingName;
  std::optional<core::Error> error;
};
using Transform = std::function<Shown(const std::shared_ptr<const net::HTTPURLResponse>&, const std::string&)>;

// The body of a success: the bytes of a data value (what the plain serializer gives) or a text.
std::string bodyOf(const HCResponseObject& object) {
  if (const auto* value = std::get_if<core::Value>(&object)) {
    if (const auto* bytes = value->asData()) return *bytes;
    if (value->isString()) return value->stringValue();
  }
  return {};
}

void load(const std::shared_ptr<ui::WebView>& webView, const net::URLRequest& request,
          const std::optional<std::string>& MIMEType, std::shared_ptr<HCProgress>* progress, Transform transform,
          WebViewFailure failure) {
  if (progress) progress->reset();
  if (!webView) return;
  auto& state = states().valueFor(webView);
  if (state.task) {
    auto taskState = state.task->state();
    if (taskState == net::URLSessionTaskState::Running || taskState == net::URLSessionTaskState::Suspended) {
      state.task->cancel();
    }
    state.task.reset();
  }

  auto manager = sessionManager(webView);
  std::weak_ptr<ui::WebView> weakView = webView;
  auto onFailure = [failure](const HCURLSessionManager::Task&, const core::Error& error) {
    if (failure) failure(error);
  };
  auto onSuccess = [weakView, MIMEType, transform, onFailure](const HCURLSessionManager::Task& task,
                                                              const HCResponseObject& responseObject) {
    auto view = weakView.lock();
    if (!view) return;
    Shown shown = transform(task ? task->response() : nullptr, bodyOf(responseObject));
    if (shown.error) {
      // A body that does not decode ends in the failure callback instead of the page.
      onFailure(task, *shown.error);
      return;
    }
    std::optional<net::URL> baseURL;
    if (task) {
      if (auto current = task->currentRequest()) baseURL = current->url();
    }
    view->loadData(shown.data, MIMEType, shown.textEncodingName, baseURL);
    if (auto* delegate = view->delegate()) delegate->webViewDidFinishLoad(*view);
  };

  std::string URLString = request.url() ? request.url()->absoluteString() : std::string();
  auto task = manager->GET(URLString, core::Value(), nullptr, onSuccess, onFailure);
  state.task = task;
  if (!task) return;
  if (progress) *progress = manager->downloadProgressForTask(task->task());
  task->resume();
  if (auto* delegate = webView->delegate()) delegate->webViewDidStartLoad(*webView);
}

// IANA charset names to the encodings we can decode and encode.
uint64_t encodingForCharset(const std::optional<std::string>& name) {
  if (!name) return HCStringEncodingUTF8;
  std::string n;
  for (char c : *name) n += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (n == "gb18030" || n == "gbk" || n == "gb2312" || n == "x-gbk" || n == "cp936" || n == "euc-cn") {
    return HCStringEncodingGB18030;
  }
  if (n == "iso-8859-1" || n == "latin1" || n == "iso_8859-1" || n == "l1") return HCStringEncodingISOLatin1;
  if (n == "us-ascii" || n == "ascii") return HCStringEncodingASCII;
  return HCStringEncodingUTF8;
}

const char* charsetName(uint64_t encoding) {
  switch (encoding) {
    case HCStringEncodingGB18030: return "gb18030";
    case HCStringEncodingISOLatin1: return "iso-8859-1";
    case HCStringEncodingASCII: return "us-ascii";
    default: return "utf-8";
  }
}

std::optional<std::string> decodeString(const std::string& bytes, uint64_t encoding) {
  switch (encoding) {
    case HCStringEncodingGB18030:
      return core::gb18030ToUtf8(bytes);
    case HCStringEncodingISOLatin1:
      return ui::WebView::decodeText(bytes, std::string("iso-8859-1"));
    case HCStringEncodingASCII:
      for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) return std::nullopt;
      }
      return bytes;
    default:
      if (!core::isValidUtf8(bytes)) return std::nullopt;
      return bytes;
  }
}

}  // namespace

std::shared_ptr<HCHTTPSessionManager> sessionManager(const std::shared_ptr<ui::WebView>& webView) {
  if (!webView) return defaultSessionManager();
  auto& state = states().valueFor(webView);
  if (!state.sessionManager) state.sessionManager = defaultSessionManager();
  return state.sessionManager;
}

void setSessionManager(const std::shared_ptr<ui::WebView>& webView, std::shared_ptr<HCHTTPSessionManager> manager) {
  if (webView) states().valueFor(webView).sessionManager = std::move(manager);
}

std::shared_ptr<HCHTTPResponseSerializer> responseSerializer(const std::shared_ptr<ui::WebView>& webView) {
  if (!webView) return defaultResponseSerializer();
  auto& state = states().valueFor(webView);
  if (!state.responseSerializer) state.responseSerializer = defaultResponseSerializer();
  return state.responseSerializer;
}

void setResponseSerializer(const std::shared_ptr<ui::WebView>& webView,
                           std::shared_ptr<HCHTTPResponseSerializer> serializer) {
  if (webView) states().valueFor(webView).responseSerializer = std::move(serializer);
}

std::shared_ptr<HCURLSessionTask> URLSessionTask(const ui::WebView& webView) {
  auto* state = states().find(&webView);
  return state ? state->task : nullptr;
}

void loadRequest(const std::shared_ptr<ui::WebView>& webView, const net::URLRequest& request,
                 const std::optional<std::string>& MIMEType, const std::optional<std::string>& textEncodingName,
                 std::shared_ptr<HCProgress>* progress, WebViewSuccess success, WebViewFailure failure) {
  Transform transform = [success, textEncodingName](const std::shared_ptr<const net::HTTPURLResponse>& response,
                                                    const std::string& body) {
    return Shown{success ? success(response, body) : body, textEncodingName, std::nullopt};
  };
  load(webView, request, MIMEType, progress, std::move(transform), std::move(failure));
}

void loadRequest(const std::shared_ptr<ui::WebView>& webView, const net::URLRequest& request,
                 std::shared_ptr<HCProgress>* progress, WebViewSuccess success, WebViewFailure failure) {
  Transform transform = [success](const std::shared_ptr<const net::HTTPURLResponse>& response,
                                  const std::string& body) -> Shown {
    uint64_t encoding = encodingForCharset(response ? response->textEncodingName() : std::nullopt);
    auto text = decodeString(body, encoding);
    if (!text) {
      std::string url = response ? response->url().absoluteString() : std::string();
      return Shown{{}, std::nullopt, net::URLError::make(net::URLError::CannotDecodeContentData, url)};
    }
    std::string shown = success ? success(response, *text) : *text;
    if (auto encoded = encodeString(shown, encoding)) return Shown{*encoded, std::string(charsetName(encoding)), std::nullopt};
    return Shown{shown, std::string("utf-8"), std::nullopt};
  };
  load(webView, request, std::nullopt, progress, std::move(transform), std::move(failure));
}

}  // namespace kt::HTTPClient
