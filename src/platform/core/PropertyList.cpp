#include "platform/core/PropertyList.h"

#include "platform/core/Paths.h"
#include "platform/core/TextEncoding.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <locale.h>

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace core {
namespace {

constexpr int kMaxDepth = 256;

Error corrupt(const std::string& message) {
  return Error::withDescription(Error::CoreDomain, Error::ReadCorrupt, message);
}

Error invalid(const std::string& message) {
  return Error::withDescription(Error::CoreDomain, Error::WriteInvalid, message);
}

// ---- base64 ----

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string base64Encode(const std::string& in) {
  std::string out;
  out.reserve((in.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < in.size(); i += 3) {
    uint32_t n = (uint8_t(in[i]) << 16) | (uint8_t(in[i + 1]) << 8) | uint8_t(in[i + 2]);
    out += kBase64[(n >> 18) & 63];
    out += kBase64[(n >> 12) & 63];
    out += kBase64[(n >> 6) & 63];
    out += kBase64[n & 63];
  }
  if (i + 1 == in.size()) {
    uint32_t n = uint8_t(in[i]) << 16;
    out += kBase64[(n >> 18) & 63];
    out += kBase64[(n >> 12) & 63];
    out += "==";
  } else if (i + 2 == in.size()) {
    uint32_t n = (uint8_t(in[i]) << 16) | (uint8_t(in[i + 1]) << 8);
    out += kBase64[(n >> 18) & 63];
    out += kBase64[(n >> 12) & 63];
    out += kBase64[(n >> 6) & 63];
    out += '=';
  }
  return out;
}

// Whitespace is ignored; anything else outside the alphabet is an error.
std::optional<std::string> base64Decode(std::string_view in) {
  std::string out;
  uint32_t acc = 0;
  int bits = 0;
  bool padding = false;
  for (char c : in) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
    if (c == '=') {
      padding = true;
      continue;
    }
    const char* p = std::strchr(kBase64, c);
    if (!p || c == '\0' || padding) return std::nullopt;
    acc = (acc << 6) | static_cast<uint32_t>(p - kBase64);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((acc >> bits) & 0xff);
    }
  }
  return out;
}

// ---- XML reading ----

locale_t cLocale() {
  static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return loc;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && std::strchr(" \t\r\n", s.front())) s.remove_prefix(1);
  while (!s.empty() && std::strchr(" \t\r\n", s.back())) s.remove_suffix(1);
  return s;
}

bool isBlank(const xmlChar* text) {
  if (!text) return true;
  for (const xmlChar* p = text; *p; ++p) {
    if (!std::strchr(" \t\r\n", *p)) return false;
  }
  return true;
}

std::string nodeName(const xmlNode* n) { return reinterpret_cast<const char*>(n->name); }

// The text of a leaf element; elements or entity references inside it are errors.
std::optional<std::string> leafText(const xmlNode* element, std::string& error) {
  std::string text;
  for (const xmlNode* c = element->children; c; c = c->next) {
    switch (c->type) {
      case XML_TEXT_NODE:
      case XML_CDATA_SECTION_NODE:
        if (c->content) text += reinterpret_cast<const char*>(c->content);
        break;
      case XML_COMMENT_NODE:
      case XML_PI_NODE: break;
      case XML_ENTITY_REF_NODE: error = "entity references are not allowed"; return std::nullopt;
      default: error = "unexpected element inside <" + nodeName(element) + ">"; return std::nullopt;
    }
  }
  return text;
}

// The element children of a container; non-blank text or entity references are errors.
bool elementChildren(const xmlNode* element, std::vector<const xmlNode*>& out, std::string& error) {
  for (const xmlNode* c = element->children; c; c = c->next) {
    switch (c->type) {
      case XML_ELEMENT_NODE: out.push_back(c); break;
      case XML_TEXT_NODE:
      case XML_CDATA_SECTION_NODE:
        if (!isBlank(c->content)) {
          error = "unexpected text inside <" + nodeName(element) + ">";
          return false;
        }
        break;
      case XML_COMMENT_NODE:
      case XML_PI_NODE: break;
      case XML_ENTITY_REF_NODE: error = "entity references are not allowed"; return false;
      default: error = "unexpected node inside <" + nodeName(element) + ">"; return false;
    }
  }
  return true;
}

