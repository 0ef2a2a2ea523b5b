// The system classes' definitions, made through the class object interface like any class.
#include "systemclasses.h"

#include "comref.h"
#include "object.h"

#include <comutil.h>

#include <map>
#include <stdexcept>

namespace zp::wbem {
namespace {

// A qualifier that goes to derived classes and instances and may not be overridden, as `key` is.
constexpr LONG kKeyFlavor = WBEM_FLAVOR_FLAG_PROPAGATE_TO_INSTANCE |
                            WBEM_FLAVOR_FLAG_PROPAGATE_TO_DERIVED_CLASS |
                            WBEM_FLAVOR_NOT_OVERRIDABLE;

void must(HRESULT hr, const char* what) {
    if (FAILED(hr))
        throw std::logic_error(std::string("building the system classes: ") + what);
}

struct PropertySpec {
    const wchar_t* name;
    CIMTYPE type;
    _variant_t value; // VT_EMPTY: none (null)
    bool key = false;
};

class Builder {
public:
    void add(const wchar_t* name, const wchar_t* superclass, bool abstract,
             std::vector<PropertySpec> properties, std::vector<const wchar_t*> keysHere = {}) {
        ComRef<IWbemClassObject> object;
        if (superclass && *superclass) {
            must(m_objects.at(superclass)->SpawnDerivedClass(0, object.put()), "SpawnDerivedClass");
        } else {
            object = ComRef<IWbemClassObject>::adopt(newClass());
        }
        _variant_t className(name);
        must(object->Put(L"__CLASS", 0, &className, 0), "__CLASS");
        if (abstract) {
            ComRef<IWbemQualifierSet> qualifiers;
            must(object->GetQualifierSet(qualifiers.put()), "GetQualifierSet");
            _variant_t yes(true);
            must(qualifiers->Put(L"abstract", &yes, 0), "abstract");
        }
        for (PropertySpec& property : properties) {
            VARIANT* value = property.value.vt == VT_EMPTY ? nullptr : &property.value;
            must(object->Put(property.name, 0, value, property.type), "Put");
            if (property.key)
                keysHere.push_back(property.name);
        }
        for (const wchar_t* key : keysHere) {
            ComRef<IWbemQualifierSet> qualifiers;
            must(object->GetPropertyQualifierSet(key, qualifiers.put()), "GetPropertyQualifierSet");
            _variant_t yes(true);
            must(qualifiers->Put(L"key", &yes, kKeyFlavor), "key");
        }
        SystemClass entry{name, superclass ? superclass : L"", {}};
        must(encodeClass(*ClassObject::from(object.get()), entry.definition), "encodeClass");
        m_classes.push_back(std::move(entry));
        m_objects.emplace(name, std::move(object));
    }

