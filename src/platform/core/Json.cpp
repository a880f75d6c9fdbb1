#include "platform/core/Json.h"

#include "platform/core/TextEncoding.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <vector>

namespace core {
namespace {

constexpr size_t kMaxDepth = 512;

// Builds values straight from the parser's events, without an intermediate document.
class ValueBuilder {
 public:
  using json = nlohmann::json;
  using number_integer_t = json::number_integer_t;
  using number_unsigned_t = json::number_unsigned_t;
  using number_float_t = json::number_float_t;
  using string_t = json::string_t;
  using binary_t = json::binary_t;

  bool null() { return add(Value()); }
  bool boolean(bool b) { return add(Value(b)); }
  bool number_integer(number_integer_t n) { return add(Value(static_cast<int64_t>(n))); }
  bool number_unsigned(number_unsigned_t n) { return add(Value(n)); }  // above INT64_MAX: a real
  bool number_float(number_float_t d, const string_t&) { return add(Value(d)); }
  bool string(string_t& s) { return add(Value(std::move(s))); }
  bool binary(binary_t&) { return fail("binary values are not JSON"); }
  bool start_object(std::size_t) { return open(true); }
  bool key(string_t& k) {
    m_stack.back().key = std::move(k);
    return true;
  }
  bool end_object() { return close(); }
  bool start_array(std::size_t) { return open(false); }
  bool end_array() { return close(); }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& e) {
    // "[json.exception.parse_error.101] parse error at line 1, column 3: ..." without the tag.
    std::string message = e.what();
    if (auto p = message.find("] "); message.rfind("[json.exception", 0) == 0 && p != std::string::npos) {
      message.erase(0, p + 2);
    }
    // The echo of the last bytes read may hold the invalid UTF-8 that stopped the parser.
    if (auto p = message.find("; last read: "); p != std::string::npos && !isValidUtf8(message)) message.erase(p);
    return fail(message);
  }

  std::optional<Value> take() { return m_failed ? std::nullopt : std::move(m_result); }
  const std::string& message() const { return m_message; }

 private:
  struct Frame {
    bool object = false;
    Value::Array array;
    Value::Dictionary dict;
    std::string key;
  };

  bool fail(std::string message) {
    if (!m_failed) m_message = std::move(message);
    m_failed = true;
    return false;
  }

  bool add(Value v) {
    if (m_stack.empty()) {
      m_result = std::move(v);
      return true;
    }
    Frame& f = m_stack.back();
    if (f.object) {
      f.dict.insert_or_assign(std::move(f.key), std::move(v));
      f.key.clear();
    } else {
      f.array.push_back(std::move(v));
    }
    return true;
  }

  bool open(bool object) {
    if (m_stack.size() >= kMaxDepth) return fail("nesting too deep");
    m_stack.emplace_back();
    m_stack.back().object = object;
    return true;
  }

  bool close() {
    Frame f = std::move(m_stack.back());
    m_stack.pop_back();
    return f.object ? add(Value(std::move(f.dict))) : add(Value(std::move(f.array)));
  }

  std::vector<Frame> m_stack;
  std::optional<Value> m_result;
  bool m_failed = false;
  std::string m_message;
};

Error corrupt(const std::string& message) {
  return Error::withDescription(Error::CoreDomain, Error::ReadCorrupt, "JSON text: " + message);
}

Error invalid(const std::string& message) {
  return Error::withDescription(Error::CoreDomain, Error::WriteInvalid, "JSON text: " + message);
}

class Writer {
 public:
  explicit Writer(bool pretty) : m_pretty(pretty) {}