std::optional<Value> readElement(const xmlNode* n, std::string& error, int depth) {
  if (depth > kMaxDepth) {
    error = "nesting too deep";
    return std::nullopt;
  }
  const std::string name = nodeName(n);
  if (name == "dict") {
    std::vector<const xmlNode*> kids;
    if (!elementChildren(n, kids, error)) return std::nullopt;
    Value::Dictionary dict;
    for (size_t i = 0; i < kids.size(); i += 2) {
      if (nodeName(kids[i]) != "key") {
        error = "<dict> holds <" + nodeName(kids[i]) + "> where a <key> was expected";
        return std::nullopt;
      }
      auto key = leafText(kids[i], error);
      if (!key) return std::nullopt;
      if (i + 1 >= kids.size()) {
        error = "<dict> key \"" + *key + "\" has no value";
        return std::nullopt;
      }
      if (nodeName(kids[i + 1]) == "key") {
        error = "<dict> key \"" + *key + "\" is followed by another key";
        return std::nullopt;
      }
      auto value = readElement(kids[i + 1], error, depth + 1);
      if (!value) return std::nullopt;
      dict[*key] = std::move(*value);
    }
    return Value(std::move(dict));
  }
  if (name == "array") {
    std::vector<const xmlNode*> kids;
    if (!elementChildren(n, kids, error)) return std::nullopt;
    Value::Array array;
    array.reserve(kids.size());
    for (const xmlNode* k : kids) {
      auto value = readElement(k, error, depth + 1);
      if (!value) return std::nullopt;
      array.push_back(std::move(*value));
    }
    return Value(std::move(array));
  }
  if (name == "true" || name == "false") {
    std::vector<const xmlNode*> kids;
    if (!elementChildren(n, kids, error)) return std::nullopt;
    if (!kids.empty()) {
      error = "<" + name + "> must be empty";
      return std::nullopt;
    }
    return Value(name == "true");
  }
  auto text = leafText(n, error);
  if (!text) return std::nullopt;
  if (name == "string") return Value(std::move(*text));
  if (name == "integer") {
    std::string_view t = trim(*text);
    std::string s(t);
    size_t digitsAt = (!s.empty() && (s[0] == '-' || s[0] == '+')) ? 1 : 0;
    bool ok = s.size() > digitsAt && s.find_first_not_of("0123456789", digitsAt) == std::string::npos;
    errno = 0;
    long long v = ok ? std::strtoll(s.c_str(), nullptr, 10) : 0;
    if (!ok || errno == ERANGE) {
      error = "bad <integer> \"" + s + "\"";
      return std::nullopt;
    }
    return Value(static_cast<int64_t>(v));
  }
  if (name == "real") {
    std::string s(trim(*text));
    std::string lower;
    for (char c : s) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "nan") return Value(std::nan(""));
    if (lower == "inf" || lower == "+inf" || lower == "infinity" || lower == "+infinity") return Value(HUGE_VAL);
    if (lower == "-inf" || lower == "-infinity") return Value(-HUGE_VAL);
    char* end = nullptr;
    double d = s.empty() ? 0 : strtod_l(s.c_str(), &end, cLocale());
    if (s.empty() || end != s.c_str() + s.size()) {
      error = "bad <real> \"" + s + "\"";
      return std::nullopt;
    }
    return Value(d);
  }
  if (name == "date") {
    auto date = Date::parseIso8601(trim(*text));
    if (!date) {
      error = "bad <date> \"" + *text + "\"";
      return std::nullopt;
    }
    return Value(*date);
  }
  if (name == "data") {
    auto bytes = base64Decode(*text);
    if (!bytes) {
      error = "bad base64 in <data>";
      return std::nullopt;
    }
    return Value::data(*bytes);
  }
  error = "unknown element <" + name + ">";
  return std::nullopt;
}

// What the error handler gathers during one parse.
struct ParseErrors {
  xmlParserCtxtPtr parser = nullptr;
  std::string first;
  bool handlerFailed = false;
};

// Collects the first message libxml2 reports instead of letting it print. It is called from C, so
// no exception may leave it: a failure here stops the parser and the parse is refused.
void quietHandler(void* context, xmlErrorPtr e) {
  auto* errors = static_cast<ParseErrors*>(context);
  try {
    if (errors->first.empty() && e && e->message) {
      std::string message = e->message;
      while (!message.empty() && message.back() == '\n') message.pop_back();
      errors->first = "line " + std::to_string(e->line) + ": " + message;
    }
  } catch (...) {
    errors->handlerFailed = true;
    if (errors->parser) xmlStopParser(errors->parser);
  }
}

void silentGeneric(void*, const char*, ...) {}

// ---- XML writing ----

