#include "EventCommands.h"

#include "Commands.h"
#include "ToolSupport.h"
#include "ValueParser.h"

#include <zudava/zudava.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <memory>
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

int runWatch(Tool& tool, const WatchOptions& options) {
    std::ostream& out = tool.out;
    std::ostream& err = tool.err;
    const std::string nameSpace = tool.nameSpace();
    const DEZE::WmiConnection connection = tool.connect(nameSpace);
    DEZE::IEnumWbemClassObjectPtr events;
    const HRESULT started = connection.getServices()->ExecNotificationQuery(
        _bstr_t(L"WQL"), _bstr_t(options.query.c_str()),
        WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY, nullptr, &events);
    if (FAILED(started))
        throw DEZE::WmiException(started,
                                 _bstr_t(L"IWbemServices::ExecNotificationQuery() failed"));

    StopSignals stop;
    err << "watching " << nameSpace << ": " << options.query << '\n' << std::flush;
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

int runIndicate(Tool& tool, const IndicateOptions& options) {
    // A malformed argument is reported before WMI is asked anything.
    std::vector<std::pair<std::string, std::string>> assignments;
    for (const std::string& argument : options.assignments)
        assignments.push_back(splitAssignment(argument));
    const std::string nameSpace = tool.nameSpace();
    tool.initialiseCom();
    DEZE::WmiIndication indication(_bstr_t(wideText(nameSpace).c_str()),
                                   _bstr_t(wideText(options.className).c_str()));
    if (!isExtrinsicEvent(indication)) {
        tool.err << "zudava indicate: " << options.className
                 << " is not an event class (it does not derive from __ExtrinsicEvent)\n";
        return kFailure;
    }
    // Every value is read before the first is put, so that a wrong one sends nothing.
    std::vector<std::pair<std::wstring, _variant_t>> values;
    for (const auto& assignment : assignments) {
        const std::wstring name = wideText(assignment.first);
        CIMTYPE type = 0;
        const HRESULT status = indication->Get(name.c_str(), 0, nullptr, &type, nullptr);
        if (status == static_cast<HRESULT>(WBEM_E_NOT_FOUND) ||
            assignment.first.compare(0, 2, "__") == 0)
            throw UsageError("class " + options.className + " has no property '" +
                             assignment.first + "'");
        if (FAILED(status))
            throw DEZE::WmiException(status, L"IWbemClassObject::Get() failed");
        values.emplace_back(name, parseValue(assignment.first, type, assignment.second));
    }
    for (auto& value : values) {
        const HRESULT status = indication->Put(value.first.c_str(), 0, &value.second, 0);
        if (FAILED(status))
            throw DEZE::WmiException(status, L"IWbemClassObject::Put() failed");
    }
    DEZE::WmiHandle handle;
    const DEZE::WmiObjectPath target(
        _bstr_t(wideText(nameSpace + ":" + options.className).c_str()));
    handle.deliverIndication(DEZE::WmiContext(), target, indication);
    tool.out << "indicated " << options.className << " in " << nameSpace << '\n';
    return kSuccess;
}

} // namespace tool

namespace tool {

namespace {

const CommandGroup group(50, [](Tool& tool) {
    auto watch = std::make_shared<WatchOptions>();
    CLI::App* watchCommand = tool.add(
        "watch", "print the events that match a WQL query as they arrive",
        "zudava watch --count 1 --timeout 30 \"SELECT * FROM Tour_BookLent WHERE Days > 14\"",
        [&tool, watch] { return runWatch(tool, *watch); },
        "Each event is printed as MOF text. The watch ends after --count events, after --timeout\n"
        "seconds, or at Ctrl+C (SIGINT) or SIGTERM, with exit code 0; it exits with 1 when the\n"
        "time ran out before --count events came. Once the query is registered, a line\n"
        "\"watching NAMESPACE: QUERY\" goes to standard error.");
    watchCommand->add_option("QUERY", watch->query, "a WQL event query")->required();
    watchCommand->add_option("--count", watch->count, "stop after N events")
        ->check(CLI::PositiveNumber)
        ->type_name("N");
    watchCommand->add_option("--timeout", watch->timeout, "stop after S seconds")
        ->check(CLI::PositiveNumber)
        ->type_name("S");

    auto indicate = std::make_shared<IndicateOptions>();
    CLI::App* indicateCommand = tool.add(
        "indicate", "send one event of an extrinsic event class",
        "zudava indicate Tour_BookLent Isbn=978-0441013593 Borrower=Ada Days=21",
        [&tool, indicate] { return runIndicate(tool, *indicate); },
        "The class must derive from __ExtrinsicEvent. Values are read by the properties' types;\n"
        "properties not given keep the class's defaults.");
    indicateCommand->add_option("CLASS", indicate->className, "the event class")->required();
    indicateCommand->add_option("PROP=VALUE", indicate->assignments, "the event's values");
});

} // namespace

} // namespace tool
