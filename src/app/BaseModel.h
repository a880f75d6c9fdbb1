#pragma once

#include <memory>

#include "platform/core/Value.h"

namespace kt {

// The base of the models built from a dictionary of a cloud reply. A model's constructor takes
// the dictionary: a subclass passes it to this base first, then copies its own keys.
class BaseModel {
 public:
  BaseModel() = default;
  // The base reads nothing from the dictionary.
  explicit BaseModel(const core::Value& dict);
  virtual ~BaseModel();

  // An instance of the model class `T` made from the dictionary.
  template <class T = BaseModel>
  static std::shared_ptr<T> modelWithDict(const core::Value& dict) {
    return std::make_shared<T>(dict);
  }
};

}  // namespace kt
