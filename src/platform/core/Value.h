#pragma once

#include "platform/core/Date.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

namespace core {

// A dynamic value: null, bool, integer, real, string, data, date, array or dictionary.
//
// Copies are cheap: strings are held by value (short ones inline), data, arrays and
// dictionaries share their storage and are copied only when a shared one is changed.
// Equality is by kind and content: the integer 1, the real 1.0 and true are different values.
class Value {
 public:
  enum class Type { Null, Bool, Integer, Real, String, Data, Date, Array, Dictionary };
  using Array = std::vector<Value>;
  using Dictionary = std::map<std::string, Value>;

  Value() = default;
  Value(std::nullptr_t) {}
  Value(const char* text) : m_v(std::string(text ? text : "")) {}
  Value(std::string text) : m_v(std::move(text)) {}
  Value(std::string_view text) : m_v(std::string(text)) {}
  // Only a real bool becomes a bool: pointers and integers never convert to it by accident.
  template <typename T>
    requires std::is_same_v<T, bool>
  Value(T b) : m_v(b) {}
  // Any integer type; unsigned values above the 64-bit signed range become reals.
  template <typename T>
    requires(std::is_integral_v<T> && !std::is_same_v<T, bool>)
  Value(T n) {
    if constexpr (std::is_unsigned_v<T> && sizeof(T) >= sizeof(int64_t)) {
      if (n > static_cast<T>(INT64_MAX)) {
        m_v = static_cast<double>(n);
        return;
      }
    }
    m_v = static_cast<int64_t>(n);
  }
  Value(double d) : m_v(d) {}
  Value(Date d) : m_v(d) {}
  Value(Array a) : m_v(std::make_shared<Array>(std::move(a))) {}
  Value(Dictionary d) : m_v(std::make_shared<Dictionary>(std::move(d))) {}

  static Value data(std::string_view bytes);
  static Value data(const std::vector<uint8_t>& bytes);

  Type type() const { return static_cast<Type>(m_v.index()); }
  bool isNull() const { return type() == Type::Null; }
  bool isBool() const { return type() == Type::Bool; }
  bool isInteger() const { return type() == Type::Integer; }
  bool isReal() const { return type() == Type::Real; }
  bool isNumber() const { return isBool() || isInteger() || isReal(); }
  bool isString() const { return type() == Type::String; }
  bool isData() const { return type() == Type::Data; }
  bool isDate() const { return type() == Type::Date; }
  bool isArray() const { return type() == Type::Array; }
  bool isDictionary() const { return type() == Type::Dictionary; }

  // Exact-kind accessors: empty or null when the value is of another kind.
  std::optional<bool> asBool() const;
  std::optional<int64_t> asInteger() const;
  std::optional<double> asReal() const;
  const std::string* asString() const { return std::get_if<std::string>(&m_v); }
  const std::string* asData() const;  // the bytes
  const Date* asDate() const { return std::get_if<Date>(&m_v); }
  const Array* asArray() const;
  const Dictionary* asDictionary() const;

  // Look-ups that never fail: a null value when absent or not a collection.
  const Value& operator[](const std::string& key) const;
  const Value& operator[](const char* key) const { return (*this)[std::string(key)]; }
  const Value& at(size_t index) const;
  template <typename T>
    requires(std::is_integral_v<T> && !std::is_same_v<T, bool>)
  const Value& operator[](T index) const {
    if constexpr (std::is_signed_v<T>) {
      if (index < 0) return null();
    }
    return at(static_cast<size_t>(index));
  }
  bool contains(const std::string& key) const;
  // Elements of an array or dictionary, bytes of data; 0 for the other kinds.
  size_t size() const;

  // Changes. set() and append() turn a null value into a dictionary or an array first and do
  // nothing on other kinds; they copy shared storage before changing it.
  void set(const std::string& key, Value value);
  void erase(const std::string& key);
  void append(Value value);

  bool operator==(const Value& other) const;

  // The platform's "%@" text form (see Value.cpp for the exact rules).
  std::string description() const;

  // Conversions with the platform's rules for texts (see parseInt and friends below).
  int32_t intValue() const;  // integers are cut to 32 bits as a C cast would; reals saturate
  int64_t integerValue() const;
  int64_t longLongValue() const { return integerValue(); }
  double doubleValue() const;
  float floatValue() const { return static_cast<float>(doubleValue()); }
  bool boolValue() const;
  // A string as is, numbers and bools as description(), other kinds "".
  std::string stringValue() const;

  static const Value& null();

 private:
  struct Bytes {
    std::string bytes;
  };
  using Storage = std::variant<std::monostate, bool, int64_t, double, std::string, std::shared_ptr<const Bytes>, Date,
                               std::shared_ptr<Array>, std::shared_ptr<Dictionary>>;
  Array& mutableArray();
  Dictionary& mutableDictionary();

  Storage m_v;
};

// The text of a value that may be absent: "(null)" when it is.
std::string describe(const Value* value);
std::string describe(const std::optional<Value>& value);

// The platform's number rules for plain texts.
// parseInt/parseInt64: leading whitespace, an optional sign, then decimal digits up to the first
// other character; no digits gives 0; out of range saturates.
int32_t parseInt(std::string_view text);
int64_t parseInt64(std::string_view text);
// parseDouble: leading whitespace, an optional sign, digits with an optional "." fraction and an
// optional exponent (only taken when digits follow the "e"); no hex, "inf" or "nan"; stops at
// the first character that does not fit; nothing usable gives 0.
double parseDouble(std::string_view text);
// parseBool: true when, after whitespace, an optional sign and any zeros, the next character is
// one of "YyTt" or a digit 1-9.
bool parseBool(std::string_view text);
// The shortest "%g"-style text of a real that reads back the same value ("3", "0.1", "1e+21").
std::string formatReal(double value);

}  // namespace core
