#pragma once

#include <optional>
#include <string>

namespace kt {

// Every value exchanged with the room server is text. A field may also be unset, which is
// not the same as "": an unset field ends a request's field list, for instance.
using Text = std::optional<std::string>;

}  // namespace kt

// A read-write record field: a getter named as the field and a setter "set" + field name.
// The default is the field's value after construction (std::nullopt for unset).
#define KT_FIELD_NAMED(Type, name, setter, initial)              \
 public:                                                         \
  const Type& name() const { return m_##name; }                  \
  void setter(Type value) { m_##name = std::move(value); }       \
                                                                 \
 private:                                                        \
  Type m_##name = initial;

// A text field whose name starts with a capital, as the room server's field names do.
#define KT_TEXT(Name, initial) KT_FIELD_NAMED(::kt::Text, Name, set##Name, initial)

#define KT_UNSET std::nullopt
