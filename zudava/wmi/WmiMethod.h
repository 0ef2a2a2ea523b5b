#pragma once

#include <comdef.h>

#include "zudava/Export.h"
#include "zudava/wmi/WmiParameter.h"
#include "zudava/wmi/WmiPointers.h"
#include "zudava/wmi/WmiQualifier.h"

namespace DEZE {

// A method of a WMI class: its name, its in- and out-parameter signatures and its qualifiers.
//
// The signatures and the qualifier set are the class's own objects, held by reference, so every
// read goes to the platform and sees their current state. A method without an in- or out-
// signature has no such parameters: counting gives 0 and lookups raise "Index out of bounds".
class ZUDAVA_API WmiMethod {
public:
    // Each pointer may be null; a non-null one gets a reference of its own.
    WmiMethod(const _bstr_t& name, IWbemClassObject* inParameters, IWbemClassObject* outParameters,
              IWbemQualifierSet* qualifiers);
    WmiMethod(const WmiMethod& other);
    WmiMethod& operator=(const WmiMethod& other);
    ~WmiMethod();

    _bstr_t getName() const;

    unsigned long getInParameterCount() const;
    unsigned long getOutParameterCount() const;
    WmiParameter getInParameter(unsigned long index) const;
    WmiParameter getInParameter(const _bstr_t& name) const;
    WmiParameter getOutParameter(unsigned long index) const;
    WmiParameter getOutParameter(const _bstr_t& name) const;

    unsigned long getQualifierCount() const;
    WmiQualifier getQualifier(unsigned long index) const;
    WmiQualifier getQualifier(const _bstr_t& name) const;

private:
    // Declared in this order so that destruction releases the qualifiers first and the name last.
    _bstr_t m_name;
    IWbemClassObjectPtr m_inParameters;
    IWbemClassObjectPtr m_outParameters;
    IWbemQualifierSetPtr m_qualifiers;
};

} // namespace DEZE
