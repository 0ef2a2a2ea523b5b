// IUnknown for the runtime's own COM objects. Not installed.
#pragma once

#include <windows.h>

#include <atomic>

namespace zp::com {

// Implements IUnknown for `Object`, a class that derives from this and implements `Interfaces`:
// QueryInterface answers IUnknown (as the first interface, so that every IUnknown of the object
// is the same pointer) and each of `Interfaces`; the reference count is atomic, starts at 1 (the
// creator's reference) and deletes the object when it falls to 0. An object with a private
// destructor befriends its base.
template <class Object, class... Interfaces>
class Unknown : public Interfaces... {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(riid, IID_IUnknown))
            *object = static_cast<First*>(this);
        else
            (void)(... || answer<Interfaces>(riid, object));
        if (!*object)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        return m_refs.fetch_add(1, std::memory_order_relaxed) + 1;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = m_refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0)
            delete static_cast<Object*>(this);
        return left;
    }

protected:
    Unknown() = default;
    ~Unknown() = default;
    Unknown(const Unknown&) = delete;
    Unknown& operator=(const Unknown&) = delete;

private:
    template <class Head, class...>
    struct Front {
        using Type = Head;
    };
    using First = typename Front<Interfaces...>::Type;

    template <class Interface>
    bool answer(REFIID riid, void** object) {
        if (!IsEqualIID(riid, __uuidof(Interface)))
            return false;
        *object = static_cast<Interface*>(this);
        return true;
    }

    std::atomic<ULONG> m_refs{1};
};

} // namespace zp::com
