#pragma once

#include <comdef.h>

#include "zudava/Export.h"
#include "zudava/wmi/WmiPointers.h"

namespace DEZE {

// A counted holder of a WMI object sink, for callers that pass sinks around. Copies share the
// sink.
class ZUDAVA_API WmiObjectSink {
public:
    // Holds no sink.
    WmiObjectSink();
    // A null sink raises "Invalid argument".
    WmiObjectSink(const IWbemObjectSinkPtr& sink);
    WmiObjectSink(const WmiObjectSink& other);
    WmiObjectSink& operator=(const WmiObjectSink& other);
    ~WmiObjectSink();

private:
    IWbemObjectSinkPtr m_sink;
};

} // namespace DEZE
