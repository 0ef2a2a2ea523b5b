#include <zudava/zudava.h>
#include <gtest/gtest.h>
TEST(WmiException, Smoke) {
    DEZE::WmiException e(E_FAIL, L"x");
    EXPECT_STREQ(e.what(), "x");
}
