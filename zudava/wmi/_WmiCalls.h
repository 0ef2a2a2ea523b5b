// Owners for what the WMI client interfaces hand out (internal to the library).
//
// Every platform call of the object model receives its outputs into one of these, so that a
// failure anywhere releases whatever the call gave, and every enumeration that was begun is ended
// on the way out.
#pragma once

#include <comdef.h>

namespace DEZE {

// A BSTR received from the platform; freed on destruction.
class _WmiBstrOut {
public:
    _WmiBstrOut() = default;
    _WmiBstrOut(const _WmiBstrOut&) = delete;
    _WmiBstrOut& operator=(const _WmiBstrOut&) = delete;
    ~_WmiBstrOut() { SysFreeString(m_text); }

    BSTR* operator&() { return &m_text; }
    BSTR get() const { return m_text; }
    // The text, taken over without a copy.
    _bstr_t release() {
        BSTR text = m_text;
        m_text = nullptr;
        return _bstr_t(text, false);
    }

private:
    BSTR m_text = nullptr;
};

// A SAFEARRAY received from the platform; destroyed on destruction.
class _WmiSafeArrayOut {
public:
    _WmiSafeArrayOut() = default;
    _WmiSafeArrayOut(const _WmiSafeArrayOut&) = delete;
    _WmiSafeArrayOut& operator=(const _WmiSafeArrayOut&) = delete;
    ~_WmiSafeArrayOut() {
        if (m_array)
            SafeArrayDestroy(m_array);
    }

    SAFEARRAY** operator&() { return &m_array; }

    // Upper bound minus lower bound plus one of dimension 1. The bound calls' results are not
    // examined: an array that has no bounds to give counts 0.
    unsigned long count() const {
        LONG lower = 0;
        LONG upper = -1;
        SafeArrayGetLBound(m_array, 1, &lower);
        SafeArrayGetUBound(m_array, 1, &upper);
        return static_cast<unsigned long>(static_cast<ULONG>(upper - lower + 1));
    }

private:
    SAFEARRAY* m_array = nullptr;
};

// An enumeration begun on a platform object: ended exactly once, explicitly with `end` (whose
// status the caller judges) or, when an exception leaves first, by the destructor.
template <typename Ending>
class _WmiEnumerationScope {
public:
    explicit _WmiEnumerationScope(Ending ending) : m_ending(ending) {}
    _WmiEnumerationScope(const _WmiEnumerationScope&) = delete;
    _WmiEnumerationScope& operator=(const _WmiEnumerationScope&) = delete;
    ~_WmiEnumerationScope() {
        if (m_open)
            m_ending();
    }

    HRESULT end() {
        m_open = false;
        return m_ending();
    }

private:
    Ending m_ending;
    bool m_open = true;
};

template <typename Ending>
_WmiEnumerationScope<Ending> _wmiEnumerationScope(Ending ending) {
    return _WmiEnumerationScope<Ending>(ending);
}

} // namespace DEZE
