#pragma once

#include <string>
#include <string_view>

namespace velmora {

// Case rules for names that the program compares (settings names, extensions, format words):
// only the ASCII letters change, so the result never depends on the locale and UTF-8 bytes pass
// through untouched.
char toLowerAscii(char c);
char toUpperAscii(char c);
std::string lowerCaseAscii(std::string_view text);
std::string upperCaseAscii(std::string_view text);
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b);

} // namespace velmora
