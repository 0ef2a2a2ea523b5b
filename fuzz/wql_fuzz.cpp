// Arbitrary text through the WQL parser: it either parses or says WBEM_E_INVALID_QUERY with a
// reason, and never crashes, however deep or long the text. Patterns that parse are matched
// against their own text, which exercises LIKE's back-tracking.
#include "wql.h"

#include <cstdint>
#include <string>

using namespace zp::wbem::wql;

namespace {

void matchPatterns(const Condition* condition) {
    while (condition != nullptr) {
        if (condition->kind == Condition::Kind::Compare && condition->op == Operator::Like)
            like(condition->literal.text, condition->literal.text);
        if (condition->right)
            matchPatterns(condition->right.get());
        condition = condition->left.get();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Two bytes a UTF-16 unit, as the services receive query text.
    std::wstring text;
    for (size_t i = 0; i + 1 < size; i += 2)
        text += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
    Query query;
    std::wstring error;
    const HRESULT status = parse(text.c_str(), query, error);
    if (status != WBEM_S_NO_ERROR && (status != WBEM_E_INVALID_QUERY || error.empty()))
        __builtin_trap();
    if (status == WBEM_S_NO_ERROR)
        matchPatterns(query.where.get());
    return 0;
}
