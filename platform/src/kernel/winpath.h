// The Windows view of the host's file system, shared by the kernel's and the runtime's file
// functions. Drive Z: is the host's root; both slashes separate; names on other drives map to
// nothing.
#pragma once

#include <windows.h>

#include <string>

namespace zp::winpath {

std::string toUtf8(const wchar_t* text);
std::wstring toWide(const std::string& text);

// The host's name for a Windows-view name; empty for names on other drives or network shares.
std::string hostName(const std::string& windowsName);
inline std::string hostName(const wchar_t* windowsName) {
    return hostName(toUtf8(windowsName));
}

// "Z:\dir\file" for the host's absolute "/dir/file".
std::wstring windowsName(const std::string& hostAbsoluteName);

// The current directory in the Windows view, with no trailing separator except at the root.
std::wstring currentDirectory();

// The Windows error code that stands for a failed host call's errno.
DWORD errorFromErrno(int error);

} // namespace zp::winpath
