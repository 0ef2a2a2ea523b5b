// The names of the WMI and COM statuses the tool reports.
#pragma once

#include <zudava/zudava.h>

#include <string>

namespace tool {

// "WBEM_E_NOT_FOUND (0x80041002)": the status's name where it is a WMI or COM status the tool
// knows, always with its number ("0x8004F00D" alone otherwise).
std::string statusText(HRESULT status);

} // namespace tool
