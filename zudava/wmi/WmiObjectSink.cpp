#include "zudava/wmi/WmiObjectSink.h"

#include "zudava/foundation/Raise.h"

namespace DEZE {

WmiObjectSink::WmiObjectSink() = default;

WmiObjectSink::WmiObjectSink(const IWbemObjectSinkPtr& sink) : m_sink(sink) {
    if (!m_sink)
        throwLibraryError(L"Invalid argument");
}

WmiObjectSink::WmiObjectSink(const WmiObjectSink& other) : m_sink(other.m_sink) {}

WmiObjectSink& WmiObjectSink::operator=(const WmiObjectSink& other) {
    m_sink = other.m_sink;
    return *this;
}

WmiObjectSink::~WmiObjectSink() = default;

} // namespace DEZE
