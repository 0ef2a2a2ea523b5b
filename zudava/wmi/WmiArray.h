#pragma once

#include <comdef.h>

#include "zudava/Export.h"

namespace DEZE {

// A one-dimensional SAFEARRAY of WMI values, owned, with its CIM element type.
//
// Arrays made here start at index 0; the positions the operations take are SAFEARRAY indices as
// they stand. Copies are deep. Failures raise `WmiException` naming the failed call.
class ZUDAVA_API WmiArray {
public:
    // A copy of `source`, or a new empty array of the type when `source` is null. The array flag
    // of `cimType` is dropped.
    WmiArray(const SAFEARRAY* source, long cimType);
    // A new array of `count` elements: the first `count` elements of `source` (which must have
    // the type's element VARTYPE), or zeros when `source` is null.
    WmiArray(const SAFEARRAY* source, long cimType, unsigned long count);
    WmiArray(const WmiArray& other);
    WmiArray& operator=(const WmiArray& other);
    ~WmiArray();

    // The array itself; it stays owned by this object.
    operator SAFEARRAY*();
    operator const SAFEARRAY*() const;

    long getType() const;
    unsigned long getElementCount() const;
    _variant_t getElement(unsigned long index) const;
    // Stores `value` at `index`: converted to text for string arrays (an empty text is kept as
    // an empty, non-null string), as an interface for object arrays, else as the value's data.
    void setElement(unsigned long index, const _variant_t& value);
    // Grows the array by one and stores `value` last.
    void addElement(const _variant_t& value);
    // Removes the element at `index`, moving the later ones down; a position at or past the end
    // removes the last element.
    void removeElement(unsigned long index);
    // The elements' text forms joined by ", ".
    _bstr_t toString() const;

private:
    VARTYPE elementVartype() const;

    SAFEARRAY* m_array;
    long m_type;
};

} // namespace DEZE
