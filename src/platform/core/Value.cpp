#include "platform/core/Value.h"

#include <locale.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace core {
namespace {

constexpr const char* kIndent = "    ";

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Real texts are read in the C locale whatever the program's locale is.
locale_t cLocale() {
  static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return loc;
}

// Inside collections a string is quoted unless it is made only of letters, digits and "_".
std::string quoteIfNeeded(const std::string& text) {
  bool plain = !text.empty();
  for (char c : text) {
    bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    if (!word) {
      plain = false;
      break;
    }
  }
  if (plain) return text;
  std::string out = "\"";
  for (char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  out += '"';
  return out;
}

void indent(std::string& out, int level) {
  for (int i = 0; i < level; ++i) out += kIndent;
}

void describeInto(const Value& v, std::string& out, int level, bool inCollection) {
  if (const auto* a = v.asArray()) {
    out += "(\n";
    for (size_t i = 0; i < a->size(); ++i) {
      indent(out, level + 1);
      describeInto((*a)[i], out, level + 1, true);
      out += i + 1 < a->size() ? ",\n" : "\n";
    }
    indent(out, level);
    out += ')';
    return;
  }
  if (const auto* d = v.asDictionary()) {
    out += "{\n";
    for (const auto& [key, value] : *d) {
      indent(out, level + 1);
      out += quoteIfNeeded(key);
      out += " = ";
      describeInto(value, out, level + 1, true);
      out += ";\n";
    }
    indent(out, level);
    out += '}';
    return;
  }
  // Texts (strings, and the "<null>" and date forms, which contain spaces and signs) are quoted
  // inside collections; numbers and data are not.
  bool quotable = v.isString() || v.isNull() || v.isDate();
  std::string text = v.description();
  out += (inCollection && quotable) ? quoteIfNeeded(text) : text;
}

}  // namespace

// ---- Number rules ----

int64_t parseInt64(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && isSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // Accumulate as a negative number so that INT64_MIN fits.
  int64_t value = 0;
  bool saturated = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (saturated) continue;
    int digit = text[i] - '0';
    if (value < (std::numeric_limits<int64_t>::min() + digit) / 10) {
      saturated = true;
      continue;
    }
    value = value * 10 - digit;
  }
  if (saturated) return negative ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
  if (negative) return value;
  return value == std::numeric_limits<int64_t>::min() ? std::numeric_limits<int64_t>::max() : -value;
}

int32_t parseInt(std::string_view text) {
  int64_t v = parseInt64(text);
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}

double parseDouble(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && isSpace(text[i])) ++i;
  std::string number;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    if (text[i] == '-') number += '-';
    ++i;
  }
  auto digits = [&] {
    size_t n = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      number += text[i++];
      ++n;
    }
    return n;
  };
  size_t mantissa = digits();
  if (i < text.size() && text[i] == '.') {
    ++i;
    number += '.';
    mantissa += digits();
  }
  if (mantissa == 0) return 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    if (j < text.size() && text[j] >= '0' && text[j] <= '9') {
      number += 'e';
      number.append(text.substr(i + 1, j - i - 1));
      i = j;
      digits();
    }
  }
  // The text is now a plain decimal number; overflow gives infinity, underflow zero.
  return strtod_l(number.c_str(), nullptr, cLocale());
}

bool parseBool(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && isSpace(text[i])) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  while (i < text.size() && text[i] == '0') ++i;
  if (i >= text.size()) return false;
  char c = text[i];
  return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

std::string formatReal(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  char buf[64];
  for (int precision = 15; precision <= 17; ++precision) {
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, precision);
    std::string text(buf, r.ptr);
    if (precision == 17 || strtod_l(text.c_str(), nullptr, cLocale()) == value) return text;
  }
  return {};
}

// ---- Value ----

Value Value::data(std::string_view bytes) {
  Value v;
  v.m_v = std::make_shared<const Bytes>(Bytes{std::string(bytes)});
  return v;
}