bool appendEscaped(std::string& out, const std::string& text, std::string& error) {
  if (!isValidUtf8(text)) {
    error = "text is not valid UTF-8";
    return false;
  }
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '\r': out += "&#13;"; break;  // a raw CR would be read back as a line feed
      case '\t':
      case '\n': out += c; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          error = "text holds a control character that XML cannot carry";
          return false;
        }
        out += c;
    }
  }
  return true;
}

bool writeValue(const Value& v, std::string& out, int level, std::string& error) {
  if (level > kMaxDepth) {
    error = "nesting too deep";
    return false;
  }
  std::string pad(static_cast<size_t>(level), '\t');
  switch (v.type()) {
    case Value::Type::Null: error = "null has no property list form"; return false;
    case Value::Type::Bool: out += pad + (*v.asBool() ? "<true/>\n" : "<false/>\n"); return true;
    case Value::Type::Integer: out += pad + "<integer>" + std::to_string(*v.asInteger()) + "</integer>\n"; return true;
    case Value::Type::Real: out += pad + "<real>" + formatReal(*v.asReal()) + "</real>\n"; return true;
    case Value::Type::String:
      out += pad + "<string>";
      if (!appendEscaped(out, *v.asString(), error)) return false;
      out += "</string>\n";
      return true;
    case Value::Type::Data: out += pad + "<data>" + base64Encode(*v.asData()) + "</data>\n"; return true;
    case Value::Type::Date: {
      std::optional<std::string> text = v.asDate()->iso8601();
      if (!text) {
        error = "date outside the years 0000-9999";
        return false;
      }
      out += pad + "<date>" + *text + "</date>\n";
      return true;
    }
    case Value::Type::Array: {
      if (v.size() == 0) {
        out += pad + "<array/>\n";
        return true;
      }
      out += pad + "<array>\n";
      for (const Value& item : *v.asArray()) {
        if (!writeValue(item, out, level + 1, error)) return false;
      }
      out += pad + "</array>\n";
      return true;
    }
    case Value::Type::Dictionary: {
      if (v.size() == 0) {
        out += pad + "<dict/>\n";
        return true;
      }
      out += pad + "<dict>\n";
      for (const auto& [key, item] : *v.asDictionary()) {
        out += pad + "\t<key>";
        if (!appendEscaped(out, key, error)) return false;
        out += "</key>\n";
        if (!writeValue(item, out, level + 1, error)) return false;
      }
      out += pad + "</dict>\n";
      return true;
    }
  }
  return false;
}

// ---- string tables ----

std::optional<std::string> utf16ToUtf8(std::string_view bytes, bool bigEndian) {
  if (bytes.size() % 2 != 0) return std::nullopt;
  std::string out;
  out.reserve(bytes.size());
  auto unit = [&](size_t i) -> uint32_t {
    auto a = static_cast<uint8_t>(bytes[i]), b = static_cast<uint8_t>(bytes[i + 1]);
    return bigEndian ? (a << 8) | b : (b << 8) | a;
  };
  for (size_t i = 0; i < bytes.size(); i += 2) {
    uint32_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 2 >= bytes.size()) return std::nullopt;
      uint32_t low = unit(i + 2);
      if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
      u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      return std::nullopt;
    }
    appendUtf8(out, u);
  }
  return out;
}

// Turns the bytes of a string table into UTF-8 text, following a byte-order mark when there is one.
std::optional<std::string> decodeTableText(std::string_view bytes) {
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  else if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFF\xFE") return utf16ToUtf8(bytes.substr(2), false);
  else if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFE\xFF") return utf16ToUtf8(bytes.substr(2), true);
  else if (bytes.size() >= 2 && bytes.size() % 2 == 0 && (bytes[0] == 0) != (bytes[1] == 0)) {
    // UTF-16 without a mark: the zero byte of the first ASCII character tells the order.
    return utf16ToUtf8(bytes, bytes[0] == 0);
  }
  if (!isValidUtf8(bytes)) return std::nullopt;
  return std::string(bytes);
}

class StringsParser {
 public:
  explicit StringsParser(std::string_view text) : m_text(text) {}

  std::optional<Value> run(std::string& error) {
    Value::Dictionary dict;
    skipSpace();
    bool braced = false;
    if (peek() == '{') {
      braced = true;
      ++m_pos;
    }
    while (true) {
      if (!skipSpace()) return fail(error);
      if (atEnd()) {
        if (braced) return fail(error, "missing \"}\"");
        break;
      }
      if (braced && peek() == '}') {
        ++m_pos;
        if (!skipSpace()) return fail(error);
        if (!atEnd()) return fail(error, "text after \"}\"");
        break;
      }
      auto key = token();
      if (!key) return fail(error);
      if (!skipSpace()) return fail(error);
      std::string value = *key;
      if (peek() == '=') {
        ++m_pos;
        if (!skipSpace()) return fail(error);
        auto v = token();
        if (!v) return fail(error);
        value = std::move(*v);
        if (!skipSpace()) return fail(error);
      }
      if (peek() != ';') return fail(error, "expected \";\"");
      ++m_pos;
      dict[*key] = std::move(value);
    }
    return Value(std::move(dict));
  }

