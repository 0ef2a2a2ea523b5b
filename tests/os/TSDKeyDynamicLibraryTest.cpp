#include <zudava/zudava.h>

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

using DEZE::DynamicLibrary;
using DEZE::TSDKey;

namespace {

TEST(TSDKey, ValuesArePerThread) {
    unsigned long key = 0;
    ASSERT_EQ(TSDKey::create(&key), 0u);
    EXPECT_EQ(TSDKey::get_thread_specific(key), nullptr);
    int mine = 0;
    int theirs = 0;
    EXPECT_EQ(TSDKey::set_thread_specific(key, &mine), 0u);
    std::thread([&] {
        EXPECT_EQ(TSDKey::get_thread_specific(key), nullptr);
        EXPECT_EQ(TSDKey::set_thread_specific(key, &theirs), 0u);
        EXPECT_EQ(TSDKey::get_thread_specific(key), &theirs);
    }).join();
    EXPECT_EQ(TSDKey::get_thread_specific(key), &mine);
    EXPECT_EQ(TSDKey::destroy(key), 0u);
    EXPECT_EQ(TSDKey::destroy(key), 1u);
}

TEST(TSDKey, ExhaustionStoresTheFailureIndex) {
    std::vector<unsigned long> keys;
    unsigned long key = 0;
    while (keys.size() < 5000 && TSDKey::create(&key) == 0)
        keys.push_back(key);
    EXPECT_LT(keys.size(), 5000u);
    EXPECT_EQ(key, 0xFFFFFFFFul);
    EXPECT_EQ(TSDKey::set_thread_specific(key, &key), 1u);
    EXPECT_EQ(TSDKey::destroy(key), 1u);
    for (unsigned long taken : keys)
        EXPECT_EQ(TSDKey::destroy(taken), 0u);
    if (sizeof(unsigned long) > 4) {
        // A key beyond 32 bits is no key at all, not an alias of a small one.
        ASSERT_EQ(TSDKey::create(&key), 0u);
        const unsigned long wide = key + (static_cast<unsigned long>(1) << 16 << 16);
        EXPECT_EQ(TSDKey::set_thread_specific(wide, &key), 1u);
        EXPECT_EQ(TSDKey::get_thread_specific(key), nullptr);
        EXPECT_EQ(TSDKey::destroy(wide), 1u);
        EXPECT_EQ(TSDKey::destroy(key), 0u);
    }
}

#ifdef _WIN32
const wchar_t kModule[] = L"zudava_test_module.dll";
#else
const wchar_t kModule[] = L"zudava_test_module.so";
#endif

bool moduleLoaded() {
    return GetModuleHandleW(kModule) != nullptr;
}

TEST(DynamicLibrary, UnloadedLibraryOffersNothing) {
    DynamicLibrary none;
    EXPECT_FALSE(none.isLoaded());
    EXPECT_EQ(none.getHandle(), nullptr);
    EXPECT_EQ(none.getFileName(), L"");
    EXPECT_EQ(none.getSymbol(L"moduleAnswer"), nullptr);
    EXPECT_TRUE(none.unload());

    DynamicLibrary named(kModule);
    EXPECT_EQ(named.getFileName(), kModule);
    EXPECT_FALSE(named.isLoaded());
    EXPECT_EQ(named.getSymbol(L"moduleAnswer"), nullptr);
    EXPECT_FALSE(moduleLoaded());

    DynamicLibrary missing(L"zudava_no_such_module.dll");
    EXPECT_FALSE(missing.load());
    EXPECT_FALSE(missing.isLoaded());
}

TEST(DynamicLibrary, LoadsFindsSymbolsAndUnloads) {
    DynamicLibrary library(kModule);
    ASSERT_TRUE(library.load());
    EXPECT_TRUE(library.load());
    EXPECT_TRUE(library.isLoaded());
    EXPECT_EQ(library.getHandle(), GetModuleHandleW(kModule));
    DynamicLibrary::Symbol answer = library.getSymbol(L"moduleAnswer");
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    // Only the low eight bits of each character count: U+016D is 'm' + 0x100.
    EXPECT_EQ(library.getSymbol(std::wstring(1, wchar_t(0x16D)) + L"oduleAnswer"), answer);
    EXPECT_EQ(library.getSymbol(L"noSuchFunction"), nullptr);
    EXPECT_TRUE(library.unload());
    EXPECT_FALSE(library.isLoaded());
    EXPECT_FALSE(moduleLoaded());
    EXPECT_TRUE(library.unload());
}

TEST(DynamicLibrary, CopyHoldsAReferenceOfItsOwn) {
    auto source = std::make_unique<DynamicLibrary>(kModule);
    ASSERT_TRUE(source->load());
    DynamicLibrary copy(*source);
    DynamicLibrary unloadedCopy{DynamicLibrary(kModule)};
    EXPECT_FALSE(unloadedCopy.isLoaded());
    source.reset();
    ASSERT_TRUE(copy.isLoaded());
    EXPECT_TRUE(moduleLoaded());
    EXPECT_EQ(copy.getSymbol(L"moduleAnswer")(), 42);

    DynamicLibrary assigned(L"other.dll");
    assigned = copy;
    assigned = assigned;
    EXPECT_EQ(assigned.getFileName(), kModule);
    EXPECT_TRUE(assigned.isLoaded());
    copy.unload();
    EXPECT_TRUE(moduleLoaded());
    assigned = DynamicLibrary(L"other.dll"); // unloads, then takes the unloaded other
    EXPECT_FALSE(assigned.isLoaded());
    EXPECT_EQ(assigned.getFileName(), L"other.dll");
    EXPECT_FALSE(moduleLoaded());
}

} // namespace
