#pragma once

#include <windows.h>

#include <string>

#include "zudava/Export.h"

namespace DEZE {

// A module loaded by file name. Every loaded object holds a reference of its own to the module
// (copies load it again), so the module stays loaded while any of them does.
class ZUDAVA_API DynamicLibrary {
public:
    typedef int(WINAPI* Symbol)();

    DynamicLibrary();
    explicit DynamicLibrary(const std::wstring& fileName);
    DynamicLibrary(const DynamicLibrary& other);
    DynamicLibrary& operator=(const DynamicLibrary& other);
    virtual ~DynamicLibrary();

    // True when loaded (already, or now).
    virtual bool load();
    // Gives up this object's reference; always true.
    virtual bool unload();
    virtual bool isLoaded() const;

    void* getHandle() const;
    std::wstring getFileName() const;
    // The exported function `name` (characters beyond 8 bits lose their high bits); null when
    // not loaded or not found.
    Symbol getSymbol(const std::wstring& name) const;

private:
    std::wstring m_fileName;
    HMODULE m_module;
};

} // namespace DEZE
