// mingw-w64's wbemuuid library lacks the path parser's identifiers: on that toolchain the library
// and every program linked with it take them from here (see zudava/CMakeLists.txt). On Linux the
// platform's guids.cpp defines them, so this file is empty there.
#ifdef __MINGW32__
#include <windows.h>

#include <wmiutils.h>

extern "C" const CLSID CLSID_WbemDefPath = {
    0xCF4CC405, 0xE2C5, 0x4DDD, {0xB3, 0xCE, 0x5E, 0x75, 0x82, 0xD8, 0xC9, 0xFA}};
extern "C" const IID IID_IWbemPath = {
    0x3BC15AF2, 0x736C, 0x477E, {0x9E, 0x51, 0x23, 0x8A, 0xF8, 0x66, 0x7D, 0xCC}};
extern "C" const IID IID_IWbemPathKeyList = {
    0x9AE62877, 0x7544, 0x4BB0, {0xAA, 0x26, 0xA1, 0x38, 0x24, 0x65, 0x9E, 0xD6}};
#endif
