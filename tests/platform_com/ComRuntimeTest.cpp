// The COM runtime: apartments, process security, object creation, GUIDs and task memory, as
// Windows documents them.
#include "ComTesting.h"

#include <atomic>
#include <set>
#include <string>
#include <vector>

using com_testing::ComScope;
using com_testing::onNewThread;
using testing_support::underWine;

namespace {

const GUID kUnregisteredClass = {
    0x0BADC0DE, 0x1234, 0x4321, {0x80, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}};

std::wstring textOf(REFGUID guid) {
    wchar_t text[64] = {};
    const int units = StringFromGUID2(guid, text, 64);
    return std::wstring(text, units > 0 ? static_cast<size_t>(units - 1) : 0);
}

} // namespace

TEST(ComRuntime, ThreadKeepsTheModelItChoseFirstUntilFullyUninitialised) {
    onNewThread([] {
        EXPECT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        EXPECT_EQ(S_FALSE, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        EXPECT_EQ(RPC_E_CHANGED_MODE, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        // The refused call counted nothing: two uninitialisations leave the apartment.
        CoUninitialize();
        EXPECT_EQ(S_FALSE, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        CoUninitialize();
        CoUninitialize();
        EXPECT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        EXPECT_EQ(RPC_E_CHANGED_MODE, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        EXPECT_EQ(S_FALSE, CoInitialize(nullptr));
        CoUninitialize();
        CoUninitialize();
        // An unbalanced uninitialisation is harmless.
        CoUninitialize();
        EXPECT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        CoUninitialize();
    });
}

TEST(ComRuntime, ApartmentsArePerThread) {
    ComScope here;
    ASSERT_EQ(S_OK, here.result());
    onNewThread([] {
        EXPECT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        CoUninitialize();
    });
}

TEST(ComRuntime, CreationNeedsComOnTheThreadOrAnOpenMultithreadedApartment) {
    onNewThread([] {
        IUnknown* object = reinterpret_cast<IUnknown*>(0x1);
        EXPECT_EQ(CO_E_NOTINITIALIZED,
                  CoCreateInstance(CLSID_WbemContext, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   reinterpret_cast<void**>(&object)));
        EXPECT_EQ(nullptr, object);
    });
    // While one thread holds the multithreaded apartment open, every thread belongs to it.
    ComScope mta;
    ASSERT_EQ(S_OK, mta.result());
    onNewThread([] {
        IUnknown* object = nullptr;
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_WbemContext, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IUnknown, reinterpret_cast<void**>(&object)));
        object->Release();
    });
}

TEST(ComRuntime, SingleThreadedApartmentDoesNotOpenTheMultithreadedOne) {
    std::atomic<bool> entered{false};
    std::atomic<bool> done{false};
    std::thread sta([&] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        entered = true;
        while (!done)
            std::this_thread::yield();
        CoUninitialize();
    });
    while (!entered)
        std::this_thread::yield();
    onNewThread([] {
        IUnknown* object = nullptr;
        EXPECT_EQ(CO_E_NOTINITIALIZED,
                  CoCreateInstance(CLSID_WbemContext, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   reinterpret_cast<void**>(&object)));
    });
    done = true;
    sta.join();
}

TEST(ComRuntime, CreationFailuresGiveWindowsCodesAndNoObject) {
    ComScope com;
    IUnknown* object = reinterpret_cast<IUnknown*>(0x1);
    EXPECT_EQ(E_POINTER, CoCreateInstance(CLSID_WbemContext, nullptr, CLSCTX_INPROC_SERVER,
                                          IID_IUnknown, nullptr));
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              CoCreateInstance(kUnregisteredClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)));
    EXPECT_EQ(nullptr, object);

    IUnknown* outer = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_WbemContext, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                     reinterpret_cast<void**>(&outer)));
    object = reinterpret_cast<IUnknown*>(0x1);
    EXPECT_EQ(CLASS_E_NOAGGREGATION,
              CoCreateInstance(CLSID_WbemContext, outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)));
    EXPECT_EQ(nullptr, object);

    object = reinterpret_cast<IUnknown*>(0x1);
    EXPECT_EQ(E_NOINTERFACE, CoCreateInstance(CLSID_WbemContext, nullptr, CLSCTX_INPROC_SERVER,
                                              IID_IWbemLocator, reinterpret_cast<void**>(&object)));
    EXPECT_EQ(nullptr, object);
    outer->Release();
}

TEST(ComRuntime, CreatesRegisteredClassesForTheAskedInterface) {
    ComScope com;
    IWbemContext* context = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(__uuidof(WbemContext), nullptr, CLSCTX_ALL,
                                     __uuidof(IWbemContext), reinterpret_cast<void**>(&context)));
    // One object behind both interfaces: the same IUnknown.
    IUnknown* first = nullptr;
    IUnknown* second = nullptr;
    ASSERT_EQ(S_OK, context->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&first)));
    ASSERT_EQ(S_OK, first->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&second)));
    EXPECT_EQ(first, second);
    second->Release();
    first->Release();
    EXPECT_EQ(0u, context->Release());
}

