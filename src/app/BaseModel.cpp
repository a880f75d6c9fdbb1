#include "app/BaseModel.h"

namespace kt {

BaseModel::BaseModel(const core::Value& /*dict*/) {}

BaseModel::~BaseModel() = default;

}  // namespace kt
