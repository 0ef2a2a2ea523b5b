#pragma once

#include <comdef.h>

#include "zudava/Export.h"
#include "zudava/wmi/WmiPointers.h"
#include "zudava/wmi/WmiObjectPath.h"
#include "zudava/wmi/WmiProperty.h"
#include "zudava/wmi/WmiQualifier.h"

namespace DEZE {

// One WMI object (class or instance), held as a counted `IWbemClassObject`
// pointer.
//
// A `WmiObject` is that pointer: it can be passed wherever one is expected,
// which is how an object from an enumeration becomes a `WmiClass` or
// `WmiInstance`. Copies share the one platform object, so a change made through
// one copy is seen by all; nothing reaches the WMI repository until the object
// is stored through `WmiHandle`. The pointer may be null: counts are then 0 and
// lookups raise "Index out of bounds" (a positional property lookup
// "GetInterfacePtr failed.").
//
// Property counts and positions cover the non-system properties; a lookup by
// name also finds system properties such as "__PATH", which come without
// qualifiers.
class ZUDAVA_API WmiObject : public IWbemClassObjectPtr {
public:
    WmiObject(const IWbemClassObjectPtr& object);
    WmiObject(const WmiObject& other);
    WmiObject& operator=(const WmiObject& other);
    ~WmiObject();

    // The "__GENUS" system property: 1 for a class, 2 for an instance.
    unsigned long getGenus() const;

    virtual WmiObjectPath getPath() const;
    virtual unsigned long getPropertyCount() const;
    virtual WmiProperty getProperty(const _bstr_t& name) const;
    virtual WmiProperty getProperty(unsigned long index) const;
    // Writes the property's name and value; its type and qualifiers are not
    // written.
    virtual void setProperty(const WmiProperty& property);
    virtual unsigned long getQualifierCount() const;
    virtual WmiQualifier getQualifier(const _bstr_t& name) const;
    virtual WmiQualifier getQualifier(unsigned long index) const;
    virtual void setQualifier(const WmiQualifier& qualifier);
    // The object as CIM-XML (DTD 2.0) without system properties, qualifiers or
    // class origins, whatever the caller's contexts say.
    virtual _bstr_t toXml() const;

protected:
    // The pointer itself, for the constructors that make their object.
    IWbemClassObjectPtr& pointer() { return *this; }
};

} // namespace DEZE