Value Value::data(const std::vector<uint8_t>& bytes) {
  return data(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

const Value& Value::null() {
  // Never destroyed: values are read on every thread while the process exits.
  static const Value* kNull = new Value;
  return *kNull;
}

std::optional<bool> Value::asBool() const {
  if (const bool* b = std::get_if<bool>(&m_v)) return *b;
  return std::nullopt;
}

std::optional<int64_t> Value::asInteger() const {
  if (const int64_t* n = std::get_if<int64_t>(&m_v)) return *n;
  return std::nullopt;
}

std::optional<double> Value::asReal() const {
  if (const double* d = std::get_if<double>(&m_v)) return *d;
  return std::nullopt;
}

const std::string* Value::asData() const {
  if (const auto* p = std::get_if<std::shared_ptr<const Bytes>>(&m_v)) return &(*p)->bytes;
  return nullptr;
}

const Value::Array* Value::asArray() const {
  if (const auto* p = std::get_if<std::shared_ptr<Array>>(&m_v)) return p->get();
  return nullptr;
}

const Value::Dictionary* Value::asDictionary() const {
  if (const auto* p = std::get_if<std::shared_ptr<Dictionary>>(&m_v)) return p->get();
  return nullptr;
}

const Value& Value::operator[](const std::string& key) const {
  if (const Dictionary* d = asDictionary()) {
    auto it = d->find(key);
    if (it != d->end()) return it->second;
  }
  return null();
}

const Value& Value::at(size_t index) const {
  if (const Array* a = asArray()) {
    if (index < a->size()) return (*a)[index];
  }
  return null();
}

bool Value::contains(const std::string& key) const {
  const Dictionary* d = asDictionary();
  return d && d->count(key) != 0;
}

size_t Value::size() const {
  if (const Array* a = asArray()) return a->size();
  if (const Dictionary* d = asDictionary()) return d->size();
  if (const std::string* b = asData()) return b->size();
  return 0;
}

Value::Array& Value::mutableArray() {
  auto& p = std::get<std::shared_ptr<Array>>(m_v);
  if (p.use_count() > 1) p = std::make_shared<Array>(*p);
  return *p;
}

Value::Dictionary& Value::mutableDictionary() {
  auto& p = std::get<std::shared_ptr<Dictionary>>(m_v);
  if (p.use_count() > 1) p = std::make_shared<Dictionary>(*p);
  return *p;
}

void Value::set(const std::string& key, Value value) {
  if (isNull()) m_v = std::make_shared<Dictionary>();
  if (!isDictionary()) return;
  mutableDictionary()[key] = std::move(value);
}

void Value::erase(const std::string& key) {
  if (!contains(key)) return;
  mutableDictionary().erase(key);
}

void Value::append(Value value) {
  if (isNull()) m_v = std::make_shared<Array>();
  if (!isArray()) return;
  mutableArray().push_back(std::move(value));
}

bool Value::operator==(const Value& other) const {
  if (m_v.index() != other.m_v.index()) return false;
  switch (type()) {
    case Type::Null: return true;
    case Type::Bool: return *asBool() == *other.asBool();
    case Type::Integer: return *asInteger() == *other.asInteger();
    case Type::Real: return *asReal() == *other.asReal();
    case Type::String: return *asString() == *other.asString();
    case Type::Data: return *asData() == *other.asData();
    case Type::Date: return *asDate() == *other.asDate();
    case Type::Array: return asArray() == other.asArray() || *asArray() == *other.asArray();
    case Type::Dictionary: return asDictionary() == other.asDictionary() || *asDictionary() == *other.asDictionary();
  }
  return false;
}

// A string is itself; an integer its decimal text; a bool "1" or "0"; a real its shortest text
// ("3", "0.1", "1e+21"); null "<null>"; data hex bytes in groups of four, "<01020304 05>"; a date
// "2026-12-07 07:00:00 +0000"; arrays "(\n    item,\n    item\n)" and dictionaries
// "{\n    key = value;\n}" with four more spaces per nesting level.
std::string Value::description() const {
  switch (type()) {
    case Type::Null: return "<null>";
    case Type::Bool: return *asBool() ? "1" : "0";
    case Type::Integer: return std::to_string(*asInteger());
    case Type::Real: return formatReal(*asReal());
    case Type::String: return *asString();
    case Type::Data: {
      static const char* kHex = "0123456789abcdef";
      const std::string& bytes = *asData();
      std::string out = "<";
      for (size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0 && i % 4 == 0) out += ' ';
        auto b = static_cast<unsigned char>(bytes[i]);
        out += kHex[b >> 4];
        out += kHex[b & 15];
      }
      out += '>';
      return out;
    }
    case Type::Date: return asDate()->description();
    case Type::Array:
    case Type::Dictionary: {
      std::string out;
      describeInto(*this, out, 0, false);
      return out;
    }
  }
  return {};
}

int32_t Value::intValue() const {
  switch (type()) {
    case Type::Bool: return *asBool() ? 1 : 0;
    case Type::Integer: return static_cast<int32_t>(*asInteger());  // keeps the low 32 bits
    case Type::Real: {
      double d = *asReal();
      if (std::isnan(d)) return 0;
      if (d >= 2147483647.0) return INT32_MAX;
      if (d <= -2147483648.0) return INT32_MIN;
      return static_cast<int32_t>(d);
    }
    case Type::String: return parseInt(*asString());
    default: return 0;
  }
}

int64_t Value::integerValue() const {
  switch (type()) {
    case Type::Bool: return *asBool() ? 1 : 0;
    case Type::Integer: return *asInteger();
    case Type::Real: {
      double d = *asReal();
      if (std::isnan(d)) return 0;
      if (d >= 9223372036854775808.0) return INT64_MAX;
      if (d <= -9223372036854775808.0) return INT64_MIN;
      return static_cast<int64_t>(d);
    }
    case Type::String: return parseInt64(*asString());
    default: return 0;
  }
}

double Value::doubleValue() const {
  switch (type()) {
    case Type::Bool: return *asBool() ? 1 : 0;
    case Type::Integer: return static_cast<double>(*asInteger());
    case Type::Real: return *asReal();
    case Type::String: return parseDouble(*asString());
    default: return 0;
  }
}

bool Value::boolValue() const {
  switch (type()) {
    case Type::Bool: return *asBool();
    case Type::Integer: return *asInteger() != 0;
    case Type::Real: return *asReal() != 0;
    case Type::String: return parseBool(*asString());
    default: return false;
  }
}

std::string Value::stringValue() const {
  switch (type()) {
    case Type::String: return *asString();
    case Type::Bool:
    case Type::Integer:
    case Type::Real: return description();
    default: return {};
  }
}

std::string describe(const Value* value) { return value ? value->description() : "(null)"; }

std::string describe(const std::optional<Value>& value) { return value ? value->description() : "(null)"; }

}  // namespace core
