#include <windows.h>
#include <gtest/gtest.h>
TEST(Bstr, Smoke) {
    BSTR b = SysAllocString(L"ab");
    EXPECT_EQ(SysStringLen(b), 2u);
    SysFreeString(b);
}
