#pragma once

#include <string>
#include <string_view>

namespace velmora {

// Text in the program is UTF-8. Bytes that are not valid UTF-8 are never passed on raw.
bool isValidUtf8(std::string_view text);

// The text with every invalid sequence replaced by U+FFFD.
std::string repairUtf8(std::string_view text);

} // namespace velmora
