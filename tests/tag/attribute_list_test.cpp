// What no output shows: an owned value stays its own as the list grows, records start empty
// however they were used, and only storage past 64 KiB is given back between tags.
#include <gtest/gtest.h>

#include "tag/tag.h"

namespace tagsift {
namespace {

TEST(AttributeList, RecordsAndTheirStorage) {
    AttributeList list;
    EXPECT_TRUE(list.empty());
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 40; ++i) {  // short owned values, kept inside the records, while they move
            Attribute& a = list.add();
            EXPECT_EQ(std::make_tuple(a.quote, a.hasValue, a.value.size(), a.lineFeeds.size()),
                      std::make_tuple('\0', false, std::size_t{0}, std::size_t{0}));
            a.valueStore = "v" + std::to_string(i);
            a.ownValue();
            a.quote = '"';
            a.hasValue = true;
            a.lineFeeds.push_back(0);
        }
        EXPECT_FALSE(list.empty());
        for (std::size_t i = 0; i < list.size(); ++i) EXPECT_EQ(list[i].value.data(), list[i].valueStore.data());
        list.clear();
        EXPECT_TRUE(list.empty());
    }
    for (const std::size_t size : {std::size_t{1} << 16, (std::size_t{1} << 16) + 1}) {
        list.add().valueStore.reserve(size);
        list.clear();
        EXPECT_EQ(list.add().valueStore.capacity() >= size, size == std::size_t{1} << 16) << size;
        list.clear();
    }
}

}  // namespace
}  // namespace tagsift
