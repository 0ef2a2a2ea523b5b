#pragma once

#include <comdef.h>

#include "zudava/Export.h"
#include "zudava/wmi/WmiArray.h"
#include "zudava/wmi/WmiPointers.h"
#include "zudava/wmi/WmiProperty.h"

namespace DEZE {

// The named values that travel with a WMI call (the platform's `IWbemContext`): four boolean
// options under fixed names, the property list of a partial update, and every value as a
// `WmiProperty`.
//
// Copies share one platform context, so a value set through one copy is seen by all. The library
// never interprets the values itself; the platform or the provider serving a call does.
class ZUDAVA_API WmiContext {
public:
    // A new, empty platform context. A creation that fails raises `_com_error` with its status;
    // one that yields no context raises "Failed to create IWbemContext".
    WmiContext();
    // Shares `context`, which may be null: such a context reads every option as false, ignores
    // option writes, counts no values and raises "Index out of bounds" for every value access.
    WmiContext(const IWbemContextPtr& context);
    WmiContext(const WmiContext& other);
    WmiContext& operator=(const WmiContext& other);
    ~WmiContext();

    // The options, stored as VT_BOOL under "LocalOnly", "IncludeQualifiers", "ClassOrigin" and
    // "ExcludeSystemProperties". A getter reads false for an option never set; a value of
    // another type is converted to a boolean (`_com_error` when it cannot be). A failing write
    // leaves the context as it was and raises nothing.
    bool getLocalOnly() const;
    bool getIncludeQualifiers() const;
    bool getIncludeClassOrigin() const;
    bool getExcludeSystemProperties() const;
    void setLocalOnly(bool value);
    void setIncludeQualifiers(bool value);
    void setIncludeClassOrigin(bool value);
    void setExcludeSystemProperties(bool value);

    // A copy of the string array under "__PUT_EXT_PROPERTIES"; an empty string array when there
    // is none (or what is there is not an array of strings).
    WmiArray getPropertyList() const;
    // Leaves the context unchanged: the list is the platform's to set, not the caller's.
    void setPropertyList(const WmiArray& list);

    // How many named values the context holds, options included.
    unsigned long getPropertyCount() const;
    // A value by its position in the context's enumeration, or by name.
    WmiProperty getProperty(unsigned long index) const;
    WmiProperty getProperty(const _bstr_t& name) const;
    // Sets the property's value under its name; its type and qualifiers are not used.
    void setProperty(const WmiProperty& property);

    // The platform context, for the calls that carry it; may be null.
    const IWbemContextPtr& getContext() const;

private:
    IWbemContextPtr m_context;
};

} // namespace DEZE
