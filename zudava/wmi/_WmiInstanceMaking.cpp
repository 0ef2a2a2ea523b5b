#include "zudava/wmi/_WmiInstanceMaking.h"

#include "zudava/foundation/Raise.h"
#include "zudava/wmi/WmiConnectionFactory.h"

namespace DEZE {

namespace {

constexpr unsigned long kInstanceGenus = 2;

} // namespace

void _wmiCheckInstance(const WmiObject& object) {
    if (!object)
        throwLibraryError(L"Invalid argument");
    if (object.getGenus() != kInstanceGenus)
        throwLibraryError(L"Invalid object type");
}

void _wmiSpawnInstance(const _bstr_t& nameSpace, const _bstr_t& className,
                       IWbemClassObjectPtr& instance) {
    if (nameSpace.length() == 0 && className.length() == 0)
        throwLibraryError(L"Invalid argument");
    const WmiConnection connection = WmiConnectionFactory::create(nameSpace);
    IWbemClassObjectPtr classObject;
    throwIfFailed(connection.getServices()->GetObject(className, 0, nullptr, &classObject, nullptr),
                  L"IWbemServices::GetObject() failed");
    throwIfFailed(classObject->SpawnInstance(0, &instance),
                  L"IWbemClassObject::SpawnInstance() failed");
}

} // namespace DEZE
