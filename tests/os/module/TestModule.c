/* A module for the dynamic library tests: loaded by name, with one exported function. */
#ifdef _WIN32
#define TEST_MODULE_EXPORT __declspec(dllexport)
#else
#define TEST_MODULE_EXPORT __attribute__((visibility("default")))
#endif

TEST_MODULE_EXPORT int moduleAnswer(void) {
    return 42;
}
