#include <gtest/gtest.h>

#include "platform/types.h"

TEST(Platform, InvalidHandleIsAllBitsSet) {
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(fennex::platform::InvalidHandleValue()),
              ~std::uintptr_t{0});
    EXPECT_FALSE(fennex::platform::IsValidHandle(nullptr));
}
