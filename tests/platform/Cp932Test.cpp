#include "platform/Cp932.h"

#include <gtest/gtest.h>

TEST(Cp932, MarkLineBytes)
{
    EXPECT_EQ(platform::EncodeCp932(u"▼").size(), 2u);
}
