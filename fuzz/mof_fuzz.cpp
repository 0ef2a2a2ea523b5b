// Arbitrary bytes through the MOF parser and checker (nothing is stored): every input either
// parses or raises a MofError with a position inside the text; nothing may crash, hang or leak.
// Includes read nothing: the reader refuses every file.
#include "mof/Checker.h"
#include "mof/MofError.h"
#include "mof/Parser.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 65536)
        return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    mof::Parser parser([](const std::string&, std::string&, std::string& error) {
        error = "not readable while fuzzing";
        return false;
    });
    try {
        mof::Unit unit = parser.parseText("fuzz.mof", text, "root\\cimv2");
        mof::EmptySchema schema;
        mof::Checker checker(schema);
        checker.check(unit);
    } catch (const mof::MofError& e) {
        if (e.line() == 0 || e.column() == 0)
            abort();
    }
    return 0;
}