// Runs in one test only: the process's security can be set once.
TEST(ComRuntime, SecurityIsSetOncePerProcess) {
    if (underWine())
        GTEST_SKIP() << "Wine accepts every CoInitializeSecurity call; Windows refuses all but "
                        "the first with RPC_E_TOO_LATE";
    onNewThread([] {
        EXPECT_EQ(CO_E_NOTINITIALIZED,
                  CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_CONNECT,
                                       RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr));
    });
    ComScope com;
    EXPECT_EQ(S_OK, CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_CONNECT,
                                         RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr));
    EXPECT_EQ(RPC_E_TOO_LATE,
              CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_CONNECT,
                                   RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr));
    // Too late from every thread of the process.
    onNewThread([] {
        ComScope other;
        EXPECT_EQ(RPC_E_TOO_LATE,
                  CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                       RPC_C_IMP_LEVEL_IDENTIFY, nullptr, EOAC_NONE, nullptr));
    });
}

TEST(ComRuntime, ProxyBlanketOnThePlatformsInProcessObjects) {
    if (underWine())
        GTEST_SKIP() << "Windows sets blankets only on proxies to other processes; every object "
                        "of the Linux platform lives in the caller's process and accepts one";
    ComScope com;
    IUnknown* object = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_WbemContext, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                     reinterpret_cast<void**>(&object)));
    EXPECT_EQ(S_OK, CoSetProxyBlanket(object, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                      RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                                      EOAC_NONE));
    EXPECT_EQ(E_INVALIDARG, CoSetProxyBlanket(object, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                              7, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE));
    EXPECT_EQ(E_INVALIDARG, CoSetProxyBlanket(nullptr, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                              RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE,
                                              nullptr, EOAC_NONE));
    object->Release();
}

TEST(ComRuntime, NewGuidsAreRandomVersionFour) {
    std::set<std::wstring> seen;
    for (int i = 0; i < 1000; ++i) {
        GUID guid;
        ASSERT_EQ(S_OK, CoCreateGuid(&guid));
        EXPECT_EQ(0x4000, guid.Data3 & 0xF000);
        EXPECT_EQ(0x80, guid.Data4[0] & 0xC0);
        seen.insert(textOf(guid));
    }
    EXPECT_EQ(1000u, seen.size());
}

TEST(ComRuntime, GuidTextIsBracedUpperCaseWithItsNul) {
    wchar_t text[40];
    wmemset(text, L'#', 40);
    EXPECT_EQ(39, StringFromGUID2(CLSID_WbemContext, text, 39));
    EXPECT_EQ(std::wstring(L"{674B6698-EE92-11D0-AD71-00C04FD8FDFF}"), std::wstring(text));
    EXPECT_EQ(L'#', text[39]);

    // One unit short: nothing written.
    wmemset(text, L'#', 40);
    EXPECT_EQ(0, StringFromGUID2(CLSID_WbemContext, text, 38));
    EXPECT_EQ(L'#', text[0]);
    EXPECT_EQ(std::wstring(L"{00000000-0000-0000-0000-000000000000}"), textOf(GUID{}));
    EXPECT_EQ(std::wstring(L"{DC12A687-737F-11CF-884D-00AA004B2E24}"), textOf(IID_IWbemLocator));
}

TEST(ComRuntime, ClassIdsReadBackFromTheirText) {
    CLSID clsid;
    ASSERT_EQ(S_OK, CLSIDFromString(L"{674B6698-EE92-11D0-AD71-00C04FD8FDFF}", &clsid));
    EXPECT_TRUE(IsEqualGUID(CLSID_WbemContext, clsid));
    ASSERT_EQ(S_OK, CLSIDFromString(L"{4590f811-1d3a-11d0-891f-00aa004b2e24}", &clsid));
    EXPECT_TRUE(IsEqualGUID(CLSID_WbemLocator, clsid));
    for (int i = 0; i < 20; ++i) {
        GUID made;
        ASSERT_EQ(S_OK, CoCreateGuid(&made));
        ASSERT_EQ(S_OK, CLSIDFromString(textOf(made).c_str(), &clsid));
        EXPECT_TRUE(IsEqualGUID(made, clsid));
    }
    for (const wchar_t* malformed :
         {L"674B6698-EE92-11D0-AD71-00C04FD8FDFF", L"{674B6698-EE92-11D0-AD71-00C04FD8FDF}",
          L"{674B6698-EE92-11D0-AD71-00C04FD8FDFG}", L"{674B6698EE92-11D0-AD71-00C04FD8FDFF}",
          L"{674B6698-EE92-11D0-AD7100C04FD8FDFF}", L""}) {
        EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromString(malformed, &clsid)) << malformed;
    }
}

TEST(ComRuntime, TaskMemoryAllocatesResizesAndFrees) {
    void* empty = CoTaskMemAlloc(0);
    EXPECT_NE(nullptr, empty);
    CoTaskMemFree(empty);
    char* block = static_cast<char*>(CoTaskMemAlloc(16));
    ASSERT_NE(nullptr, block);
    memcpy(block, "0123456789abcde", 16);
    block = static_cast<char*>(CoTaskMemRealloc(block, 4096));
    ASSERT_NE(nullptr, block);
    EXPECT_STREQ("0123456789abcde", block);
    CoTaskMemFree(block);
    CoTaskMemFree(nullptr);

    LPOLESTR text = nullptr;
    ASSERT_EQ(S_OK, StringFromCLSID(CLSID_WbemLocator, &text));
    EXPECT_EQ(std::wstring(L"{4590F811-1D3A-11D0-891F-00AA004B2E24}"), std::wstring(text));
    CoTaskMemFree(text);
}
