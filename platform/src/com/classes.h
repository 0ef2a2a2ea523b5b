// The class table behind CoCreateInstance. Each service of the platform registers the COM classes
// it serves from its own source, with a static registration object:
//
//     static const zp::com::ClassRegistration registration{CLSID_WbemDefPath, &createWbemDefPath};
//
// so that no central list has to know every service. Not installed.
#pragma once

#include <windows.h>

namespace zp::com {

// Makes a new object of one class and queries it for `riid`; on failure *object stays null.
using ObjectFactory = HRESULT (*)(REFIID riid, void** object);

struct ClassRegistration {
    ClassRegistration(const CLSID& clsid, ObjectFactory factory);
};

} // namespace zp::com
