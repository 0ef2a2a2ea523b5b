#pragma once

#include <comdef.h>

#include "zudava/Export.h"
#include "zudava/wmi/WmiClass.h"
#include "zudava/wmi/WmiContext.h"
#include "zudava/wmi/WmiIndication.h"
#include "zudava/wmi/WmiInstance.h"
#include "zudava/wmi/WmiObjectEnumeration.h"
#include "zudava/wmi/WmiObjectPath.h"
#include "zudava/wmi/WmiString.h"
#include "zudava/wmi/WmiValue.h"

namespace DEZE {

// Performs WMI operations: every call names its target with a path, whose
// namespace selects the connection (`WmiConnectionFactory`), and hands the
// context to WMI with the call. The handle holds nothing between calls.
// Failures raise `WmiException` with the failed call's status.
class ZUDAVA_API WmiHandle {
public:
    WmiHandle();
    WmiHandle(const WmiHandle& other);
    WmiHandle& operator=(const WmiHandle& other);
    ~WmiHandle();

    // Classes associated with or instances associated to the path's object, by a
    // WQL "ASSOCIATORS OF" query; empty names leave their condition out.
    virtual WmiObjectEnumeration associators(const WmiContext& context, const WmiObjectPath& path,
                                             const WmiString& assocClass,
                                             const WmiString& resultClass, const WmiString& role,
                                             const WmiString& resultRole);
    // The associations that refer to the path's object ("REFERENCES OF").
    virtual WmiObjectEnumeration references(const WmiContext& context, const WmiObjectPath& path,
                                            const WmiString& resultClass, const WmiString& role);

    WmiClass getClass(const WmiContext& context, const WmiObjectPath& path);
    // The subclasses of the path's class, deep; all classes for a path without
    // class.
    WmiObjectEnumeration enumerateClasses(const WmiContext& context, const WmiObjectPath& path);
    // Stores a new class; returns the path of the stored class (namespace and
    // class name).
    WmiObjectPath createClass(const WmiContext& context, const WmiObjectPath& path,
                              const WmiClass& newClass);
    void modifyClass(const WmiContext& context, const WmiObjectPath& path,
                     const WmiClass& changedClass);
    // Deletes the path's class; the path's keys are not used.
    void deleteClass(const WmiContext& context, const WmiObjectPath& path);

    WmiInstance getInstance(const WmiContext& context, const WmiObjectPath& path);
    // The instances of the path's class and of its subclasses.
    WmiObjectEnumeration enumerateInstances(const WmiContext& context, const WmiObjectPath& path);
    // Stores a new instance; returns the path of the stored instance (the path's
    // namespace, the class and the instance's keys).
    WmiObjectPath createInstance(const WmiContext& context, const WmiObjectPath& path,
                                 const WmiInstance& instance);
    void modifyInstance(const WmiContext& context, const WmiObjectPath& path,
                        const WmiInstance& instance);
    void deleteInstance(const WmiContext& context, const WmiObjectPath& path);

    // One property of the path's instance, system properties included.
    WmiValue getPropertyValue(const WmiContext& context, const WmiObjectPath& path,
                              const WmiString& propertyName);
    // Writes one property of the path's instance and stores the instance (update
    // only).
    void setPropertyValue(const WmiContext& context, const WmiObjectPath& path,
                          const WmiString& propertyName, const WmiValue& value);

    // Hands the indication to the event sink of the path's namespace. The path's
    // class and keys and the context are not used; a namespace that gives no sink
    // delivers nothing.
    void deliverIndication(const WmiContext& context, const WmiObjectPath& path,
                           const WmiIndication& indication);
};

} // namespace DEZE
