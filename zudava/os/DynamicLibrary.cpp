#include "zudava/os/DynamicLibrary.h"

namespace DEZE {

DynamicLibrary::DynamicLibrary() : m_module(nullptr) {}

DynamicLibrary::DynamicLibrary(const std::wstring& fileName)
    : m_fileName(fileName), m_module(nullptr) {}

DynamicLibrary::DynamicLibrary(const DynamicLibrary& other)
    : m_fileName(other.m_fileName), m_module(nullptr) {
    if (other.isLoaded())
        m_module = LoadLibraryW(m_fileName.c_str());
}

DynamicLibrary& DynamicLibrary::operator=(const DynamicLibrary& other) {
    if (this == &other)
        return *this;
    if (isLoaded())
        unload();
    m_fileName = other.m_fileName;
    if (other.isLoaded())
        load();
    return *this;
}

DynamicLibrary::~DynamicLibrary() {
    if (m_module)
        FreeLibrary(m_module);
}

bool DynamicLibrary::load() {
    if (!m_module)
        m_module = LoadLibraryW(m_fileName.c_str());
    return m_module != nullptr;
}

bool DynamicLibrary::unload() {
    if (m_module) {
        FreeLibrary(m_module);
        m_module = nullptr;
    }
    return true;
}

bool DynamicLibrary::isLoaded() const {
    return m_module != nullptr;
}

void* DynamicLibrary::getHandle() const {
    return m_module;
}

std::wstring DynamicLibrary::getFileName() const {
    return m_fileName;
}

DynamicLibrary::Symbol DynamicLibrary::getSymbol(const std::wstring& name) const {
    if (!m_module)
        return nullptr;
    std::string narrow;
    narrow.reserve(name.size());
    for (const wchar_t c : name)
        narrow += static_cast<char>(c & 0xFF);
    // Through void (*)(), the one function pointer type every other converts to without warning.
    return reinterpret_cast<Symbol>(
        reinterpret_cast<void (*)()>(GetProcAddress(m_module, narrow.c_str())));
}

} // namespace DEZE
