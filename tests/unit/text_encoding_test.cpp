#include "platform/text_encoding.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(TextEncoding, KeepsValidUtf8) {
    for (const char* text : {"", "plain", "Müller – Café", "\xF0\x9F\x8E\xB5 note"}) {
        EXPECT_TRUE(isValidUtf8(text)) << text;
        EXPECT_EQ(repairUtf8(text), text);
    }
}

TEST(TextEncoding, ReplacesEveryInvalidByte) {
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"a\xE9z", "a\xEF\xBF\xBDz"},                                             // Latin-1 byte
        {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                                 // overlong "/"
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},                 // surrogate
        {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"}, // > U+10FFFF
        {"end\xE2\x82", "end\xEF\xBF\xBD\xEF\xBF\xBD"}, // cut-off sequence
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(isValidUtf8(c.in));
        EXPECT_EQ(repairUtf8(c.in), c.out);
        EXPECT_TRUE(isValidUtf8(repairUtf8(c.in)));
    }
}

} // namespace
} // namespace velmora
