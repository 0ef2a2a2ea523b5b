// Arbitrary bytes as a data file: loading may fail only with the two documented errors, and what
// loaded must save and load again to the same records.
#include <zudava/zudava.h>

#include "Scratch.h"

#include <io.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

using Records = std::vector<std::pair<std::wstring, std::vector<unsigned char>>>;

const std::wstring& scratchName() {
    static const std::wstring name = scratchFileName(L"datafile_fuzz", L".dat");
    return name;
}

void writeFile(const uint8_t* data, size_t size) {
    FILE* file = nullptr;
    if (fopen_s(&file, DEZE::make_string(scratchName()).c_str(), "wb") != 0)
        abort();
    if (size != 0 && fwrite(data, 1, size, file) != size)
        abort();
    fclose(file);
}

Records recordsOf(DEZE::DataFile& file) {
    Records records;
    for (unsigned long i = 0; i < file.size(); ++i)
        records.emplace_back(file[i].getKey(), file[i].getData());
    std::sort(records.begin(), records.end());
    return records;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    writeFile(data, size);
    Records first;
    {
        DEZE::DataFile file{DEZE::File::Path(scratchName())};
        try {
            file.open(0x3);
        } catch (const std::runtime_error& error) {
            if (std::string(error.what()) != "failed to read from file")
                abort();
        } catch (const std::invalid_argument& error) {
            if (std::string(error.what()) != "zero length key")
                abort();
        }
        first = recordsOf(file);
        file.close(); // saves the records that loaded
    }
    DEZE::DataFile again{DEZE::File::Path(scratchName())};
    again.open(0x1);
    if (recordsOf(again) != first)
        abort();
    again.close();
    _wremove(scratchName().c_str());
    return 0;
}
