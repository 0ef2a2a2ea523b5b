#pragma once

#include <comdef.h>

#include "zudava/Export.h"

namespace DEZE {

// A class, role or property name passed to `WmiHandle`. An empty text (null or of length 0)
// stands for a name that was not given.
class ZUDAVA_API WmiString {
public:
    // Copies `text`. With `utf8`, the copy is re-read: its UTF-8 bytes are taken as text of the
    // ANSI code page, so ASCII stays as it is and any other character becomes the code page's
    // reading of its two to four bytes.
    WmiString(const _bstr_t& text, bool utf8);
    WmiString(const WmiString& other);
    WmiString& operator=(const WmiString& other);
    ~WmiString();

private:
    friend class WmiHandle;
    _bstr_t m_text;
};

} // namespace DEZE
