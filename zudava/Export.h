// Marks the classes and functions that the zudava shared library exports.
#pragma once

#if defined(_WIN32)
#if defined(ZUDAVA_BUILDING_LIBRARY)
#define ZUDAVA_API __declspec(dllexport)
#else
#define ZUDAVA_API __declspec(dllimport)
#endif
#else
#define ZUDAVA_API __attribute__((visibility("default")))
#endif
