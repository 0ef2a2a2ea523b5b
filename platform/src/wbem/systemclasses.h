// The system classes every namespace holds, as Microsoft documents them: __SystemClass, the
// namespace class, the provider classes and their registrations, and the event classes. They
// are stored with each namespace and cannot be changed or deleted. Not installed.
#pragma once

#include "store.h"

#include <string>
#include <vector>

namespace zp::wbem {

struct SystemClass {
    std::wstring name;
    std::wstring superclass; // empty for __SystemClass
    Blob definition;         // the stored form (encodeClass)
};

// Every system class, each after its superclass. Built once per process.
const std::vector<SystemClass>& systemClasses();

// Names beginning with two underscores belong to the system.
bool isSystemName(const std::wstring& name);

} // namespace zp::wbem
