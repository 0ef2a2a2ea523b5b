// The in-memory form of a WMI class: what a class object defines and what its instances share.
//
// A `ClassDef` is the flattened class as WMI keeps it: the derivation, every property from the
// root class down to this one (inherited ones first, each group in definition order), methods,
// and the qualifiers of each, with the qualifiers that came down from a superclass marked
// WBEM_FLAVOR_ORIGIN_PROPAGATED. Once a definition is shared (by instances, by a repository's
// cache, by clones) it is never changed again: a class object that is edited copies its
// definition first, so instances hold their class by reference count and never copy it.
// Not installed.
#pragma once

#include <windows.h>
#include <comdef.h>

#include "names.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zp::wbem {

// A qualifier: its value and flavor. `flavor` holds the WBEM_FLAVOR_* propagation and override
// bits together with the origin bits (WBEM_FLAVOR_ORIGIN_LOCAL, _PROPAGATED, _SYSTEM), as
// IWbemQualifierSet::Get reports them.
struct Qualifier {
    std::wstring name;
    _variant_t value;
    LONG flavor = 0;

    Qualifier() = default;
    Qualifier(const Qualifier&) = default;
    Qualifier& operator=(const Qualifier&) = default;
    // _variant_t copies when moved; these hand its bits over, so that a growing list (and a
    // class with hundreds of described members) does not copy every string it holds.
    Qualifier(Qualifier&& other) noexcept;
    Qualifier& operator=(Qualifier&& other) noexcept;
};

// A list of qualifiers that its copies share until one of them is changed. A derived class
// inherits every member's qualifiers, and in a deep schema most of them are the same
// propagated list all the way down: sharing it makes deriving a class cost its member count,
// not the text of every description above it.
//
// Reading goes through the const members (iteration is read-only); changing goes through the
// non-const `operator[]`, `push_back`, `erase` and `clear`, which first copy a shared list. A
// reference got from the non-const `operator[]` is good until the list is next copied.
class QualifierList;
QualifierList propagatedQualifiers(const QualifierList& list, bool toInstance);

class QualifierList {
public:
    using Items = std::vector<Qualifier>;
    using value_type = Qualifier;
    using const_iterator = Items::const_iterator;

    QualifierList() noexcept = default;

    bool empty() const noexcept { return !m_items || m_items->items.empty(); }
    size_t size() const noexcept { return m_items ? m_items->items.size() : 0; }
    const_iterator begin() const noexcept { return items().begin(); }
    const_iterator end() const noexcept { return items().end(); }
    const Qualifier& operator[](size_t index) const { return m_items->items[index]; }
    const Qualifier& front() const { return m_items->items.front(); }
    const Qualifier& back() const { return m_items->items.back(); }

    Qualifier& operator[](size_t index) { return own()[index]; }
    void push_back(Qualifier qualifier) { own().push_back(std::move(qualifier)); }
    void erase(const_iterator at);
    void clear() noexcept { m_items.reset(); }
    void reserve(size_t count) { own().reserve(count); }

private:
    friend QualifierList propagatedQualifiers(const QualifierList& list, bool toInstance);
    struct Block {
        Items items;
        // What the list propagates to a derived class, made once for all of them (read and
        // written atomically: a shared list is read by any number of threads).
        mutable std::shared_ptr<Block> toSubclass;
    };

    static const Items& none();
    const Items& items() const noexcept { return m_items ? m_items->items : none(); }
    Items& own(); // the list to change: made or copied first unless this object alone holds it

    std::shared_ptr<Block> m_items;
};

// Index of a qualifier in the list by name, or -1.
int findQualifier(const QualifierList& list, const wchar_t* name);

// A property of a class (or a parameter of a method signature).
struct Property {
    std::wstring name;
    LONG type = 0;    // CIMTYPE, with CIM_FLAG_ARRAY for arrays
    _variant_t value; // the class's value (default for instances); VT_NULL when it has none
    QualifierList qualifiers;
    uint16_t origin = 0;   // depth of the class that introduced it: 0 is the root class
    bool ownValue = false; // this class (not the origin) gave the value

    Property() = default;
    Property(const Property&) = default;
    Property& operator=(const Property&) = default;
    Property(Property&& other) noexcept; // as Qualifier's
    Property& operator=(Property&& other) noexcept;
};

struct ClassDef;

// A method: its signatures are `__PARAMETERS` classes whose properties are the parameters, each
// with an `ID` qualifier giving its position (the out signature also holds `ReturnValue`).
// A missing signature is null.
struct Method {
    std::wstring name;
    std::shared_ptr<const ClassDef> in;
    std::shared_ptr<const ClassDef> out;
    QualifierList qualifiers;
    uint16_t origin = 0;
};

// Where a stored class or instance lives; the repository sets it on what it reads back.
// `server` is the machine name in upper case, `nameSpace` the namespace path as stored
// (`root\cimv2`).
struct Location {
    std::wstring server;
    std::wstring nameSpace;
};

struct ClassDef {
    std::wstring name;                    // __CLASS; empty until Put on a new class
    std::vector<std::wstring> derivation; // __DERIVATION: superclass first, root class last
    QualifierList qualifiers;             // the class's own qualifier set
    std::vector<Property> properties;     // inherited ones (root class first), then local ones
    std::vector<Method> methods;          // the same order
    // Null until stored; the repository sets it on definitions it reads back.
    std::shared_ptr<const Location> location;
    // The superclass's definition (null for a root class): what an inherited member returns to
    // when this class's change to it is deleted, and what the stored form is a difference from.
    std::shared_ptr<const ClassDef> parent;

    // Derived from the above by `finish()`; read-only to users.
    std::vector<uint32_t> keys; // indexes of the `key` properties, in property order
    bool isAbstract = false;
    bool isSingleton = false;
    bool isAssociation = false;

    uint16_t depth() const { return static_cast<uint16_t>(derivation.size()); }
    const std::wstring& superclass() const; // empty for a root class
    const std::wstring& dynasty() const;    // the root class's name (this one's for a root)
    // The class that introduced a member of the given origin depth.
    const std::wstring& originName(uint16_t origin) const;

    int findProperty(const wchar_t* name) const; // index or -1; system names are not properties
    int findMethod(const wchar_t* name) const;

    // Recomputes the derived fields; call after changing properties or qualifiers (only those
    // for which `shapesClass` holds matter).
    void finish();
};

using ClassDefPtr = std::shared_ptr<const ClassDef>;

// The definition of a new, unnamed class derived from `parent`: qualifiers propagated as their
// flavors say (marked WBEM_FLAVOR_ORIGIN_PROPAGATED), every member inherited, no location.
std::shared_ptr<ClassDef> deriveClass(const ClassDefPtr& parent);
// The qualifiers of `list` that reach a derived class (`toInstance` false) or an instance. A
// list that is already what it propagates (every qualifier propagated and propagating) comes back
// shared, not copied.
QualifierList propagatedQualifiers(const QualifierList& list, bool toInstance);
// Whether a qualifier of this name feeds ClassDef's derived fields (key, abstract, ...).
bool shapesClass(const wchar_t* qualifier);
// Whether a qualifier list holds `name` with a true boolean value.
bool hasTrueQualifier(const QualifierList& list, const wchar_t* name);

} // namespace zp::wbem
