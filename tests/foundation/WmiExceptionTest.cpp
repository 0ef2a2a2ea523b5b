#include <zudava/zudava.h>
#include <zudava/foundation/Raise.h>

#include "support/Host.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <thread>
#include <vector>

using DEZE::WmiException;
using testing_support::ansiIsUtf8;
using testing_support::units;

namespace {

TEST(WmiException, KeepsTheExactStatusAndMessage) {
    const WmiException notFound(static_cast<HRESULT>(0x80041002),
                                L"IWbemServices::GetObject() failed");
    EXPECT_EQ(notFound.getCode(), static_cast<HRESULT>(0x80041002));
    EXPECT_LT(notFound.getCode(), 0) << "an HRESULT failure stays negative in a wider long";
    EXPECT_STREQ(notFound.what(), "IWbemServices::GetObject() failed");
    EXPECT_EQ(notFound.getMessage(), _bstr_t(L"IWbemServices::GetObject() failed"));

    const WmiException noMoreData(0x00040005, L"Index out of bounds");
    EXPECT_EQ(noMoreData.getCode(), 0x00040005);
}

TEST(WmiException, EmptyMessageGivesNullWhat) {
    const WmiException empty(E_FAIL, _bstr_t());
    EXPECT_EQ(empty.what(), nullptr);
    EXPECT_TRUE(!empty.getMessage());
    EXPECT_EQ(empty.getMessage().length(), 0u);
}

TEST(WmiException, CopiesShareOneNarrowBuffer) {
    auto first = std::make_unique<WmiException>(E_FAIL, L"Invalid argument");
    const WmiException second(*first);
    WmiException third(E_INVALIDARG, L"other");
    third = second;
    const char* narrow = first->what();
    ASSERT_STREQ(narrow, "Invalid argument");
    EXPECT_EQ(second.what(), narrow);
    EXPECT_EQ(third.what(), narrow);
    EXPECT_EQ(third.getCode(), E_FAIL);
    first.reset();
    EXPECT_EQ(second.what(), narrow);
    EXPECT_STREQ(second.what(), "Invalid argument") << "the buffer lives as long as the last copy";
}

TEST(WmiException, SelfAssignmentKeepsTheMessage) {
    WmiException e(E_FAIL, L"type mismatch");
    const WmiException& alias = e;
    e = alias;
    EXPECT_STREQ(e.what(), "type mismatch");
    EXPECT_EQ(e.getCode(), E_FAIL);
}

TEST(WmiException, IsCaughtAsStdException) {
    try {
        throw WmiException(E_FAIL, L"No more objects");
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "No more objects");
    }
}

TEST(WmiException, UnrepresentableCharactersBecomeTheCodePagesReplacement) {
    // "a", U+4E2D, a lone high surrogate, "b"
    const std::wstring text = units('a', 0x4E2D, 0xD800, 'b');
    const WmiException e(E_FAIL, text.c_str());
    if (ansiIsUtf8())
        EXPECT_STREQ(e.what(), "a\xE4\xB8\xAD\xEF\xBF\xBD"
                               "b");
    else
        EXPECT_STREQ(e.what(), "a??b");
}

TEST(WmiException, ConcurrentCopiesAgreeOnTheNarrowBuffer) {
    const WmiException original(E_FAIL, L"Index out of bounds");
    std::vector<const char*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < seen.size(); ++t) {
        threads.emplace_back([&original, &seen, t] {
            const WmiException copy(original);
            seen[t] = copy.what();
        });
    }
    for (auto& thread : threads)
        thread.join();
    for (const char* narrow : seen)
        EXPECT_EQ(narrow, seen[0]);
    EXPECT_EQ(original.what(), seen[0]);
}

TEST(RaisingConvention, FailedCallsRaiseTheirOwnStatus) {
    EXPECT_NO_THROW(DEZE::throwIfFailed(S_OK, L"IWbemPath::SetText() failed"));
    EXPECT_NO_THROW(DEZE::throwIfFailed(S_FALSE, L"IWbemPath::SetText() failed"));
    EXPECT_NO_THROW(DEZE::throwIfFailed(0x00040005, L"IWbemPath::SetText() failed"));
    try {
        DEZE::throwIfFailed(DISP_E_BADINDEX, L"::SafeArrayGetElement() failed");
        FAIL() << "no exception";
    } catch (const WmiException& e) {
        EXPECT_EQ(e.getCode(), DISP_E_BADINDEX);
        EXPECT_STREQ(e.what(), "::SafeArrayGetElement() failed");
    }
    try {
        DEZE::throwLibraryError(L"Invalid object type");
        FAIL() << "no exception";
    } catch (const WmiException& e) {
        EXPECT_EQ(e.getCode(), static_cast<HRESULT>(0x80004005));
        EXPECT_STREQ(e.what(), "Invalid object type");
    }
}

} // namespace
