#pragma once

#include "platform/core/Error.h"
#include "platform/net/URLRequest.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace net {
class HTTPURLResponse;
}
namespace ui {
class WebView;
}

namespace kt {
class HCHTTPResponseSerializer;
class HCHTTPSessionManager;
class HCProgress;
class HCURLSessionTask;
}

// Loads a page into a web view through a session manager instead of the view's own loading.
// Main thread only.
namespace kt::HTTPClient {

// Given the response and the body (data form) or its text (text form); returns what to show.
using WebViewSuccess =
    std::function<std::string(const std::shared_ptr<const net::HTTPURLResponse>& response, const std::string& body)>;
using WebViewFailure = std::function<void(const core::Error& error)>;

// `sessionManager`: the view's manager; by default one process-wide manager with the default
// session configuration, a plain request serializer and a plain response serializer.
std::shared_ptr<HCHTTPSessionManager> sessionManager(const std::shared_ptr<ui::WebView>& webView);
void setSessionManager(const std::shared_ptr<ui::WebView>& webView, std::shared_ptr<HCHTTPSessionManager> manager);
// `responseSerializer`: by default one process-wide plain serializer. Loading does not use it.
std::shared_ptr<HCHTTPResponseSerializer> responseSerializer(const std::shared_ptr<ui::WebView>& webView);
void setResponseSerializer(const std::shared_ptr<ui::WebView>& webView, std::shared_ptr<HCHTTPResponseSerializer> serializer);
// `hc_URLSessionTask`: the task of the view's last load, or null.
std::shared_ptr<HCURLSessionTask> URLSessionTask(const ui::WebView& webView);

// `loadRequest:MIMEType:textEncodingName:progress:success:failure:`
//
// Cancels the view's running or suspended load, GETs the request's URL with the view's session
// manager (only the URL of the request is used), hands *progress (when given) the manager's
// download progress of the task, and tells the view's delegate webViewDidStartLoad. On success
// the view loads what `success` returns (the body when no callback is given) with the MIME type,
// the encoding name and the task's current URL as base URL, and its delegate hears
// webViewDidFinishLoad; on failure `failure` (when given) gets the error. A view that is gone by
// then is left alone.
void loadRequest(const std::shared_ptr<ui::WebView>& webView, const net::URLRequest& request,
                 const std::optional<std::string>& MIMEType, const std::optional<std::string>& textEncodingName,
                 std::shared_ptr<HCProgress>* progress, WebViewSuccess success, WebViewFailure failure);

// `loadRequest:progress:success:failure:`
//
// The text form: the body is decoded with the charset the response names (UTF-8 when it names
// none or one we do not know), `success` gets the text and returns the text to show, which is
// encoded back with that charset and loaded under its name. Text that charset cannot hold is
// loaded as UTF-8; a body that is not valid in its charset fails with
// net::URLError::CannotDecodeContentData.
void loadRequest(const std::shared_ptr<ui::WebView>& webView, const net::URLRequest& request,
                 std::shared_ptr<HCProgress>* progress, WebViewSuccess success, WebViewFailure failure);

}  // namespace kt::HTTPClient
