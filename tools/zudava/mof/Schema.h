// What the checker must know of the classes that already exist where a MOF text stores its
// objects, and the interface through which it asks.
#pragma once

#include "Value.h"

#include <memory>
#include <string>
#include <vector>

namespace mof {

// A qualifier that a subclass or an instance may not change: it propagates and is not
// overridable.
struct LockedQualifier {
    std::string name;
    Value value;
};

struct PropertyShape {
    std::string name;
    Type type = Type::None;
    bool isArray = false;
    uint32_t arraySize = 0;
    std::string referenceClass;
    bool key = false;
    bool hasDefault = false;
    Value defaultValue; // kept for keys only: an instance's path may need it
    std::vector<LockedQualifier> locked;
};

// A class as far as checking needs it. A class compiled in this run points at its superclass's
// shape; a class read from the store comes flattened (parent empty, every property in properties).
struct ClassShape {
    std::string name;
    std::string superclass;
    std::shared_ptr<const ClassShape> parent;
    std::vector<PropertyShape> properties;
    std::vector<std::string> methods;
    std::vector<LockedQualifier> locked;
    bool abstract = false;
    bool singleton = false;

    // The property of this class or its nearest ancestor with that name, or nullptr.
    const PropertyShape* findProperty(std::string_view name) const;
    bool hasMethod(std::string_view name) const;
    // The key properties in the order a path lists them: from the root class down.
    std::vector<const PropertyShape*> keys() const;
};

// The classes that exist before the run.
class Schema {
public:
    virtual ~Schema() = default;
    // The class in that namespace, or nullptr when there is none. May throw std::runtime_error
    // when the store cannot be asked.
    virtual std::shared_ptr<const ClassShape> findClass(const std::string& nameSpace,
                                                        const std::string& name) = 0;
};

// A schema with nothing in it: every class must come from the run itself.
class EmptySchema : public Schema {
public:
    std::shared_ptr<const ClassShape> findClass(const std::string&, const std::string&) override {
        return nullptr;
    }
};

} // namespace mof
