// The COM support classes as Windows code uses them.
#include <comdef.h>

#include "support/Host.h"

#include <gtest/gtest.h>

#include <cstring>

using testing_support::ansiIsUtf8;
using testing_support::units;

namespace {

TEST(BstrT, CopiesShareOneText) {
    const _bstr_t original(L"__RELPATH");
    const _bstr_t copy(original);
    _bstr_t assigned;
    assigned = copy;
    EXPECT_EQ(static_cast<const wchar_t*>(copy), static_cast<const wchar_t*>(original));
    EXPECT_EQ(static_cast<const wchar_t*>(assigned), static_cast<const wchar_t*>(original));
    EXPECT_EQ(original.length(), 9u);
    const char* narrow = original;
    EXPECT_STREQ(narrow, "__RELPATH");
    EXPECT_EQ(static_cast<const char*>(copy), narrow) << "the narrow form is cached once";
}

TEST(BstrT, NullAndEmpty) {
    const _bstr_t none;
    EXPECT_TRUE(!none);
    EXPECT_EQ(none.length(), 0u);
    EXPECT_EQ(static_cast<const wchar_t*>(none), nullptr);
    EXPECT_EQ(static_cast<const char*>(none), nullptr);
    const _bstr_t fromNull(static_cast<const wchar_t*>(nullptr));
    EXPECT_TRUE(!fromNull);
    const _bstr_t empty(L"");
    EXPECT_FALSE(!empty);
    EXPECT_EQ(empty.length(), 0u);
}

TEST(BstrT, ConvertsNarrowTextThroughTheAnsiCodePage) {
    const _bstr_t ascii("root\\cimv2");
    EXPECT_EQ(std::wcscmp(ascii, L"root\\cimv2"), 0);
    const _bstr_t accented(ansiIsUtf8() ? "caf\xC3\xA9" : "caf\xE9");
    EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(accented)), units('c', 'a', 'f', 0xE9));
    EXPECT_STREQ(static_cast<const char*>(accented), ansiIsUtf8() ? "caf\xC3\xA9" : "caf\xE9");
}

TEST(BstrT, ConcatenatesAndCompares) {
    _bstr_t path(L"root");
    path += L"\\default";
    EXPECT_EQ(std::wcscmp(path, L"root\\default"), 0);
    const _bstr_t joined = _bstr_t(L"a") + _bstr_t(L"b");
    EXPECT_EQ(std::wcscmp(joined, L"ab"), 0);
    EXPECT_TRUE(_bstr_t(L"abc") == _bstr_t("abc"));
    EXPECT_TRUE(_bstr_t(L"abc") != _bstr_t(L"abd"));
    EXPECT_TRUE(_bstr_t(L"ab") < _bstr_t(L"abc"));
    EXPECT_TRUE(_bstr_t(L"b") > _bstr_t(L"abc"));
}

TEST(BstrT, HandsOverOwnership) {
    _bstr_t holder;
    *holder.GetAddress() = SysAllocString(L"out parameter");
    EXPECT_EQ(holder.length(), 13u);
    BSTR copy = holder.copy();
    EXPECT_NE(copy, static_cast<const wchar_t*>(holder));
    EXPECT_EQ(std::wcscmp(copy, L"out parameter"), 0);
    SysFreeString(copy);

    holder.Attach(SysAllocString(L"attached"));
    EXPECT_EQ(std::wcscmp(holder, L"attached"), 0);
    BSTR detached = holder.Detach();
    EXPECT_EQ(std::wcscmp(detached, L"attached"), 0);
    EXPECT_TRUE(!holder);
    SysFreeString(detached);

    BSTR owned = SysAllocString(L"taken");
    const _bstr_t taken(owned, false);
    EXPECT_EQ(static_cast<const wchar_t*>(taken), owned);
    const _bstr_t copied(owned, true);
    EXPECT_NE(static_cast<const wchar_t*>(copied), owned);
    EXPECT_TRUE(copied == taken);
}

TEST(ComError, CarriesItsStatus) {
    try {
        _com_issue_error(E_OUTOFMEMORY);
        FAIL() << "no exception";
    } catch (const _com_error& e) {
        EXPECT_EQ(e.Error(), E_OUTOFMEMORY);
        EXPECT_EQ(e.WCode(), 0);
        EXPECT_EQ(e.ErrorInfo(), nullptr);
        ASSERT_NE(e.ErrorMessage(), nullptr);
        EXPECT_GT(std::strlen(e.ErrorMessage()), 0u);
    }
    const _com_error dispatch(_com_error::WCodeToHRESULT(5));
    EXPECT_EQ(dispatch.WCode(), 5);
    const _com_error copy(dispatch);
    EXPECT_EQ(copy.Error(), dispatch.Error());
}

TEST(RuntimeCompare, IgnoresAsciiCaseAsLowerCase) {
    EXPECT_EQ(_stricmp("ABC", "abc"), 0);
    EXPECT_LT(_stricmp("_", "A"), 0);
    EXPECT_GT(_stricmp("b", "A"), 0);
    EXPECT_LT(_stricmp("ab", "ABC"), 0);
    EXPECT_EQ(_wcsicmp(L"Root\\CIMV2", L"root\\cimv2"), 0);
    EXPECT_LT(_wcsicmp(L"x", L"Y"), 0);
    EXPECT_EQ(_strnicmp("ABCx", "abcy", 3), 0);
    EXPECT_EQ(_wcsnicmp(L"ABCx", L"abcy", 3), 0);
}

} // namespace
