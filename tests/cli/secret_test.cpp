// Secrets do not stay in memory after their use.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "core/secret.h"

namespace hsc {
namespace {

TEST(Wipe, ZeroesTheWholeBufferAndEmptiesTheText) {
    std::string secret(200, 'p');
    secret.resize(50);  // bytes past the end of a text that shrank are secret too
    const char* buffer = secret.data();
    const std::size_t capacity = secret.capacity();
    wipe(secret);
    EXPECT_TRUE(secret.empty());
    ASSERT_EQ(secret.data(), buffer) << "the same buffer, now zeroed";
    EXPECT_TRUE(std::all_of(buffer, buffer + capacity, [](char c) { return c == '\0'; }));
}

TEST(Wipe, OnExitWipesOnEveryPath) {
    std::string secret(100, 's');
    const char* buffer = secret.data();
    { const WipeOnExit guard(secret); }
    EXPECT_TRUE(secret.empty());
    EXPECT_TRUE(std::all_of(buffer, buffer + 100, [](char c) { return c == '\0'; }));
}

}  // namespace
}  // namespace hsc
