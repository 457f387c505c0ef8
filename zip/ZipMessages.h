// The archiver's message table: the text of every message id the component reports.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace dravello {

// The table text of `id` ("\n" in a text is a line break), or nothing when the table has none.
std::optional<std::string> ZipMessageTableText(int32_t id);

}  // namespace dravello