 private:
  bool atEnd() const { return m_pos >= m_text.size(); }
  char peek() const { return atEnd() ? '\0' : m_text[m_pos]; }

  std::nullopt_t fail(std::string& error, const std::string& message = {}) {
    if (!message.empty()) m_error = message;
    int line = 1;
    for (size_t i = 0; i < m_pos && i < m_text.size(); ++i) line += m_text[i] == '\n';
    error = "string table line " + std::to_string(line) + ": " + (m_error.empty() ? "syntax error" : m_error);
    return std::nullopt;
  }

  // Skips whitespace and comments; false on an unterminated comment.
  bool skipSpace() {
    while (!atEnd()) {
      char c = m_text[m_pos];
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
        ++m_pos;
      } else if (m_text.substr(m_pos, 2) == "//") {
        size_t end = m_text.find('\n', m_pos);
        m_pos = end == std::string_view::npos ? m_text.size() : end + 1;
      } else if (m_text.substr(m_pos, 2) == "/*") {
        size_t end = m_text.find("*/", m_pos + 2);
        if (end == std::string_view::npos) {
          m_error = "unterminated comment";
          return false;
        }
        m_pos = end + 2;
      } else {
        break;
      }
    }
    return true;
  }

  static bool isWordChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::strchr("_$+/:.-", c) != nullptr;
  }

  std::optional<std::string> token() {
    if (peek() == '"') return quoted();
    size_t start = m_pos;
    while (!atEnd() && m_text[m_pos] != '\0' && isWordChar(m_text[m_pos])) ++m_pos;
    if (m_pos == start) {
      m_error = atEnd() ? "unexpected end of text" : std::string("unexpected \"") + m_text[m_pos] + "\"";
      return std::nullopt;
    }
    return std::string(m_text.substr(start, m_pos - start));
  }

  std::optional<uint32_t> hex4() {
    if (m_pos + 4 > m_text.size()) return std::nullopt;
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
      char c = m_text[m_pos + i];
      int d = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
      if (d < 0) return std::nullopt;
      v = v * 16 + static_cast<uint32_t>(d);
    }
    m_pos += 4;
    return v;
  }

  std::optional<std::string> quoted() {
    ++m_pos;  // opening quote
    std::string out;
    while (true) {
      if (atEnd()) {
        m_error = "unterminated string";
        return std::nullopt;
      }
      char c = m_text[m_pos++];
      if (c == '"') return out;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (atEnd()) {
        m_error = "unterminated string";
        return std::nullopt;
      }
      char e = m_text[m_pos++];
      switch (e) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case 'a': out += '\a'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'v': out += '\v'; break;
        case 'U':
        case 'u': {
          auto u = hex4();
          if (!u) {
            m_error = "bad \\U escape";
            return std::nullopt;
          }
          uint32_t cp = *u;
          if (cp >= 0xD800 && cp <= 0xDBFF) {
            // A surrogate pair written as two escapes.
            size_t save = m_pos;
            std::optional<uint32_t> low;
            if (m_text.substr(m_pos, 2) == "\\U" || m_text.substr(m_pos, 2) == "\\u") {
              m_pos += 2;
              low = hex4();
            }
            if (!low || *low < 0xDC00 || *low > 0xDFFF) {
              m_pos = save;
              m_error = "unpaired surrogate in \\U escape";
              return std::nullopt;
            }
            cp = 0x10000 + ((cp - 0xD800) << 10) + (*low - 0xDC00);
          } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            m_error = "unpaired surrogate in \\U escape";
            return std::nullopt;
          }
          appendUtf8(out, cp);
          break;
        }
        default:
          if (e >= '0' && e <= '7') {
            uint32_t v = static_cast<uint32_t>(e - '0');
            for (int i = 0; i < 2 && !atEnd() && m_text[m_pos] >= '0' && m_text[m_pos] <= '7'; ++i) {
              v = v * 8 + static_cast<uint32_t>(m_text[m_pos++] - '0');
            }
            appendUtf8(out, v);
          } else {
            out += e;  // \" \\ \' and any other character stand for themselves
          }
      }
    }
  }

  std::string_view m_text;
  size_t m_pos = 0;
  std::string m_error;
};

