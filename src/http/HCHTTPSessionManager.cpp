#include "http/HCHTTPSessionManager.h"

#include <cstdio>

#include "http/HCHTTPRequestSerializer.h"
#include "http/HCHTTPResponseSerializer.h"
#include "http/HCJSONResponseSerializer.h"
#include "http/HCKeyedCoding.h"
#include "http/HCSecurityPolicy.h"
#include "platform/core/OperationQueue.h"
#include "platform/net/URLError.h"

namespace kt {

std::shared_ptr<HCHTTPSessionManager> HCHTTPSessionManager::create(
    const std::optional<net::URL>& baseURL, const std::optional<net::URLSessionConfiguration>& configuration) {
  std::shared_ptr<HCHTTPSessionManager> manager(new HCHTTPSessionManager());
  manager->initWithBaseURL(baseURL, configuration);
  return manager;
}

void HCHTTPSessionManager::initWithBaseURL(const std::optional<net::URL>& baseURL,
                                           const std::optional<net::URLSessionConfiguration>& configuration) {
  initWithSessionConfiguration(configuration);
  std::optional<net::URL> url = baseURL;
  // A base with a path always ends in "/", so that relative paths extend it instead of
  // replacing its last segment.
  if (url && !url->path().empty() && !url->absoluteString().ends_with("/")) url = url->URLByAppendingPathComponent("");
  m_baseURL = std::move(url);
  m_requestSerializer = HCHTTPRequestSerializer::serializer();
  HCURLSessionManager::setResponseSerializer(HCJSONResponseSerializer::serializer());
}

std::string HCHTTPSessionManager::description() const {
  std::string base = m_baseURL ? m_baseURL->absoluteString() : "(null)";
  std::string text(base.size() + 256, '\0');
  int n = std::snprintf(
      text.data(), text.size(),
      "<%s: %p, baseURL: %s, session: <URLSession: %p>, operationQueue: <OperationQueue: %p>{name = '%s'}>",
      className(), static_cast<const void*>(this), base.c_str(), static_cast<const void*>(session().get()),
      static_cast<const void*>(operationQueue().get()), operationQueue() ? operationQueue()->name().c_str() : "");
  text.resize(n > 0 ? std::min<size_t>(static_cast<size_t>(n), text.size() - 1) : 0);
  return text;
}

std::shared_ptr<HCURLSessionManager> HCHTTPSessionManager::copyManager() const {
  auto manager = create(m_baseURL, sessionConfiguration());
  manager->setRequestSerializer(requestSerializer()->copy());
  auto response = responseSerializer();
  if (auto* http = dynamic_cast<HCHTTPResponseSerializer*>(response.get())) {
    manager->setResponseSerializer(http->copy());
  } else {
    manager->setResponseSerializer(response);
  }
  if (auto policy = securityPolicy()) manager->setSecurityPolicy(policy->copy());
  return manager;
}

core::Value HCHTTPSessionManager::encodeWithCoder() const {
  core::Value coder = HCURLSessionManager::encodeWithCoder();
  if (m_baseURL) coder.set("baseURL", m_baseURL->absoluteString());
  coder.set("requestSerializer", requestSerializer()->encodeWithCoder());
  if (auto* http = dynamic_cast<const HCHTTPResponseSerializer*>(responseSerializer().get())) {
    coder.set("responseSerializer", http->encodeWithCoder());
  }
  if (auto policy = securityPolicy()) coder.set("securityPolicy", policy->encodeWithCoder());
  return coder;
}

std::shared_ptr<HCHTTPSessionManager> HCHTTPSessionManager::initWithCoder(const core::Value& coder) {
  if (!coder.isDictionary()) return nullptr;
  if (auto name = archivedClassName(coder); name && *name != "HCHTTPSessionManager") return nullptr;
  std::optional<net::URL> baseURL;
  if (const std::string* text = coder["baseURL"].asString()) baseURL = net::URL::fromString(*text);
  std::optional<net::URLSessionConfiguration> configuration = decodeSessionConfiguration(coder["sessionConfiguration"]);
  if (!configuration) {
    if (const std::string* identifier = coder["identifier"].asString()) {
      configuration = net::URLSessionConfiguration::backgroundSessionConfiguration(*identifier);
    }
  }
  auto manager = create(baseURL, configuration);
  if (auto serializer = HCHTTPRequestSerializer::initWithCoder(coder["requestSerializer"])) {
    manager->setRequestSerializer(std::move(serializer));
  }
  if (auto serializer = HCHTTPResponseSerializer::initWithCoder(coder["responseSerializer"])) {
    manager->setResponseSerializer(std::move(serializer));
  }
  if (coder["securityPolicy"].isDictionary()) {
    manager->setSecurityPolicy(HCSecurityPolicy::initWithCoder(coder["securityPolicy"]));
  }
  return manager;
}

std::shared_ptr<HCHTTPRequestSerializer> HCHTTPSessionManager::requestSerializer() const {
  std::lock_guard<std::mutex> lock(m_serializerMutex);
  return m_requestSerializer;
}

void HCHTTPSessionManager::setRequestSerializer(std::shared_ptr<HCHTTPRequestSerializer> serializer) {
  if (!serializer) return;  // every request needs one
  std::lock_guard<std::mutex> lock(m_serializerMutex);
  m_requestSerializer = std::move(serializer);
}

void HCHTTPSessionManager::setResponseSerializer(std::shared_ptr<HCURLResponseSerialization> serializer) {
  HCURLSessionManager::setResponseSerializer(std::move(serializer));
}

std::optional<std::string> HCHTTPSessionManager::resolvedURLString(const std::string& URLString) const {
  std::optional<net::URL> url =
      m_baseURL ? net::URL::fromString(URLString, *m_baseURL) : net::URL::fromString(URLString);
  if (!url || url->isEmpty()) return std::nullopt;
  return url->absoluteString();
}

void HCHTTPSessionManager::failLater(Failure failure, core::Error error) const {
  if (!failure) return;
  auto queue = completionQueue();
  if (!queue) queue = core::Queue::main();
  queue->async([failure = std::move(failure), error = std::move(error)] { failure(nullptr, error); });
}

HCURLSessionManager::CompletionHandler HCHTTPSessionManager::completionFor(std::function<Task()> task, Success success,
                                                                           Failure failure) {
  return [task = std::move(task), success = std::move(success), failure = std::move(failure)](
             std::shared_ptr<const net::HTTPURLResponse>, const HCResponseObject& object,
             const std::optional<core::Error>& error) {
    if (error) {
      if (failure) failure(task(), *error);
    } else if (success) {
      success(task(), object);
    }
  };
}

HCURLSessionManager::Task HCHTTPSessionManager::dataTaskWithHTTPMethod(
    const std::string& method, const std::string& URLString, const core::Value& parameters,
    ProgressBlock uploadProgress, ProgressBlock downloadProgress, Success success, Failure failure) {
  auto url = resolvedURLString(URLString);
  if (!url) {
    // Text that is no URL never reaches the network.
    failLater(std::move(failure), net::URLError::make(net::URLError::BadURL, URLString));
    return nullptr;
  }
  core::Error error;
  std::optional<net::URLRequest> request = requestSerializer()->requestWithMethod(method, *url, parameters, &error);
  if (!request || !request->url()) {
    if (!request && error.domain().empty()) error = net::URLError::make(net::URLError::BadURL, URLString);
    if (request) error = net::URLError::make(net::URLError::BadURL, URLString);
    failLater(std::move(failure), error);
    return nullptr;
  }
  // The completion learns its task once it exists; the task delegate drops both at the end.
  auto holder = std::make_shared<Task>();
  auto task = dataTaskWithRequest(*request, std::move(uploadProgress), std::move(downloadProgress),
                                  completionFor([holder] { return *holder; }, std::move(success), failure));
  if (!task) {
    failLater(std::move(failure), net::URLError::make(net::URLError::Cancelled, *url));
    return nullptr;
  }
  *holder = task;
  return task;
}

HCURLSessionManager::Task HCHTTPSessionManager::GET(const std::string& URLString, const core::Value& parameters,
                                                    Success success, Failure failure) {
  return GET(URLString, parameters, nullptr, std::move(success), std::move(failure));
}

HCURLSessionManager::Task HCHTTPSessionManager::GET(const std::string& URLString, const core::Value& parameters,
                                                    ProgressBlock downloadProgress, Success success, Failure failure) {
  return resumedDataTask("GET", URLString, parameters, nullptr, std::move(downloadProgress), std::move(success),
                         std::move(failure));
}

HCURLSessionManager::Task HCHTTPSessionManager::HEAD(const std::string& URLString, const core::Value& parameters,
                                                     HeadSuccess success, Failure failure) {
  Success onSuccess;
  if (success) onSuccess = [success = std::move(success)](const Task& task, const HCResponseObject&) { success(task); };
  return resumedDataTask("HEAD", URLString, parameters, nullptr, nullptr, std::move(onSuccess), std::move(failure));
}

HCURLSessionManager::Task HCHTTPSessionManager::POST(const std::string& URLString, const core::Value& parameters,
                                                     Success success, Failure failure) {
  return POST(URLString, parameters, ProgressBlock(), std::move(success), std::move(failure));
}

HCURLSessionManager::Task HCHTTPSessionManager::POST(const std::string& URLString, const core::Value& parameters,
                                                     ProgressBlock uploadProgress, Success success, Failure failure) {
  return resumedDataTask("POST", URLString, parameters, std::move(uploadProgress), nullptr, std::move(success),
                         std::move(failure));
}

HCURLSessionManager::Task HCHTTPSessionManager::POST(const std::string& URLString, const core::Value& parameters,
                                                     ConstructingBody block, Success success, Failure failure) {
  return POST(URLString, parameters, std::move(block), nullptr, std::move(success), std::move(failure));
}

HCURLSessionManager::Task HCHTTPSessionManager::POST(const std::string& URLString, const core::Value& parameters,
                                                     ConstructingBody block, ProgressBlock uploadProgress,
                                                     Success success, Failure failure) {
  auto url = resolvedURLString(URLString);
  if (!url) {
    failLater(std::move(failure), net::URLError::make(net::URLError::BadURL, URLString));
    return nullptr;
  }
  core::Error error;
  std::function<void(HCMultipartFormData&)> constructing = block ? block : [](HCMultipartFormData&) {};
  auto request = requestSerializer()->multipartFormRequestWithMethod("POST", *url, parameters, constructing, &error);
  if (!request || !request->url()) {
    failLater(std::move(failure),
              request || error.domain().empty() ? net::URLError::make(net::URLError::BadURL, URLString) : error);
    return nullptr;
  }
  auto holder = std::make_shared<Task>();
  auto task = uploadTaskWithStreamedRequest(*request, std::move(uploadProgress),
                                            completionFor([holder] { return *holder; }, std::move(success), failure));
  if (!task) {
    failLater(std::move(failure), net::URLError::make(net::URLError::Cancelled, *url));
    return nullptr;
  }
  *holder = task;
  task->resume();
  return task;
}

HCURLSessionManager::Task HCHTTPSessionManager::resumedDataTask(const std::string& method, const std::string& URLString,
                                                                const core::Value& parameters,
                                                                ProgressBlock uploadProgress,
                                                                ProgressBlock downloadProgress, Success success,
                                                                Failure failure) {
  auto task = dataTaskWithHTTPMethod(method, URLString, parameters, std::move(uploadProgress),
                                     std::move(downloadProgress), std::move(success), std::move(failure));
  if (task) task->resume();
  return task;
}

HCURLSessionManager::Task HCHTTPSessionManager::PUT(const std::string& URLString, const core::Value& parameters,
                                                    Success success, Failure failure) {
  return resumedDataTask("PUT", URLString, parameters, nullptr, nullptr, std::move(success), std::move(failure));
}

HCURLSessionManager::Task HCHTTPSessionManager::PATCH(const std::string& URLString, const core::Value& parameters,
                                                      Success success, Failure failure) {
  return resumedDataTask("PATCH", URLString, parameters, nullptr, nullptr, std::move(success), std::move(failure));
}

HCURLSessionManager::Task HCHTTPSessionManager::DELETE(const std::string& URLString, const core::Value& parameters,
                                                       Success success, Failure failure) {
  return resumedDataTask("DELETE", URLString, parameters, nullptr, nullptr, std::move(success), std::move(failure));
}

}  // namespace kt
