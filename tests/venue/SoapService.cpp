#include "venue/SoapService.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace venue {

namespace {

const char* const kSoap12 = "http://www.w3.org/2003/05/soap-envelope";
const char* const kSoap11 = "http://schemas.xmlsoap.org/soap/envelope/";
const char* const kSoap12Type = "application/soap+xml; charset=utf-8";
const char* const kSoap11Type = "text/xml; charset=utf-8";
const char* const kHtmlType = "text/html; charset=utf-8";

std::string escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string element(const std::string& name, const std::string& text) {
  return "<" + name + ">" + escape(text) + "</" + name + ">";
}

bool named(xmlNodePtr node, const char* name) {
  return node->type == XML_ELEMENT_NODE && std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

xmlNodePtr firstElement(xmlNodePtr node) {
  for (xmlNodePtr child = node ? node->children : nullptr; child; child = child->next) {
    if (child->type == XML_ELEMENT_NODE) return child;
  }
  return nullptr;
}

std::string textOf(xmlNodePtr node) {
  xmlChar* text = xmlNodeGetContent(node);
  std::string out = text ? reinterpret_cast<const char*>(text) : "";
  xmlFree(text);
  return out;
}

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

// One request as read: its version, operation and parameters (element text by local name).
struct SoapService::Call {
  bool soap12 = true;
  std::string operation;
  std::map<std::string, std::string> params;
  bool readable = false;

  std::optional<std::string> param(const std::string& name) const {
    auto it = params.find(name);
    if (it == params.end()) return std::nullopt;
    return it->second;
  }
  long long number(const std::string& name) const { return std::atoll(param(name).value_or("0").c_str()); }
};

SoapService::SoapService() {
  m_files["1001/a.jpg"] = makeJpeg(8, 8, "soap/1001/a");
  m_files["1001/b.png"] = makePng(8, 8, "soap/1001/b");
  m_files["1002/舞台照.jpg"] = makeJpeg(8, 8, "soap/1002/stage");
  m_files["1002/head.png"] = makePng(8, 8, "soap/1002/head");
}

void SoapService::setMode(Mode mode, int times) {
  std::lock_guard lock(m_mutex);
  m_mode = mode;
  m_modeTimes = times;
}

void SoapService::setFaultMessage(const std::string& message) {
  std::lock_guard lock(m_mutex);
  m_faultMessage = message;
}

void SoapService::requireBasic(const std::optional<std::pair<std::string, std::string>>& credentials) {
  std::lock_guard lock(m_mutex);
  m_credentials = credentials;
}

void SoapService::setCookieOnNextReply(const std::string& cookie) {
  std::lock_guard lock(m_mutex);
  m_cookie = cookie;
}

std::map<std::string, std::string> SoapService::files() const {
  std::lock_guard lock(m_mutex);
  return m_files;
}

void SoapService::setFile(const std::string& name, const std::string& bytes) {
  std::lock_guard lock(m_mutex);
  m_files[name] = bytes;
}

std::string SoapService::base64(const std::string& bytes) {
  std::string out;
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                 static_cast<unsigned char>(bytes[i + 2]);
    out += {kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], kAlphabet[(v >> 6) & 63], kAlphabet[v & 63]};
  }
  if (i + 1 == bytes.size()) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    out += {kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], '=', '='};
  } else if (i + 2 == bytes.size()) {
    unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
    out += {kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], kAlphabet[(v >> 6) & 63], '='};
  }
  return out;
}

std::optional<std::string> SoapService::unbase64(const std::string& text) {
  std::string out;
  unsigned bits = 0;
  int count = 0;
  for (char c : text) {
    if (c == '=' || c == ' ' || c == '\r' || c == '\n' || c == '\t') continue;
    const char* at = std::strchr(kAlphabet, c);
    if (!at || c == '\0') return std::nullopt;
    bits = (bits << 6) | static_cast<unsigned>(at - kAlphabet);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>((bits >> count) & 0xff);
    }
  }
  return out;
}

