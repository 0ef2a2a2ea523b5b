#include "zudava/wmi/WmiObject.h"

#include "zudava/foundation/Raise.h"
#include "zudava/wmi/WmiContext.h"
#include "zudava/wmi/_WmiCalls.h"
#include "zudava/wmi/_WmiPropertySet.h"
#include "zudava/wmi/_WmiQualifierSet.h"

namespace DEZE {

namespace {

// The object's own qualifier set, asked for anew on every call.
IWbemQualifierSetPtr qualifiersOf(IWbemClassObject* object) {
    if (!object)
        throwLibraryError(L"Index out of bounds");
    IWbemQualifierSetPtr qualifiers;
    throwIfFailed(object->GetQualifierSet(&qualifiers),
                  L"IWbemObjectObject::GetQualifierSet() failed");
    return qualifiers;
}

} // namespace

WmiObject::WmiObject(const IWbemClassObjectPtr& object) : IWbemClassObjectPtr(object) {}

WmiObject::WmiObject(const WmiObject& other) : IWbemClassObjectPtr(other) {}

WmiObject& WmiObject::operator=(const WmiObject& other) {
    IWbemClassObjectPtr::operator=(other);
    return *this;
}

WmiObject::~WmiObject() = default;

unsigned long WmiObject::getGenus() const {
    IWbemClassObject* object = GetInterfacePtr();
    if (!object)
        throwLibraryError(L"Index out of bounds");
    _variant_t genus;
    throwIfFailed(object->Get(L"__GENUS", 0, &genus, nullptr, nullptr),
                  L"IWbemClassObject::Get() failed");
    if (V_VT(&genus) != VT_UI4)
        genus.ChangeType(VT_UI4);
    return V_UI4(&genus);
}

WmiObjectPath WmiObject::getPath() const {
    IWbemClassObjectPtr object(*this);
    return WmiObjectPath(object);
}

unsigned long WmiObject::getPropertyCount() const {
    return _WmiPropertySet(*this, WBEM_FLAG_NONSYSTEM_ONLY).getCount();
}

WmiProperty WmiObject::getProperty(const _bstr_t& name) const {
    return _WmiPropertySet(*this, WBEM_FLAG_NONSYSTEM_ONLY).get(name);
}

WmiProperty WmiObject::getProperty(unsigned long index) const {
    return _WmiPropertySet(*this, WBEM_FLAG_NONSYSTEM_ONLY).get(index);
}

void WmiObject::setProperty(const WmiProperty& property) {
    _WmiPropertySet(*this, WBEM_FLAG_NONSYSTEM_ONLY).put(property);
}

unsigned long WmiObject::getQualifierCount() const {
    return _WmiQualifierSet(qualifiersOf(GetInterfacePtr())).getCount();
}

WmiQualifier WmiObject::getQualifier(const _bstr_t& name) const {
    return _WmiQualifierSet(qualifiersOf(GetInterfacePtr())).get(name);
}

WmiQualifier WmiObject::getQualifier(unsigned long index) const {
    return _WmiQualifierSet(qualifiersOf(GetInterfacePtr())).get(index);
}

void WmiObject::setQualifier(const WmiQualifier& qualifier) {
    _WmiQualifierSet(qualifiersOf(GetInterfacePtr())).put(qualifier);
}

_bstr_t WmiObject::toXml() const {
    IWbemObjectTextSrcPtr source;
    const HRESULT created =
        CoCreateInstance(CLSID_WbemObjectTextSrc, nullptr, CLSCTX_INPROC_SERVER,
                         IID_IWbemObjectTextSrc, reinterpret_cast<void**>(&source));
    if (FAILED(created) && created != E_NOINTERFACE)
        _com_issue_error(created);
    // Without a text source (E_NOINTERFACE) the call below raises E_POINTER.
    // The rendering is the same whatever the caller's own contexts hold.
    WmiContext context;
    context.setLocalOnly(false);
    context.setIncludeClassOrigin(false);
    context.setIncludeQualifiers(false);
    context.setExcludeSystemProperties(true);
    _WmiBstrOut text;
    throwIfFailed(source->GetText(0, GetInterfacePtr(), WMI_OBJ_TEXT_CIM_DTD_2_0,
                                  context.getContext(), &text),
                  L"IWbemObjectTextSrc::GetText() failed");
    return text.release();
}

} // namespace DEZE