  bool write(const Value& v, int level) {
    if (level > static_cast<int>(kMaxDepth)) return fail("nesting too deep");
    switch (v.type()) {
      case Value::Type::Null: m_out += "null"; return true;
      case Value::Type::Bool: m_out += *v.asBool() ? "true" : "false"; return true;
      case Value::Type::Integer: m_out += std::to_string(*v.asInteger()); return true;
      case Value::Type::Real: {
        double d = *v.asReal();
        if (!std::isfinite(d)) return fail("a non-finite number has no JSON form");
        // "-0" would read back as the integer 0: a negative zero keeps its fraction, and its sign.
        m_out += d == 0 && std::signbit(d) ? "-0.0" : formatReal(d);
        return true;
      }
      case Value::Type::String: return string(*v.asString());
      case Value::Type::Data: return fail("data has no JSON form");
      case Value::Type::Date: return fail("a date has no JSON form");
      case Value::Type::Array: {
        const auto& a = *v.asArray();
        m_out += '[';
        for (size_t i = 0; i < a.size(); ++i) {
          if (i > 0) m_out += ',';
          newline(level + 1);
          if (!write(a[i], level + 1)) return false;
        }
        if (!a.empty()) newline(level);
        m_out += ']';
        return true;
      }
      case Value::Type::Dictionary: {
        const auto& d = *v.asDictionary();
        m_out += '{';
        bool first = true;
        for (const auto& [key, item] : d) {
          if (!first) m_out += ',';
          first = false;
          newline(level + 1);
          if (!string(key)) return false;
          m_out += m_pretty ? " : " : ":";
          if (!write(item, level + 1)) return false;
        }
        if (!d.empty()) newline(level);
        m_out += '}';
        return true;
      }
    }
    return false;
  }

  std::string& out() { return m_out; }
  const std::string& message() const { return m_message; }

 private:
  bool fail(const char* message) {
    m_message = message;
    return false;
  }

  void newline(int level) {
    if (!m_pretty) return;
    m_out += '\n';
    m_out.append(static_cast<size_t>(level) * 2, ' ');
  }

  bool string(const std::string& s) {
    if (!isValidUtf8(s)) return fail("a string is not valid UTF-8");
    m_out += '"';
    for (char c : s) {
      switch (c) {
        case '"': m_out += "\\\""; break;
        case '\\': m_out += "\\\\"; break;
        case '\n': m_out += "\\n"; break;
        case '\r': m_out += "\\r"; break;
        case '\t': m_out += "\\t"; break;
        case '\b': m_out += "\\b"; break;
        case '\f': m_out += "\\f"; break;
        default:
          if (static_cast<unsigned char>(c) < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
            m_out += buf;
          } else {
            m_out += c;
          }
      }
    }
    m_out += '"';
    return true;
  }

  bool m_pretty = false;
  std::string m_out;
  std::string m_message;
};

}  // namespace

std::optional<Value> Json::parse(std::string_view text, Error* error, bool allowFragments) {
  // Checked before the parser sees the text: it takes a zero byte for the end of the input and
  // would read "{...}\0{...}" as its first half.
  if (size_t zero = text.find('\0'); zero != std::string_view::npos) {
    setError(error, corrupt("a zero byte at offset " + std::to_string(zero)));
    return std::nullopt;
  }
  if (!isValidUtf8(text)) {
    setError(error, corrupt("the text is not valid UTF-8"));
    return std::nullopt;
  }
  ValueBuilder builder;
  nlohmann::json::sax_parse(text.begin(), text.end(), &builder, nlohmann::json::input_format_t::json, true);
  auto result = builder.take();
  if (!result) {
    setError(error, corrupt(builder.message().empty() ? "cannot be read" : builder.message()));
    return std::nullopt;
  }
  if (!allowFragments && !result->isArray() && !result->isDictionary()) {
    setError(error, corrupt("the top level is not an array or an object"));
    return std::nullopt;
  }
  return result;
}

std::optional<std::string> Json::serialize(const Value& value, Error* error, bool pretty, bool allowFragments) {
  if (!allowFragments && !value.isArray() && !value.isDictionary()) {
    setError(error, invalid("the top level must be an array or a dictionary"));
    return std::nullopt;
  }
  Writer w(pretty);
  if (!w.write(value, 0)) {
    setError(error, invalid(w.message()));
    return std::nullopt;
  }
  return std::move(w.out());
}

}  // namespace core