size_t SoapService::writeAt(const std::string& name, const std::string& bytes, long long position) {
  std::lock_guard lock(m_mutex);
  std::string& file = m_files[name];
  if (position <= 0) file.clear();
  const size_t at = static_cast<size_t>(std::max(0LL, position));
  if (file.size() < at + bytes.size()) file.resize(at + bytes.size(), '\0');
  std::copy(bytes.begin(), bytes.end(), file.begin() + static_cast<std::ptrdiff_t>(at));
  return file.size();
}

HttpReply SoapService::handle(const RecordedRequest& request) {
  Call call;
  const std::string type = request.header("Content-Type").value_or("");
  call.soap12 = ::strncasecmp(type.c_str(), "text/xml", 8) != 0;
  if (xmlDocPtr doc = xmlReadMemory(request.body.data(), static_cast<int>(request.body.size()), nullptr, nullptr,
                                    XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING)) {
    xmlNodePtr root = xmlDocGetRootElement(doc);
    if (root && root->ns && named(root, "Envelope")) {
      call.soap12 = std::strcmp(reinterpret_cast<const char*>(root->ns->href), kSoap11) != 0;
      for (xmlNodePtr part = root->children; part; part = part->next) {
        if (!named(part, "Body")) continue;
        if (xmlNodePtr op = firstElement(part)) {
          call.operation = reinterpret_cast<const char*>(op->name);
          for (xmlNodePtr param = op->children; param; param = param->next) {
            if (param->type != XML_ELEMENT_NODE) continue;
            call.params[reinterpret_cast<const char*>(param->name)] = textOf(param);
          }
          call.readable = true;
        }
      }
    }
    xmlFreeDoc(doc);
  }

  Mode mode;
  std::optional<std::string> cookie;
  std::optional<std::pair<std::string, std::string>> credentials;
  std::string message;
  {
    std::lock_guard lock(m_mutex);
    cookie = std::exchange(m_cookie, std::nullopt);
    credentials = m_credentials;
    message = m_faultMessage;
    mode = m_mode;
  }

  HttpReply out;
  const std::string expected = credentials ? "Basic " + base64(credentials->first + ":" + credentials->second) : "";
  if (credentials && request.header("Authorization") != expected) {
    out = {401, kHtmlType, "<html><body>401 Unauthorized</body></html>",
           {{"WWW-Authenticate", "Basic realm=\"WebService\""}}};
  } else {
    {
      std::lock_guard lock(m_mutex);
      if (m_modeTimes > 0 && --m_modeTimes == 0) m_mode = Mode::Normal;
    }
    switch (mode) {
      case Mode::Soap12Fault: out = fault(true, true, "soap12:Receiver", message); break;
      case Mode::Soap11Fault: out = fault(false, call.soap12, "soap:Server", message); break;
      case Mode::Html: out = {200, kHtmlType, "<html><body><h1>Service Unavailable</h1></body></html>"}; break;
      case Mode::NotFound: out = {404, kHtmlType, "<html><body><h1>404 Not Found</h1></body></html>"}; break;
      case Mode::EmptyBody: out = {200, kSoap12Type, ""}; break;
      default: {
        out = answer(call, mode == Mode::Indented);
        if (mode == Mode::UpperCaseType) out.contentType = "Application/SOAP+XML";
        if (mode == Mode::Malformed) out.body = out.body.substr(0, out.body.size() / 2);
        if (mode == Mode::Chunked) out.chunkSize = 7;
        break;
      }
    }
  }
  if (cookie) out.headers.emplace_back("Set-Cookie", *cookie);
  return out;
}

