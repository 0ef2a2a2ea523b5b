// What the COM and call-context tests share.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <wbemidl.h>

#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "support/Host.h"

namespace com_testing {

// WMI's status codes as HRESULTs (mingw declares them unsigned).
constexpr HRESULT status(long code) {
    return static_cast<HRESULT>(code);
}

// Runs `body` on a thread of its own, which starts outside any apartment.
inline void onNewThread(const std::function<void()>& body) {
    std::thread thread(body);
    thread.join();
}

// The calling thread in the multithreaded apartment for the object's lifetime.
class ComScope {
public:
    ComScope() : m_result(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    ~ComScope() {
        if (SUCCEEDED(m_result))
            CoUninitialize();
    }
    HRESULT result() const { return m_result; }

private:
    HRESULT m_result;
};

} // namespace com_testing
