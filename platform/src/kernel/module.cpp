// Modules: LoadLibraryW and friends over the host's dynamic loader.
#include "object.h"

#include <dlfcn.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <set>
#include <mutex>
#include <string>

namespace {

// The modules this process loaded through LoadLibraryW, with the references it holds on each
// (dlopen gives the same handle every time, as LoadLibrary gives the same module). Only handles
// in here may be freed, so a bad handle fails instead of corrupting the loader.
std::mutex g_lock;
std::map<void*, unsigned long> g_loaded;
// Modules GetModuleHandleW has found (loaded by the program's own start-up, for instance):
// GetProcAddress takes them too.
std::set<void*> g_found;

std::string narrow(LPCWSTR text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return std::string();
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &result[0], size, nullptr, nullptr);
    result.resize(static_cast<size_t>(size) - 1);
    return result;
}

bool isFile(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The host name of a module: Z:\ is the root, backslashes become slashes, other drives do not
// exist. A bare name is looked for beside the program first, as Windows does. Empty when the
// name cannot name a module.
std::string hostName(LPCWSTR fileName) {
    std::string name = narrow(fileName);
    if (name.empty())
        return name;
    if (name.size() >= 2 && name[1] == ':') {
        if (name[0] != 'Z' && name[0] != 'z')
            return std::string();
        name.erase(0, 2);
    }
    for (char& c : name)
        if (c == '\\')
            c = '/';
    if (name.find('/') != std::string::npos)
        return name;
    char program[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", program, sizeof program - 1);
    if (length > 0) {
        std::string beside(program, static_cast<size_t>(length));
        beside.erase(beside.rfind('/') + 1);
        beside += name;
        if (isFile(beside))
            return beside;
    }
    return name;
}

void* programHandle() {
    static void* const handle = dlopen(nullptr, RTLD_NOW);
    return handle;
}

} // namespace

ZP_EXTERN_C HMODULE WINAPI LoadLibraryW(LPCWSTR fileName) {
    if (!fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const std::string name = hostName(fileName);
    void* module = name.empty() ? nullptr : dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::lock_guard<std::mutex> guard(g_lock);
    ++g_loaded[module];
    return module;
}

ZP_EXTERN_C BOOL WINAPI FreeLibrary(HMODULE module) {
    {
        std::lock_guard<std::mutex> guard(g_lock);
        const auto found = g_loaded.find(module);
        if (found == g_loaded.end()) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return FALSE;
        }
        if (--found->second == 0)
            g_loaded.erase(found);
    }
    dlclose(module);
    return TRUE;
}

ZP_EXTERN_C FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName) {
    if (!module)
        module = programHandle();
    else if (module != programHandle()) {
        std::lock_guard<std::mutex> guard(g_lock);
        if (g_loaded.find(module) == g_loaded.end() && g_found.count(module) == 0) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
    }
    // Ordinals (names below 0x10000) have no meaning for the host's modules.
    if (reinterpret_cast<uintptr_t>(procName) < 0x10000) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    void* symbol = dlsym(module, procName);
    if (!symbol) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

ZP_EXTERN_C HMODULE WINAPI GetModuleHandleW(LPCWSTR moduleName) {
    if (!moduleName)
        return programHandle();
    const std::string name = hostName(moduleName);
    void* module = name.empty() ? nullptr : dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!module) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    dlclose(module); // RTLD_NOLOAD counted a reference; this call must not keep one
    std::lock_guard<std::mutex> guard(g_lock);
    g_found.insert(module);
    return module;
}
