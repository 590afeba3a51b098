#include "platform/genre_list.h"

#include <gtest/gtest.h>
#include <string>

namespace velmora {
namespace {

TEST(GenreList, HoldsTheIndices0To147) {
    ASSERT_EQ(GenreList::names().size(), 148u);
    ASSERT_EQ(GenreList::kCount, 148);
    for (int i = 0; i < GenreList::kCount; ++i) {
        ASSERT_TRUE(GenreList::name(i).has_value()) << i;
        EXPECT_EQ(*GenreList::name(i), GenreList::names()[static_cast<std::size_t>(i)]);
        EXPECT_FALSE(GenreList::name(i)->empty()) << i;
    }
    for (int outside : {-1, 148, 255, -2147483647 - 1, 2147483647})
        EXPECT_FALSE(GenreList::name(outside).has_value()) << outside;
}

TEST(GenreList, NamesTheIndicesAsTheProgramSpellsThem) {
    struct Case {
        int index;
        const char* name;
    };
    const Case cases[] = {
        // The program's own spellings.
        {40, "Alt. Rock"},
        {81, "Folk/Rock"},
        {84, "Fast-Fusion"},
        {123, "A Cappella"},
        {132, "BritPop"},
        {141, "Christian Rock"},
        {144, "Trash Metal"},
        {146, "Jpop"},
        {147, "Synthpop"},
        // The stand-in for a genre not in the list, and anchors across the whole range.
        {GenreList::kOther, "Other"},
        {0, "Blues"},
        {13, "Pop"},
        {17, "Rock"},
        {29, "Jazz+Funk"},
        {31, "Trance"},
        {67, "Psychadelic"},
        {79, "Hard Rock"},
        {80, "Folk"},
        {85, "Bebob"},
        {99, "Acoustic"},
        {127, "Drum & Bass"},
        {137, "Heavy Metal"},
        {145, "Anime"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GenreList::name(c.index), std::string_view(c.name)) << c.index;
}

TEST(GenreList, EveryNameFindsItsOwnIndex) {
    for (int i = 0; i < GenreList::kCount; ++i)
        EXPECT_EQ(GenreList::indexOf(*GenreList::name(i)), i) << *GenreList::name(i);
}

TEST(GenreList, IndexOfIgnoresAsciiCaseOnly) {
    struct Case {
        const char* name;
        std::optional<int> index;
    };
    const Case cases[] = {
        {"rock", 17},
        {"ROCK", 17},
        {"alt. rock", 40},
        {"JPOP", 146},
        {"a cappella", 123},
        {"synthPOP", 147},
        {"other", 12},
        {"Alternative Rock", std::nullopt},
        {"Rock ", std::nullopt},
        {" Rock", std::nullopt},
        {"Roc", std::nullopt},
        {"", std::nullopt},
        {"Indie Rock", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GenreList::indexOf(c.name), c.index) << c.name;
}

} // namespace
} // namespace velmora
