// COM support: the reference-counting interface pointer `_com_ptr_t`.
//
// `_COM_SMARTPTR_TYPEDEF(IFoo, __uuidof(IFoo))` declares `IFooPtr`. Copies add a reference,
// destruction releases it; constructing or assigning from a pointer of another interface asks
// that object for this one (QueryInterface) and holds null when it does not offer it.
#pragma once

#include "comutil.h"

#include <memory>

template <typename InterfaceType, const IID& (*IidGetter)()>
class _com_IIID_getter {
public:
    typedef InterfaceType Interface;
    static const IID& GetIID() noexcept { return IidGetter(); }
};

template <typename IIIDType>
class _com_ptr_t {
public:
    typedef IIIDType ThisIIID;
    typedef typename IIIDType::Interface Interface;

    static const IID& GetIID() noexcept { return ThisIIID::GetIID(); }

    _com_ptr_t() noexcept : m_pInterface(nullptr) {}
    _com_ptr_t(decltype(nullptr)) noexcept : m_pInterface(nullptr) {}
    // Only 0 (NULL) is accepted; anything else raises E_POINTER.
    _com_ptr_t(int null) : m_pInterface(nullptr) {
        if (null != 0)
            _com_issue_error(E_POINTER);
    }
    _com_ptr_t(Interface* object) noexcept : m_pInterface(object) { _AddRef(); }
    _com_ptr_t(Interface* object, bool addRef) noexcept : m_pInterface(object) {
        if (addRef)
            _AddRef();
    }
    _com_ptr_t(const _com_ptr_t& other) noexcept : m_pInterface(other.m_pInterface) { _AddRef(); }
    _com_ptr_t(_com_ptr_t&& other) noexcept : m_pInterface(other.m_pInterface) {
        other.m_pInterface = nullptr;
    }
    template <typename OtherIIID>
    _com_ptr_t(const _com_ptr_t<OtherIIID>& other) : m_pInterface(nullptr) {
        _QueryFrom(other.GetInterfacePtr());
    }
    template <typename Other>
    _com_ptr_t(Other* object) : m_pInterface(nullptr) {
        _QueryFrom(object);
    }
    // The interface of a VT_UNKNOWN or VT_DISPATCH variant (or of its conversion to VT_UNKNOWN).
    _com_ptr_t(const _variant_t& value) : m_pInterface(nullptr) {
        IUnknown* object = value; // a new reference
        HRESULT hr = S_OK;
        if (object) {
            hr = object->QueryInterface(GetIID(), reinterpret_cast<void**>(&m_pInterface));
            object->Release();
        }
        if (FAILED(hr) && hr != E_NOINTERFACE)
            _com_issue_error(hr);
    }
    ~_com_ptr_t() noexcept { _Release(); }

    _com_ptr_t& operator=(const _com_ptr_t& other) noexcept {
        if (m_pInterface != other.m_pInterface) {
            Interface* old = m_pInterface;
            m_pInterface = other.m_pInterface;
            _AddRef();
            if (old)
                old->Release();
        }
        return *this;
    }
    _com_ptr_t& operator=(_com_ptr_t&& other) noexcept {
        if (this != std::addressof(other)) { // operator& is the interface's address
            _Release();
            m_pInterface = other.m_pInterface;
            other.m_pInterface = nullptr;
        }
        return *this;
    }
    _com_ptr_t& operator=(Interface* object) noexcept {
        if (m_pInterface != object) {
            Interface* old = m_pInterface;
            m_pInterface = object;
            _AddRef();
            if (old)
                old->Release();
        }
        return *this;
    }
    _com_ptr_t& operator=(decltype(nullptr)) noexcept {
        _Release();
        return *this;
    }
    _com_ptr_t& operator=(int null) {
        if (null != 0)
            _com_issue_error(E_POINTER);
        _Release();
        return *this;
    }
    template <typename OtherIIID>
    _com_ptr_t& operator=(const _com_ptr_t<OtherIIID>& other) {
        return *this = _com_ptr_t(other);
    }
    template <typename Other>
    _com_ptr_t& operator=(Other* object) {
        return *this = _com_ptr_t(object);
    }

