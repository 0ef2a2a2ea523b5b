// The IUnknown the runtime's own objects share: identity, interface answers and exact counting.
#include "ComTesting.h"

#include "com/unknown.h"

#include <atomic>
#include <thread>
#include <vector>

namespace {

// An object of two interfaces that reports its own destruction.
class TwoFaced final : public zp::com::Unknown<TwoFaced, IWbemLocator, IWbemObjectTextSrc> {
public:
    explicit TwoFaced(int& deleted) : m_deleted(deleted) {}

    HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR, const BSTR, const BSTR, const BSTR, LONG,
                                            const BSTR, IWbemContext*, IWbemServices**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetText(LONG, IWbemClassObject*, ULONG, IWbemContext*,
                                      BSTR*) override {
        return E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE CreateFromText(LONG, BSTR, ULONG, IWbemContext*,
                                             IWbemClassObject**) override {
        return E_FAIL;
    }

private:
    friend Unknown;
    ~TwoFaced() { ++m_deleted; }

    int& m_deleted;
};

TEST(Unknown, AnswersEveryInterfaceWithOneIdentity) {
    int deleted = 0;
    auto* object = new TwoFaced(deleted);
    IWbemObjectTextSrc* textSrc = nullptr;
    ASSERT_EQ(S_OK,
              object->QueryInterface(IID_IWbemObjectTextSrc, reinterpret_cast<void**>(&textSrc)));
    // The second interface is a pointer of its own, and calls reach that interface's methods.
    EXPECT_EQ(static_cast<IWbemObjectTextSrc*>(object), textSrc);
    EXPECT_EQ(E_FAIL, textSrc->GetText(0, nullptr, 0, nullptr, nullptr));

    // IUnknown is the same pointer whichever interface it is asked through.
    IUnknown* fromFirst = nullptr;
    IUnknown* fromSecond = nullptr;
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromFirst)));
    ASSERT_EQ(S_OK, textSrc->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromSecond)));
    EXPECT_EQ(fromFirst, fromSecond);
    EXPECT_EQ(static_cast<IUnknown*>(static_cast<IWbemLocator*>(object)), fromFirst);

    IWbemLocator* locator = nullptr;
    ASSERT_EQ(S_OK, textSrc->QueryInterface(IID_IWbemLocator, reinterpret_cast<void**>(&locator)));
    EXPECT_EQ(static_cast<IWbemLocator*>(object), locator);
    EXPECT_EQ(E_NOTIMPL, locator->ConnectServer(nullptr, nullptr, nullptr, nullptr, 0, nullptr,
                                                nullptr, nullptr));

    // The creator's reference and the four answers: five, released one by one.
    EXPECT_EQ(4u, locator->Release());
    EXPECT_EQ(3u, fromSecond->Release());
    EXPECT_EQ(2u, fromFirst->Release());
    EXPECT_EQ(1u, textSrc->Release());
    EXPECT_EQ(0, deleted);
    EXPECT_EQ(0u, object->Release());
    EXPECT_EQ(1, deleted);
}

TEST(Unknown, RefusesOtherInterfacesWithoutAReference) {
    int deleted = 0;
    auto* object = new TwoFaced(deleted);
    void* answer = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, object->QueryInterface(IID_IWbemServices, &answer));
    EXPECT_EQ(nullptr, answer);
    EXPECT_EQ(E_POINTER, object->QueryInterface(IID_IWbemLocator, nullptr));
    // Neither call kept a reference: the creator's is the last.
    EXPECT_EQ(2u, object->AddRef());
    EXPECT_EQ(1u, object->Release());
    EXPECT_EQ(0u, object->Release());
    EXPECT_EQ(1, deleted);
}

TEST(Unknown, CountsExactlyAcrossThreads) {
    int deleted = 0;
    auto* object = new TwoFaced(deleted);
    constexpr int kThreads = 4;
    constexpr int kRounds = 20000;
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            while (!go)
                std::this_thread::yield();
            for (int i = 0; i < kRounds; ++i) {
                IUnknown* held = nullptr;
                object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&held));
                held->Release();
            }
        });
    go = true;
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(0, deleted);
    EXPECT_EQ(0u, object->Release());
    EXPECT_EQ(1, deleted);
}

} // namespace
