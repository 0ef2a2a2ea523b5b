// IWbemQualifierSet: a live view of the qualifiers of one object, property or method. It keeps
// its owner alive and works on the owner's current state under the owner's lock, so qualifiers
// written through it are seen by every later Get on the object, as in WMI. Not installed.
#pragma once

#include "object.h"

namespace zp::wbem {

class QualifierSet final : public IWbemQualifierSet {
public:
    // Takes a reference on `owner`.
    QualifierSet(ClassObject* owner, ClassObject::Target target, std::wstring name);
    QualifierSet(const QualifierSet&) = delete;
    QualifierSet& operator=(const QualifierSet&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IWbemQualifierSet, in the SDK's order
    HRESULT STDMETHODCALLTYPE Get(LPCWSTR name, LONG flags, VARIANT* value, LONG* flavor) override;
    HRESULT STDMETHODCALLTYPE Put(LPCWSTR name, VARIANT* value, LONG flavor) override;
    HRESULT STDMETHODCALLTYPE Delete(LPCWSTR name) override;
    HRESULT STDMETHODCALLTYPE GetNames(LONG flags, SAFEARRAY** names) override;
    HRESULT STDMETHODCALLTYPE BeginEnumeration(LONG flags) override;
    HRESULT STDMETHODCALLTYPE Next(LONG flags, BSTR* name, VARIANT* value, LONG* flavor) override;
    HRESULT STDMETHODCALLTYPE EndEnumeration() override;

private:
    ~QualifierSet();
    // The qualifiers the names flags select (0, WBEM_FLAG_LOCAL_ONLY, WBEM_FLAG_PROPAGATED_ONLY).
    HRESULT selected(LONG flags, QualifierList& list) const;

    std::atomic<ULONG> m_refs{1};
    ClassObject* const m_owner;
    const ClassObject::Target m_target;
    const std::wstring m_name;
    // The enumeration: the names it will visit (guarded by the owner's lock); null: none begun.
    std::unique_ptr<std::vector<std::wstring>> m_enumeration;
    size_t m_position = 0;
};

} // namespace zp::wbem
