// The library's UTF-8 coder on ranges of text (internal to the library): what make_string and
// make_wstring do, without copying the range into a string of its own first.
#pragma once

#include <string>

namespace DEZE {

// make_wstring of the first `limit` bytes of `text`: it ends at the first NUL.
std::wstring decodeUtf8(const char* text, size_t limit);
// Appends make_string of the first `limit` units of `text` to `result`.
void appendUtf8(std::string& result, const wchar_t* text, size_t limit);

} // namespace DEZE
