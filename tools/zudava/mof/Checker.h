// Gives a parsed Unit its meaning: qualifier declarations resolved and their flavors applied,
// classes and instances checked against what exists (in the store or earlier in the run), values
// checked against their types and aliases turned into object paths.
//
// A checker lives for one run of the compiler. What a Unit declares becomes visible to the Units
// checked after it, but only when the whole Unit passes: a Unit with an error leaves no trace.
#pragma once

#include "Model.h"
#include "Schema.h"

#include <map>
#include <memory>
#include <string>

namespace mof {

class Checker {
public:
    explicit Checker(Schema& stored);

    // Completes the unit in place (flavors, types of instance values, paths, converted values).
    // Throws MofError at the first fault.
    void check(Unit& unit);

    // The class as the run knows it: compiled earlier in the run, else from the store.
    std::shared_ptr<const ClassShape> findClass(const std::string& nameSpace,
                                                const std::string& name);

private:
    struct Pass;
    struct Declared {
        QualifierDeclaration declaration;
        bool typed = false; // from a full declaration (not only flavors)
    };

    Schema& m_stored;
    // Keys: lower-case namespace, '\n', lower-case name.
    std::map<std::string, std::shared_ptr<const ClassShape>> m_classes;
    std::map<std::string, std::shared_ptr<const ClassShape>> m_storedCache;
    std::map<std::string, Declared> m_qualifiers;
};

// The flavors WMI's compiler gives a qualifier that no declaration describes: those of
// IWbemQualifierSet::Put's default flavor 0 (WBEM_FLAVOR_OVERRIDABLE |
// WBEM_FLAVOR_DONT_PROPAGATE): overridable, propagated neither to subclasses nor to instances,
// not amended.
constexpr uint8_t kUndeclaredFlavors = 0;
// The flavors a full declaration starts from before its Flavor(...) list: EnableOverride and
// ToSubclass, the defaults of a CIM qualifier type.
constexpr uint8_t kDeclaredFlavors = kToSubclass;

} // namespace mof
