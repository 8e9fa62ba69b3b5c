#pragma once
// The kind of device a card belongs to (a job's targetType), known to every layer that decides
// which files a card takes.

#include <cstdint>

namespace cw {

enum TargetType : int32_t {
  kTargetUnknown = 0,
  kTargetEngine = 1,
  kTargetPanel3940 = 2,
  kTargetPanel3950 = 3,
};

inline bool IsPanelTarget(int32_t targetType) {
  return targetType == kTargetPanel3940 || targetType == kTargetPanel3950;
}

}  // namespace cw
