#include "zudava/wmi/WmiClass.h"

#include "zudava/foundation/Raise.h"
#include "zudava/wmi/WmiConnectionFactory.h"
#include "zudava/wmi/_WmiMethodSet.h"

namespace DEZE {

namespace {

constexpr unsigned long kClassGenus = 1;

bool isEmpty(const _bstr_t& text) {
    return text.length() == 0;
}

} // namespace

WmiClass::WmiClass(const IWbemClassObjectPtr& object) : WmiObject(object) {
    if (!object)
        throwLibraryError(L"Invalid argument");
    if (getGenus() != kClassGenus)
        throwLibraryError(L"Invalid object type");
}

WmiClass::WmiClass(const _bstr_t& nameSpace, const _bstr_t& className)
    : WmiObject(IWbemClassObjectPtr()) {
    const WmiConnection connection = WmiConnectionFactory::create(nameSpace);
    const HRESULT hr =
        connection.getServices()->GetObject(className, 0, nullptr, &pointer(), nullptr);
    // A class that is not there yet is an empty class object, not an error.
    if (hr != static_cast<HRESULT>(WBEM_E_INVALID_CLASS))
        throwIfFailed(hr, L"IWbemServices::GetObject() failed");
}

WmiClass::WmiClass(const _bstr_t& nameSpace, const _bstr_t& className,
                   const _bstr_t& superClassName)
    : WmiObject(IWbemClassObjectPtr()) {
    const WmiConnection connection = WmiConnectionFactory::create(nameSpace);
    IWbemServices* services = connection.getServices();
    if (!services)
        _com_issue_error(E_POINTER);
    if (!isEmpty(superClassName)) {
        IWbemClassObjectPtr superClass;
        throwIfFailed(services->GetObject(superClassName, 0, nullptr, &superClass, nullptr),
                      L"IWbemClassObject::GetObject() failed");
        throwIfFailed(superClass->SpawnDerivedClass(0, &pointer()),
                      L"IWbemClassObject::SpawnDerivedClass() failed");
    } else {
        // A null path gives the service's empty class.
        throwIfFailed(services->GetObject(nullptr, 0, nullptr, &pointer(), nullptr),
                      L"IWbemServices::GetObject() failed");
    }
    _variant_t name(className);
    throwIfFailed(GetInterfacePtr()->Put(L"__CLASS", 0, &name, 0),
                  L"IWbemClassObject::Put() failed");
}

WmiClass::WmiClass(const WmiClass& other) : WmiObject(other) {}

WmiClass& WmiClass::operator=(const WmiClass& other) {
    WmiObject::operator=(other);
    return *this;
}

WmiClass::~WmiClass() = default;

unsigned long WmiClass::getMethodCount() const {
    return _WmiMethodSet(*this).getCount();
}

WmiMethod WmiClass::getMethod(unsigned long index) const {
    return _WmiMethodSet(*this).get(index);
}

WmiMethod WmiClass::getMethod(const _bstr_t& name) const {
    return _WmiMethodSet(*this).get(name);
}

} // namespace DEZE
