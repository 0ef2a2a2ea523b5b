#include "EventCommands.h"

#include "ToolSupport.h"

#include <zudava/zudava.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <ostream>

namespace tool {

namespace {

volatile std::sig_atomic_t g_stopRequested = 0;

extern "C" void requestStop(int) {
    g_stopRequested = 1;
}

// SIGINT and SIGTERM end the watch between two waits instead of killing the process, so that
// what was printed is flushed and COM is torn down; the previous handlers come back at the end.
class StopSignals {
public:
    StopSignals() {
        g_stopRequested = 0;
        m_interrupt = std::signal(SIGINT, requestStop);
        m_terminate = std::signal(SIGTERM, requestStop);
    }
    ~StopSignals() {
        std::signal(SIGINT, m_interrupt);
        std::signal(SIGTERM, m_terminate);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;
    bool requested() const { return g_stopRequested != 0; }

private:
    void (*m_interrupt)(int);
    void (*m_terminate)(int);
};

// How long one wait for the next event lasts: short enough that a stop request is seen at once.
constexpr long kSliceMilliseconds = 200;

std::string textOf(const wchar_t* text) {
    return text ? DEZE::make_string(text) : std::string();
}

// Whether the class derives from __ExtrinsicEvent, the only events a program may send.
bool isExtrinsicEvent(const DEZE::WmiIndication& indication) {
    const _variant_t derivation = indication.getProperty(_bstr_t(L"__DERIVATION")).getValue();
    if (derivation.vt != (VT_ARRAY | VT_BSTR) || !derivation.parray)
        return false;
    LONG lower = 0;
    LONG upper = -1;
    SafeArrayGetLBound(derivation.parray, 1, &lower);
    SafeArrayGetUBound(derivation.parray, 1, &upper);
    for (LONG i = lower; i <= upper; ++i) {
        BSTR name = nullptr;
        if (SUCCEEDED(SafeArrayGetElement(derivation.parray, &i, &name))) {
            const bool found = name && sameName(textOf(name), "__ExtrinsicEvent");
            SysFreeString(name);
            if (found)
                return true;
        }
    }
    return false;
}

} // namespace

int runWatch(const WatchOptions& options, std::ostream& out, std::ostream& err) {
    ComScope com;
    const DEZE::WmiConnection connection =
        DEZE::WmiConnectionFactory::create(_bstr_t(options.nameSpace.c_str()));
    DEZE::IEnumWbemClassObjectPtr events;
    const HRESULT started = connection.getServices()->ExecNotificationQuery(
        _bstr_t(L"WQL"), _bstr_t(options.query.c_str()),
        WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY, nullptr, &events);
    if (FAILED(started))
        throw DEZE::WmiException(started,
                                 _bstr_t(L"IWbemServices::ExecNotificationQuery() failed"));

    StopSignals stop;
    err << "watching " << options.nameSpace << ": " << options.query << '\n' << std::flush;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline =
        Clock::now() +
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.timeout));
    long received = 0;
    while (!stop.requested() && (options.count == 0 || received < options.count)) {
        long wait = kSliceMilliseconds;
        if (options.timeout > 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                    .count();
            if (left <= 0)
                break;
            wait = std::min<long>(wait, static_cast<long>(left));
        }
        IWbemClassObject* raw = nullptr;
        ULONG returned = 0;
        const HRESULT status = events->Next(static_cast<LONG>(wait), 1, &raw, &returned);
        if (FAILED(status))
            throw DEZE::WmiException(status, _bstr_t(L"IEnumWbemClassObject::Next() failed"));
        if (returned != 1 || !raw)
            continue;
        DEZE::IWbemClassObjectPtr event(raw, false);
        BSTR text = nullptr;
        const HRESULT rendered = event->GetObjectText(0, &text);
        const _bstr_t owned(text, false);
        if (FAILED(rendered))
            throw DEZE::WmiException(rendered,
                                     _bstr_t(L"IWbemClassObject::GetObjectText() failed"));
        out << textOf(owned) << std::flush;
        ++received;
    }
    if (options.count > 0 && received < options.count && !stop.requested()) {
        err << "zudava watch: " << options.timeout << " s passed with " << received << " of "
            << options.count << (options.count == 1 ? " event\n" : " events\n");
        return kFailure;
    }
    return kSuccess;
}

int runIndicate(const IndicateOptions& options, std::ostream& out, std::ostream& err) {
    ComScope com;
    std::vector<std::pair<std::string, std::string>> values;
    for (const std::string& assignment : options.assignments) {
        const size_t equals = assignment.find('=');
        if (equals == std::string::npos || equals == 0) {
            err << "zudava indicate: '" << assignment << "' is not PROPERTY=VALUE\n";
            return kUsage;
        }
        values.emplace_back(assignment.substr(0, equals), assignment.substr(equals + 1));
    }
    const _bstr_t nameSpace(options.nameSpace.c_str());
    DEZE::WmiIndication indication(nameSpace, _bstr_t(options.className.c_str()));
    if (!isExtrinsicEvent(indication)) {
        err << "zudava indicate: " << options.className
            << " is not an event class (it does not derive from __ExtrinsicEvent)\n";
        return kFailure;
    }
    for (const auto& value : values) {
        if (!setPropertyFromText(indication, options.className, value.first, value.second, err,
                                 "indicate"))
            return kFailure;
    }
    DEZE::WmiHandle handle;
    const DEZE::WmiObjectPath target(
        _bstr_t((options.nameSpace + ":" + options.className).c_str()));
    handle.deliverIndication(DEZE::WmiContext(), target, indication);
    out << "indicated " << options.className << " in " << options.nameSpace << '\n';
    return kSuccess;
}

} // namespace tool
