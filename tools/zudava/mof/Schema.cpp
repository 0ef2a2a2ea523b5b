#include "Schema.h"

namespace mof {

const PropertyShape* ClassShape::findProperty(std::string_view name) const {
    for (const ClassShape* shape = this; shape; shape = shape->parent.get())
        for (const PropertyShape& property : shape->properties)
            if (equalsNoCase(property.name, name))
                return &property;
    return nullptr;
}

bool ClassShape::hasMethod(std::string_view name) const {
    for (const ClassShape* shape = this; shape; shape = shape->parent.get())
        for (const std::string& method : shape->methods)
            if (equalsNoCase(method, name))
                return true;
    return false;
}

std::vector<const PropertyShape*> ClassShape::keys() const {
    std::vector<const ClassShape*> chain;
    for (const ClassShape* shape = this; shape; shape = shape->parent.get())
        chain.insert(chain.begin(), shape);
    std::vector<const PropertyShape*> keys;
    for (const ClassShape* shape : chain)
        for (const PropertyShape& property : shape->properties) {
            // A subclass that repeats a key property keeps its place in the path.
            const PropertyShape* effective = findProperty(property.name);
            if (effective && effective->key) {
                bool seen = false;
                for (const PropertyShape* key : keys)
                    seen = seen || equalsNoCase(key->name, property.name);
                if (!seen)
                    keys.push_back(effective);
            }
        }
    return keys;
}

} // namespace mof
