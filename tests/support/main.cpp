// The test programs' entry point. On Linux every run gets a fresh machine state folder, so that
// no test sees another run's registry or repository.
#include <gmock/gmock.h>

#ifndef _WIN32
#include <stdlib.h>

#include <filesystem>
#include <string>
#endif

int main(int argc, char** argv) {
    testing::InitGoogleMock(&argc, argv);
#ifndef _WIN32
    std::string folder = (std::filesystem::temp_directory_path() / "zudava-test-XXXXXX").string();
    if (!mkdtemp(&folder[0]))
        return 2;
    setenv("ZUDAVA_STATE_DIR", folder.c_str(), 1);
    const int result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return result;
#else
    return RUN_ALL_TESTS();
#endif
}