bool readWholeFile(const std::string& path, std::string& bytes, Error* error) {
  if (paths::readFile(path, bytes)) return true;
  bool missing = ::access(path.c_str(), F_OK) != 0;
  Value info;
  info.set(Error::LocalizedDescriptionKey, (missing ? "no such file: " : "cannot read ") + path);
  info.set(Error::FilePathKey, path);
  setError(error, Error(Error::CoreDomain, missing ? Error::FileNoSuchFile : Error::FileReadUnknown, info));
  return false;
}

}  // namespace

std::optional<Value> PropertyList::parse(std::string_view bytes, Error* error) {
  static std::once_flag once;
  std::call_once(once, [] { xmlInitParser(); });

  if (bytes.substr(0, 6) == "bplist") {
    setError(error, corrupt("binary property lists are not supported"));
    return std::nullopt;
  }
  if (bytes.size() > static_cast<size_t>(INT32_MAX)) {
    setError(error, corrupt("property list too large"));
    return std::nullopt;
  }

  // libxml2's error handlers are per thread: route them to us for the length of this parse.
  ParseErrors errors;
  xmlStructuredErrorFunc savedStructured = xmlStructuredError;
  void* savedStructuredContext = xmlStructuredErrorContext;
  xmlGenericErrorFunc savedGeneric = xmlGenericError;
  void* savedGenericContext = xmlGenericErrorContext;
  xmlSetStructuredErrorFunc(&errors, &quietHandler);
  xmlSetGenericErrorFunc(nullptr, &silentGeneric);

  const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOCDATA;
  xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
  errors.parser = ctxt;
  xmlDocPtr doc = ctxt ? xmlCtxtReadMemory(ctxt, bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr, options)
                       : nullptr;

  std::optional<Value> result;
  std::string message;
  if (errors.handlerFailed) {
    message = "the XML error handler failed";
  } else if (!doc) {
    message = errors.first.empty() ? "not a well-formed XML document" : errors.first;
  } else {
    const xmlNode* root = xmlDocGetRootElement(doc);
    if (!root || nodeName(root) != "plist") {
      message = root ? "the root element is <" + nodeName(root) + ">, not <plist>" : "no root element";
    } else {
      std::vector<const xmlNode*> kids;
      if (!elementChildren(root, kids, message)) {
        // message set
      } else if (kids.size() != 1) {
        message = kids.empty() ? "<plist> is empty" : "<plist> holds more than one value";
      } else {
        result = readElement(kids[0], message, 0);
      }
    }
  }
  if (doc) xmlFreeDoc(doc);
  if (ctxt) xmlFreeParserCtxt(ctxt);
  xmlSetStructuredErrorFunc(savedStructuredContext, savedStructured);
  xmlSetGenericErrorFunc(savedGenericContext, savedGeneric);

  if (!result) setError(error, corrupt("property list: " + message));
  return result;
}

std::optional<std::string> PropertyList::serialize(const Value& value, Error* error) {
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n";
  std::string message;
  if (!writeValue(value, out, 0, message)) {
    setError(error, invalid("property list: " + message));
    return std::nullopt;
  }
  out += "</plist>\n";
  return out;
}

std::optional<Value> PropertyList::readFile(const std::string& path, Error* error) {
  std::string bytes;
  if (!readWholeFile(path, bytes, error)) return std::nullopt;
  return parse(bytes, error);
}

bool PropertyList::writeFile(const std::string& path, const Value& value, Error* error) {
  auto text = serialize(value, error);
  if (!text) return false;
  if (!paths::writeFileAtomically(path, *text)) {
    setError(error, Error::withDescription(Error::CoreDomain, Error::FileWriteUnknown, "cannot write " + path));
    return false;
  }
  return true;
}

std::optional<Value> PropertyList::parseStrings(std::string_view bytes, Error* error) {
  auto text = decodeTableText(bytes);
  if (!text) {
    setError(error, corrupt("string table: not valid UTF-8 or UTF-16 text"));
    return std::nullopt;
  }
  std::string message;
  auto result = StringsParser(*text).run(message);
  if (!result) setError(error, corrupt(message));
  return result;
}

std::optional<Value> PropertyList::readStringsFile(const std::string& path, Error* error) {
  std::string bytes;
  if (!readWholeFile(path, bytes, error)) return std::nullopt;
  return parseStrings(bytes, error);
}

}  // namespace core
