// One owner of one COM interface reference: released when the owner goes. Not installed.
#pragma once

#include <unknwn.h>

#include <utility>

namespace zp::wbem {

template <class T>
class ComRef {
public:
    ComRef() = default;
    // Takes over a reference the caller owns.
    static ComRef adopt(T* p) {
        ComRef r;
        r.m_p = p;
        return r;
    }
    // Adds a reference of its own.
    static ComRef share(T* p) {
        if (p)
            p->AddRef();
        return adopt(p);
    }
    ComRef(const ComRef& other) : m_p(other.m_p) {
        if (m_p)
            m_p->AddRef();
    }
    ComRef(ComRef&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    ComRef& operator=(ComRef other) noexcept {
        std::swap(m_p, other.m_p);
        return *this;
    }
    ~ComRef() {
        if (m_p)
            m_p->Release();
    }

    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // Hands the reference to the caller.
    T* detach() { return std::exchange(m_p, nullptr); }
    // For out-parameters: releases what is held and gives the slot.
    T** put() {
        *this = ComRef();
        return &m_p;
    }

private:
    T* m_p = nullptr;
};

} // namespace zp::wbem
