// A VARIANT that owns its contents: cleared when it goes, copied deeply, moved without a copy.
// Not installed.
#pragma once

#include <windows.h>

#include <utility>

namespace zp::wbem {

class OwnedVariant {
public:
    OwnedVariant() noexcept { VariantInit(&m_value); }
    // A copy that cannot be made (out of memory) leaves this one empty.
    OwnedVariant(const OwnedVariant& other) noexcept : OwnedVariant() { copyFrom(other.m_value); }
    OwnedVariant(OwnedVariant&& other) noexcept : m_value(other.m_value) {
        VariantInit(&other.m_value);
    }
    OwnedVariant& operator=(OwnedVariant other) noexcept {
        std::swap(m_value, other.m_value);
        return *this;
    }
    ~OwnedVariant() { VariantClear(&m_value); }

    VARIANT& get() noexcept { return m_value; }
    const VARIANT& get() const noexcept { return m_value; }

    // Replaces the contents with a deep copy of `source`.
    HRESULT copyFrom(const VARIANT& source) noexcept {
        return VariantCopy(&m_value, const_cast<VARIANT*>(&source));
    }

private:
    VARIANT m_value;
};

} // namespace zp::wbem