HttpReply SoapService::answer(const Call& call, bool indented) {
  if (!call.readable) return fault(call.soap12, call.soap12, call.soap12 ? "soap12:Sender" : "soap:Client",
                                   "The request could not be read as a SOAP envelope.");
  const std::string& op = call.operation;
  const std::string fileName = call.param("FileName").value_or("");
  auto needName = [&]() -> std::optional<HttpReply> {
    if (!fileName.empty()) return std::nullopt;
    return fault(call.soap12, call.soap12, call.soap12 ? "soap12:Receiver" : "soap:Server",
                 "FileName must not be empty.");
  };
  auto bytes = [&]() { return unbase64(call.param("Bytes").value_or("")).value_or(""); };
  std::string result;
  if (op == "UploadFileBytes") {
    if (auto f = needName()) return *f;
    writeAt(fileName, bytes(), 0);
    result = element("UploadFileBytesResult", "OK");
  } else if (op == "UploadFileChunkBytes") {
    if (auto f = needName()) return *f;
    result = element("UploadFileChunkBytesResult",
                     std::to_string(writeAt(fileName, bytes(), call.number("Position"))));
  } else if (op == "DownloadFileBytes") {
    std::optional<std::string> file;
    {
      std::lock_guard lock(m_mutex);
      if (auto it = m_files.find(fileName); it != m_files.end()) file = it->second;
    }
    if (file) result = element("DownloadFileBytesResult", base64(*file));
  } else if (op == "DeleteFile") {
    std::lock_guard lock(m_mutex);
    result = element("DeleteFileResult", m_files.erase(fileName) ? "OK" : "NotFound");
  } else if (op == "GetAllFiles") {
    const std::string prefix = call.param("bianHao").value_or("") + "/";
    result = "<GetAllFilesResult>";
    std::lock_guard lock(m_mutex);
    for (const auto& [name, content] : m_files) {
      if (name.rfind(prefix, 0) == 0) result += element("string", name.substr(prefix.size()));
    }
    result += "</GetAllFilesResult>";
  } else if (op == "UpLoadMovieDB" || op == "UpStoreWineImage") {
    if (auto f = needName()) return *f;
    const std::string folder = op == "UpLoadMovieDB" ? "movie/" : "wine/";
    const size_t length = writeAt(folder + fileName, bytes(), call.number("Position"));
    const long long expected = call.number("len");
    const std::string text = expected > 0 && length >= static_cast<size_t>(expected) ? "OK:" + std::to_string(length)
                                                                                   : std::to_string(length);
    result = element(op + "Result", text);
  } else {
    return fault(call.soap12, call.soap12, call.soap12 ? "soap12:Sender" : "soap:Client",
                 "Unknown operation " + std::string(kNamespace) + op + ".");
  }
  return {200, call.soap12 ? kSoap12Type : kSoap11Type, reply(call, result, indented)};
}

std::string SoapService::reply(const Call& call, const std::string& resultXml, bool indented) const {
  const std::string env = call.soap12 ? "soap12" : "soap";
  const std::string nl = indented ? "\n" : "";
  const std::string in = indented ? "  " : "";
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>" + nl + "<" + env +
         ":Envelope xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
         "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" xmlns:" +
         env + "=\"" + (call.soap12 ? kSoap12 : kSoap11) + "\">" + nl + in + "<" + env + ":Body>" + nl + in + in +
         "<" + call.operation + "Response xmlns=\"" + kNamespace + "\">" + nl + in + in + in + resultXml + nl + in +
         in + "</" + call.operation + "Response>" + nl + in + "</" + env + ":Body>" + nl + "</" + env + ":Envelope>";
}

HttpReply SoapService::fault(bool soap12, bool soap12Type, const std::string& code, const std::string& message) const {
  const std::string text = "System.Web.Services.Protocols.SoapException: " + message +
                           "\n   at VenueService.Files.Open(String FileName)\n   at VenueService.WebService.Call()";
  std::string body = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";
  if (soap12) {
    body += std::string("<soap12:Envelope xmlns:soap12=\"") + kSoap12 +
            "\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
            "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\"><soap12:Body><soap12:Fault><soap12:Code>"
            "<soap12:Value>" + escape(code) + "</soap12:Value></soap12:Code><soap12:Reason>"
            "<soap12:Text xml:lang=\"en\">" + escape(text) + "</soap12:Text></soap12:Reason><soap12:Detail />"
            "</soap12:Fault></soap12:Body></soap12:Envelope>";
  } else {
    body += std::string("<soap:Envelope xmlns:soap=\"") + kSoap11 +
            "\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
            "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\"><soap:Body><soap:Fault>" + element("faultcode", code) +
            element("faultstring", text) + "<detail /></soap:Fault></soap:Body></soap:Envelope>";
  }
  return {500, soap12Type ? kSoap12Type : kSoap11Type, body};
}

}  // namespace venue