    std::vector<SystemClass> take() { return std::move(m_classes); }

private:
    std::map<std::wstring, ComRef<IWbemClassObject>> m_objects;
    std::vector<SystemClass> m_classes;
};

std::vector<SystemClass> build() {
    const _variant_t no(false);
    const _variant_t yes(true);
    const _variant_t zero(0L);
    Builder b;
    b.add(L"__SystemClass", nullptr, true, {});
    b.add(L"__NAMESPACE", L"__SystemClass", false, {{L"Name", CIM_STRING, {}, true}});
    b.add(L"__Provider", L"__SystemClass", true, {{L"Name", CIM_STRING, {}, true}});
    b.add(L"__Win32Provider", L"__Provider", false,
          {{L"ClientLoadableCLSID", CIM_STRING, {}},
           {L"CLSID", CIM_STRING, {}},
           {L"Concurrency", CIM_SINT32, {}},
           {L"DefaultMachineName", CIM_STRING, {}},
           {L"Enabled", CIM_BOOLEAN, {}},
           {L"HostingModel", CIM_STRING, {}},
           {L"ImpersonationLevel", CIM_SINT32, zero},
           {L"InitializationReentrancy", CIM_SINT32, {}},
           {L"InitializationTimeoutInterval", CIM_DATETIME, {}},
           {L"InitializeAsAdminFirst", CIM_BOOLEAN, {}},
           {L"OperationTimeoutInterval", CIM_DATETIME, {}},
           {L"PerLocaleInitialization", CIM_BOOLEAN, no},
           {L"PerUserInitialization", CIM_BOOLEAN, no},
           {L"Pure", CIM_BOOLEAN, yes},
           {L"SecurityDescriptor", CIM_STRING, {}},
           {L"SupportsExplicitShutdown", CIM_BOOLEAN, {}},
           {L"SupportsExtendedStatus", CIM_BOOLEAN, {}},
           {L"SupportsQuotas", CIM_BOOLEAN, {}},
           {L"SupportsSendStatus", CIM_BOOLEAN, {}},
           {L"SupportsShutdown", CIM_BOOLEAN, {}},
           {L"SupportsThrottling", CIM_BOOLEAN, {}},
           {L"UnloadTimeout", CIM_DATETIME, {}},
           {L"Version", CIM_UINT32, {}}});
    // The registrations are keyed by their provider in each concrete class, so that one provider
    // has one registration of each kind.
    b.add(L"__ProviderRegistration", L"__SystemClass", true, {{L"provider", CIM_REFERENCE, {}}});
    b.add(L"__ObjectProviderRegistration", L"__ProviderRegistration", true,
          {{L"InteractionType", CIM_SINT32, zero},
           {L"QuerySupportLevels", CIM_STRING | CIM_FLAG_ARRAY, {}},
           {L"SupportsBatching", CIM_BOOLEAN, {}},
           {L"SupportsDelete", CIM_BOOLEAN, no},
           {L"SupportsEnumeration", CIM_BOOLEAN, no},
           {L"SupportsGet", CIM_BOOLEAN, no},
           {L"SupportsPut", CIM_BOOLEAN, no},
           {L"SupportsTransactions", CIM_BOOLEAN, {}}});
    b.add(L"__InstanceProviderRegistration", L"__ObjectProviderRegistration", false,
          {{L"SupportsEnumeration", CIM_BOOLEAN, yes}}, {L"provider"});
    b.add(L"__MethodProviderRegistration", L"__ProviderRegistration", false, {}, {L"provider"});
    b.add(L"__EventProviderRegistration", L"__ProviderRegistration", false,
          {{L"EventQueryList", CIM_STRING | CIM_FLAG_ARRAY, {}}}, {L"provider"});
    b.add(L"__IndicationRelated", L"__SystemClass", true, {});
    b.add(L"__Event", L"__IndicationRelated", true,
          {{L"SECURITY_DESCRIPTOR", CIM_UINT8 | CIM_FLAG_ARRAY, {}},
           {L"TIME_CREATED", CIM_UINT64, {}}});
    b.add(L"__ExtrinsicEvent", L"__Event", false, {});
    b.add(L"__InstanceOperationEvent", L"__Event", false, {{L"TargetInstance", CIM_OBJECT, {}}});
    b.add(L"__InstanceCreationEvent", L"__InstanceOperationEvent", false, {});
    b.add(L"__InstanceModificationEvent", L"__InstanceOperationEvent", false,
          {{L"PreviousInstance", CIM_OBJECT, {}}});
    b.add(L"__InstanceDeletionEvent", L"__InstanceOperationEvent", false, {});
    // Method signatures are copies of this class (no superclass, no members): the in-parameters
    // in one, the out-parameters and ReturnValue in another, each parameter with its ID.
    b.add(L"__PARAMETERS", nullptr, true, {});
    return b.take();
}

} // namespace

const std::vector<SystemClass>& systemClasses() {
    static const std::vector<SystemClass> classes = build();
    return classes;
}

bool isSystemName(const std::wstring& name) {
    return name.size() >= 2 && name[0] == L'_' && name[1] == L'_';
}

} // namespace zp::wbem
