#pragma once

namespace kt {

// A load or download in progress that its caller can call off.
class ICWebImageOperation {
 public:
  virtual ~ICWebImageOperation() = default;
  virtual void cancel() = 0;
};

}  // namespace kt
