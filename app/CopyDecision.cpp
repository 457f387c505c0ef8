#include "app/CopyDecision.h"

namespace dravello {

bool IsNewerAge(int32_t age, int32_t than) {
  if (than == -1) return age != -1;
  if (age == -1) return false;
  return static_cast<uint32_t>(age) > static_cast<uint32_t>(than);
}

}  // namespace dravello
