#pragma once

#include <comdef.h>
#include <wmiutils.h>

#include "zudava/Export.h"
#include "zudava/wmi/WmiPointers.h"

namespace DEZE {

// A WMI object path (server, namespace, class and key values) over the platform's path parser.
//
// Copies share one parser object: a change made through one copy is seen through all of them.
// Every failing parser call raises `WmiException` with the call's status and a message naming
// it ("IWbemPath::SetText() failed").
class ZUDAVA_API WmiObjectPath {
public:
    // One key: its property name, value and CIM type. Copies are independent.
    class ZUDAVA_API Key {
    public:
        // Copies `value` (a failing copy raises `_com_error`).
        Key(const _bstr_t& name, const _variant_t& value, long type);
        Key(const Key& other);
        Key& operator=(const Key& other);
        ~Key();

        _bstr_t getName() const { return m_name; }
        void setName(const _bstr_t& name) { m_name = name; }
        _variant_t getValue() const { return m_value; }
        void setValue(const _variant_t& value);
        long getType() const { return m_type; }
        void setType(long type) { m_type = type; }

    private:
        _bstr_t m_name;
        _variant_t m_value;
        long m_type;
    };

    // An empty path.
    WmiObjectPath();
    // The path that `text` spells, servers optional. A key whose text looks like an object path
    // is typed reference, one that looks like a CIM datetime datetime.
    explicit WmiObjectPath(const _bstr_t& text);
    // The path of a class or instance: its "__PATH" when WMI has stored it, else (an object not
    // stored yet) its class and key properties, without server or namespace. A null object raises
    // "Invalid argument".
    WmiObjectPath(IWbemClassObjectPtr& object);
    WmiObjectPath(const WmiObjectPath& other);
    WmiObjectPath& operator=(const WmiObjectPath& other);
    ~WmiObjectPath();

    _bstr_t getHostName() const;
    void setHostName(const _bstr_t& name);
    // The namespace components joined with "\": root\cimv2; no namespace gives a null text.
    _bstr_t getNameSpace() const;
    // Splits at "\" (one trailing "\" adds nothing); an empty text removes the namespace.
    void setNameSpace(const _bstr_t& nameSpace);
    _bstr_t getClassName() const;
    void setClassName(const _bstr_t& name);

    unsigned long getKeyCount() const;
    // "Index out of bounds" (with the key list's status) past the last key.
    Key getKey(unsigned long index) const;
    // The first key of that name in any case, named as the path holds it; "Index out of bounds"
    // when there is none.
    Key getKey(const _bstr_t& name) const;
    // Replaces the key of that name or adds it.
    void setKey(const Key& key);

    // The whole path, server included.
    _bstr_t toString() const;

private:
    void create();

    IWbemPath* m_path; // one counted reference, shared by copies
};

} // namespace DEZE
