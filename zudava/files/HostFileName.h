// The one place where the library hands a file name to the host's own C and C++ libraries.
//
// Names inside the library are Windows names ("C:\dir\file", or relative ones). The standard
// streams and std::rename / std::remove take whatever the host calls the file: on Windows that is
// the same text, elsewhere the platform layer's view of the host's file system decides. Every
// stream open, rename and remove by name in the library goes through here; the runtime and kernel
// functions (_waccess, fopen_s, MoveFileExA, ...) take Windows names themselves.
#pragma once

#include <ios>
#include <share.h>
#include <string>

namespace DEZE {

// The host's name for the Windows name `name` (narrow, as make_string gives it). A name that the
// host cannot reach comes back empty, which every open, rename and remove refuses.
std::string hostFileName(const std::string& name);

// std::rename and std::remove on Windows names.
int renameHostFile(const std::string& from, const std::string& to);
int removeHostFile(const std::string& name);

// Opens a standard file stream on a Windows name, sharing the file with everyone (deny none).
template <typename Stream>
void openShared(Stream& stream, const std::string& name, std::ios_base::openmode mode) {
#if defined(_MSC_VER)
    stream.open(hostFileName(name).c_str(), mode, _SH_DENYNO);
#else
    // Without a share argument the stream shares the file with every other opener anyway.
    stream.open(hostFileName(name).c_str(), mode);
#endif
}

} // namespace DEZE