    // Takes over the caller's reference (or adds one when `addRef` says so).
    void Attach(Interface* object) noexcept {
        _Release();
        m_pInterface = object;
    }
    void Attach(Interface* object, bool addRef) {
        if (addRef && !object)
            _com_issue_error(E_POINTER);
        _Release();
        m_pInterface = object;
        if (addRef)
            _AddRef();
    }
    // Gives the reference to the caller and holds null.
    Interface* Detach() noexcept {
        Interface* object = m_pInterface;
        m_pInterface = nullptr;
        return object;
    }

    void AddRef() {
        if (!m_pInterface)
            _com_issue_error(E_POINTER);
        m_pInterface->AddRef();
    }
    void Release() {
        if (!m_pInterface)
            _com_issue_error(E_POINTER);
        m_pInterface->Release();
        m_pInterface = nullptr;
    }

    Interface* GetInterfacePtr() const noexcept { return m_pInterface; }
    Interface*& GetInterfacePtr() noexcept { return m_pInterface; }
    operator Interface*() const noexcept { return m_pInterface; }
    Interface& operator*() const {
        if (!m_pInterface)
            _com_issue_error(E_POINTER);
        return *m_pInterface;
    }
    Interface* operator->() const {
        if (!m_pInterface)
            _com_issue_error(E_POINTER);
        return m_pInterface;
    }
    // Releases the held interface and returns where a callee may store a new one.
    Interface** operator&() noexcept {
        _Release();
        return &m_pInterface;
    }
    operator bool() const noexcept { return m_pInterface != nullptr; }
    bool operator!() const noexcept { return m_pInterface == nullptr; }

    template <typename Other>
    HRESULT QueryInterface(const IID& iid, Other*& result) const {
        if (!m_pInterface)
            return E_POINTER;
        return m_pInterface->QueryInterface(iid, reinterpret_cast<void**>(&result));
    }
    template <typename Other>
    HRESULT QueryInterface(const IID& iid, Other** result) const {
        return QueryInterface(iid, *result);
    }

    bool operator==(const _com_ptr_t& other) const noexcept {
        return m_pInterface == other.m_pInterface;
    }
    bool operator!=(const _com_ptr_t& other) const noexcept {
        return m_pInterface != other.m_pInterface;
    }
    bool operator==(Interface* object) const noexcept { return m_pInterface == object; }
    bool operator!=(Interface* object) const noexcept { return m_pInterface != object; }
    bool operator==(decltype(nullptr)) const noexcept { return m_pInterface == nullptr; }
    bool operator!=(decltype(nullptr)) const noexcept { return m_pInterface != nullptr; }

private:
    void _AddRef() noexcept {
        if (m_pInterface)
            m_pInterface->AddRef();
    }
    void _Release() noexcept {
        if (m_pInterface) {
            Interface* old = m_pInterface;
            m_pInterface = nullptr;
            old->Release();
        }
    }
    template <typename Other>
    void _QueryFrom(Other* object) {
        if (!object)
            return;
        const HRESULT hr =
            object->QueryInterface(GetIID(), reinterpret_cast<void**>(&m_pInterface));
        if (FAILED(hr)) {
            m_pInterface = nullptr;
            if (hr != E_NOINTERFACE)
                _com_issue_error(hr);
        }
    }

    Interface* m_pInterface;
};

#define _COM_SMARTPTR_TYPEDEF(Interface, aIID)                                                     \
    inline const IID& __##Interface##_IID_getter() {                                               \
        return aIID;                                                                               \
    }                                                                                              \
    typedef _com_ptr_t<_com_IIID_getter<Interface, __##Interface##_IID_getter>> Interface##Ptr
