// Arbitrary text as a property file: loading never fails, and saving reaches a fixed point. The
// first save may still change on reloading (a text cut at a NUL can end in blanks, which the next
// load trims), the second may not: loading and saving it again gives the same bytes and entries.
#include <zudava/zudava.h>

#include "Scratch.h"

#include <io.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const std::wstring& scratchName() {
    static const std::wstring name = scratchFileName(L"propertyfile_fuzz", L".properties");
    return name;
}

void writeFile(const std::string& bytes) {
    FILE* file = nullptr;
    if (fopen_s(&file, DEZE::make_string(scratchName()).c_str(), "wb") != 0)
        abort();
    if (!bytes.empty() && fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
        abort();
    fclose(file);
}

std::string readFile() {
    FILE* file = nullptr;
    if (fopen_s(&file, DEZE::make_string(scratchName()).c_str(), "rb") != 0)
        abort();
    std::string bytes;
    char buffer[4096];
    for (size_t got; (got = fread(buffer, 1, sizeof buffer, file)) > 0;)
        bytes.append(buffer, got);
    fclose(file);
    return bytes;
}

// Loads and saves the file in binary mode; returns the keys that loaded.
std::vector<std::wstring> loadAndSave() {
    DEZE::PropertyFile file{DEZE::File::Path(scratchName())};
    file.open(0x80000003);
    std::vector<std::wstring> keys = file.enumerateKeys();
    for (const std::wstring& key : keys)
        (void)file.getValue(key);
    file.close();
    return keys;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    writeFile(std::string(reinterpret_cast<const char*>(data), size));
    loadAndSave();
    const std::vector<std::wstring> keys = loadAndSave();
    const std::string saved = readFile();
    if (loadAndSave() != keys || readFile() != saved)
        abort();
    _wremove(scratchName().c_str());
    return 0;
}
