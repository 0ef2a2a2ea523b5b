// Where a compiled run stores what it declares. The compiler hands over checked declarations
// only: every name resolved, every value in the form its type stores (see Value), every
// qualifier's flavors resolved. A target just writes them.
#pragma once

#include "Model.h"
#include "Schema.h"

#include <stdexcept>

namespace mof {

// A write that the store refused: the message names the status.
class StoreError : public std::runtime_error {
public:
    StoreError(const std::string& message, uint32_t status)
        : std::runtime_error(message), m_status(status) {}
    uint32_t status() const { return m_status; }

private:
    uint32_t m_status;
};

class Target : public Schema {
public:
    // Qualifier declarations are checked and applied by the compiler; a target may keep them.
    virtual void putQualifierDeclaration(const QualifierDeclaration&) {}
    // Creates or updates the class as its classFlags say. Throws StoreError.
    virtual void putClass(const ClassDeclaration& declaration) = 0;
    // Creates or updates the instance as its instanceFlags say. Throws StoreError.
    virtual void putInstance(const InstanceDeclaration& declaration) = 0;
};

} // namespace mof
