#include "songs/WGHTTPRequest.h"

#include "http/HCHTTPRequestSerializer.h"
#include "http/HCHTTPResponseSerializer.h"
#include "http/HCHTTPSessionManager.h"
#include "http/HCJSONResponseSerializer.h"
#include "http/HCMultipartFormData.h"
#include "platform/core/Json.h"
#include "platform/core/Log.h"
#include "platform/gfx/Image.h"
#include "platform/net/URL.h"
#include "songs/CloudApi.h"
#include "songs/CloudHosts.h"

#include <utility>

namespace kt {

namespace {

using Manager = std::shared_ptr<HCHTTPSessionManager>;

// A manager for the base text; an empty or unparsable base gives a manager without a base, so
// the path alone must then be a whole address.
Manager makeManager(const std::string& baseURL) {
  std::optional<net::URL> base;
  if (!baseURL.empty()) base = net::URL::fromString(baseURL);
  return HCHTTPSessionManager::create(base);
}

// The body bytes of a plain serializer's response object ("" when the body was absent).
std::string bodyOf(const HCResponseObject& object) {
  if (const core::Value* value = std::get_if<core::Value>(&object)) {
    if (const std::string* bytes = value->asData()) return *bytes;
    if (const std::string* text = value->asString()) return *text;
  }
  return {};
}

core::Value paramsCopy(const core::Value& params) {
  return params.isDictionary() ? params : core::Value(core::Value::Dictionary{});
}

std::string describeDecoded(const std::optional<core::Value>& decoded) { return core::describe(decoded); }

// The session is finished once its one task has ended: no new tasks, the running one completes,
// then the session and its thread go away and release the manager.
void releaseWhenDone(const Manager& manager) { manager->finishTasksAndInvalidate(); }

// The shared part of get() and getXML(). `name` is the operation's name for the log lines.
void sendGet(const char* name, const std::string& path, const core::Value& params, const std::string& baseURL,
             std::optional<double> timeout, WGHTTPRequest::Finish finish) {
  Manager manager = makeManager(baseURL);
  if (timeout) manager->requestSerializer()->setTimeoutInterval(*timeout);
  manager->setResponseSerializer(std::make_shared<HCHTTPResponseSerializer>());
  core::Value parameters = paramsCopy(params);

  core::logFormat("%s [Line %d]请求的网址：%s\n参数：%s", name, __LINE__, (baseURL + path).c_str(),
                  parameters.description().c_str());
  if (parameters.size() >= 2) {
    core::logFormat("%s [Line %d]全拼地址====%s%s?%s", name, __LINE__, baseURL.c_str(), path.c_str(),
                    WGHTTPRequest::joinedForLog(parameters).c_str());
  }

  auto shared = std::make_shared<WGHTTPRequest::Finish>(std::move(finish));
  std::string logName = name;
  manager->GET(
      path, parameters,
      [shared, path, logName](const HCHTTPSessionManager::Task&, const HCResponseObject& responseObject) {
        std::string raw = bodyOf(responseObject);
        // Objects and arrays only: a bare number or text at the top level is no reply.
        std::optional<core::Value> decoded = core::Json::parse(raw);
        core::logFormat("%s [Line %d]接口:%s\n请求道的结果为:%s", logName.c_str(), __LINE__, path.c_str(),
                        describeDecoded(decoded).c_str());
        if (*shared) (*shared)(raw, decoded, std::nullopt);
      },
      [shared, logName](const HCHTTPSessionManager::Task&, const core::Error& error) {
        core::logFormat("%s [Line %d]error:%s", logName.c_str(), __LINE__, error.description().c_str());
        if (*shared) (*shared)(std::nullopt, std::nullopt, error);
      });
  releaseWhenDone(manager);
}

void logProgress(const Manager& manager) {
  manager->setTaskDidSendBodyDataBlock(
      [](const HCURLSessionManager::Session&, const HCURLSessionManager::PlatformTask& task, int64_t,
         int64_t totalSent, int64_t totalExpected) {
        double fraction = totalExpected > 0 ? static_cast<double>(totalSent) / static_cast<double>(totalExpected) : 0;
        core::logFormat("task %p progree is %f", static_cast<const void*>(task.get()), fraction);
      });
}

}  // namespace

std::string WGHTTPRequest::joinedForLog(const core::Value& params) {
  std::string out;
  const core::Value::Dictionary* dictionary = params.asDictionary();
  if (!dictionary) return out;
  bool first = true;
  for (const auto& [key, value] : *dictionary) {
    if (!first) out += "&";
    out += key + "=" + value.description();
    first = false;
  }
  return out;
}

void WGHTTPRequest::getXML(const std::string& path, const core::Value& params, const std::string& baseURL,
                           Finish finish) {
  sendGet(__func__, path, params, baseURL, std::nullopt, std::move(finish));
}

void WGHTTPRequest::get(const std::string& path, const core::Value& params, const std::string& baseURL,
                        Finish finish) {
  sendGet(__func__, path, params, baseURL, kTimeoutSeconds, std::move(finish));
}

void WGHTTPRequest::get(const CloudRequest& request, Finish finish) {
  get(request.path, request.params, request.base, std::move(finish));
}

void WGHTTPRequest::post(const std::string& path, const core::Value& params, Finish finish) {
  std::string base = CloudHosts::interfaceBase();
  Manager manager = makeManager(base);
  manager->setResponseSerializer(std::make_shared<HCHTTPResponseSerializer>());
  core::Value parameters = paramsCopy(params);
  core::logFormat("请求的网址：%s\n参数：%s", (base + path).c_str(), parameters.description().c_str());

  auto shared = std::make_shared<Finish>(std::move(finish));
  manager->POST(
      path, parameters,
      [shared, path](const HCHTTPSessionManager::Task&, const HCResponseObject& responseObject) {
        std::string raw = bodyOf(responseObject);
        std::optional<core::Value> decoded = core::Json::parse(raw);
        KT_LOG("接口:%s\n请求道的结果为:%s", path.c_str(), describeDecoded(decoded).c_str());
        if (*shared) (*shared)(raw, decoded, std::nullopt);
      },
      [shared](const HCHTTPSessionManager::Task&, const core::Error& error) {
        KT_LOG("error:%s", error.description().c_str());
        if (*shared) (*shared)(std::nullopt, std::nullopt, error);
      });
  releaseWhenDone(manager);
}

void WGHTTPRequest::uploadPicturePOST(const std::string& path, const core::Value& params,
                                      const std::shared_ptr<gfx::Image>& picture, const std::string& key,
                                      UploadFinish finish) {
  std::string address = CloudHosts::interfaceBase() + path;
  Manager manager = makeManager(address);
  manager->setResponseSerializer(std::make_shared<HCHTTPResponseSerializer>());
  core::Value parameters = paramsCopy(params);
  core::logFormat("请求的网址：%s\n参数：%s", address.c_str(), parameters.description().c_str());

  std::optional<std::string> jpeg = picture ? picture->jpegData(0.5) : std::nullopt;
  auto shared = std::make_shared<UploadFinish>(std::move(finish));
  manager->POST(
      "", parameters,
      [jpeg, key](HCMultipartFormData& form) {
        if (jpeg) form.appendPartWithFileData(*jpeg, key, "image.png", "image/png");
      },
      [shared](const HCHTTPSessionManager::Task&, const HCResponseObject& responseObject) {
        core::logFormat("上传图片成功了");
        std::optional<core::Value> reply;
        if (const core::Value* value = std::get_if<core::Value>(&responseObject)) reply = *value;
        if (*shared) (*shared)(reply, std::nullopt);
      },
      [shared](const HCHTTPSessionManager::Task&, const core::Error& error) {
        core::logFormat("上传图片失败了");
        if (*shared) (*shared)(std::nullopt, error);
      });
  logProgress(manager);
  releaseWhenDone(manager);
}

void WGHTTPRequest::uploadPicturesPOST(const std::string& path, const core::Value& params,
                                       const std::vector<std::shared_ptr<gfx::Image>>& pictures,
                                       const std::string& key, UploadFinish finish) {
  std::string address = CloudHosts::interfaceBase() + path;
  Manager manager = makeManager(address);
  auto json = HCJSONResponseSerializer::serializer();
  std::set<std::string> types = json->acceptableContentTypes().value_or(std::set<std::string>{});
  types.insert("text/html");
  json->setAcceptableContentTypes(std::move(types));
  manager->setResponseSerializer(json);
  core::Value parameters = paramsCopy(params);
  core::logFormat("请求的网址：%s\n参数：%s", address.c_str(), parameters.description().c_str());

  std::vector<std::string> jpegs;
  for (const auto& picture : pictures) {
    std::optional<std::string> jpeg = picture ? picture->jpegData(0.5) : std::nullopt;
    jpegs.push_back(jpeg.value_or(""));
  }
  auto shared = std::make_shared<UploadFinish>(std::move(finish));
  manager->POST(
      "", parameters,
      [jpegs, key](HCMultipartFormData& form) {
        for (size_t i = 0; i < jpegs.size(); ++i) {
          std::string name = "fileName-" + std::to_string(i) + ".png";
          form.appendPartWithFileData(jpegs[i], key, name, "image/png");
        }
      },
      [shared](const HCHTTPSessionManager::Task&, const HCResponseObject& responseObject) {
        std::optional<core::Value> reply;
        if (const core::Value* value = std::get_if<core::Value>(&responseObject)) reply = *value;
        if (*shared) (*shared)(reply, std::nullopt);
      },
      [shared](const HCHTTPSessionManager::Task&, const core::Error& error) {
        if (*shared) (*shared)(std::nullopt, error);
      });
  logProgress(manager);
  releaseWhenDone(manager);
}

}  // namespace kt
