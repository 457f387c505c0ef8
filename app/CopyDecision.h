// Where a copy run decides that a file is to be copied: when it is newer than its copy, or, for
// a script that uses the archive attribute, when that attribute is set.
#pragma once

#include <cstdint>
#include <optional>

#include "runtime/Env.h"

namespace dravello {

// Whether an MS-DOS age (date in the upper 16 bits, time in the lower) is newer than another.
// -1 means "no file" and is older than any file. Ages compare as the unsigned numbers they are:
// dates from 2044 on have the top bit set and would otherwise count as older than everything.
bool IsNewerAge(int32_t age, int32_t than);

// Whether the source is copied: it is newer than its copy (a missing copy is older than
// anything), or `useArchive` is set and the source's attributes, when it has any, carry the
// archive bit. `sourceAttributes` is asked only when the ages alone do not decide.
template <class AttributesOf>
bool ShouldCopy(int32_t sourceAge, int32_t copyAge, bool useArchive, AttributesOf&& sourceAttributes) {
  if (IsNewerAge(sourceAge, copyAge)) return true;
  if (!useArchive) return false;
  const std::optional<uint32_t> attrs = sourceAttributes();
  return attrs && (*attrs & faArchive) != 0;
}

}  // namespace dravello
