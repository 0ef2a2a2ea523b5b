// Event delivery between two processes of the machine: a producer process indicates 1,000 events
// one call each, a millisecond apart, through the sink that QueryObjectSink gives; this process
// receives them through ExecNotificationQuery. Each event carries the steady clock's reading
// when it was indicated, so its latency is the time from that call to Next returning it here.
// Reported: the median and the 99th percentile (counters median_us and p99_us; the time of a
// run is its median). The baseline is the same stream of time stamps written by the producer
// to a pipe that this process reads: the cost of crossing between the processes at all.
#include "Ratios.h"
#include "Repository.h"

#include <windows.h>
#include <objbase.h>
#include <comdef.h>
#include <wbemidl.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

_COM_SMARTPTR_TYPEDEF(IWbemServices, __uuidof(IWbemServices));
_COM_SMARTPTR_TYPEDEF(IWbemClassObject, __uuidof(IWbemClassObject));
_COM_SMARTPTR_TYPEDEF(IWbemObjectSink, __uuidof(IWbemObjectSink));
_COM_SMARTPTR_TYPEDEF(IEnumWbemClassObject, __uuidof(IEnumWbemClassObject));

constexpr int kEvents = 1000;
constexpr auto kSpacing = std::chrono::milliseconds(1);
constexpr const char* kRole = "ZUDAVA_EVENTS_BENCH_ROLE";

using bench::must;

std::int64_t steadyNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

IWbemServicesPtr connect() {
    return IWbemServicesPtr(bench::connectDefault(), false);
}

// ---- The producer process

int produceEvents() {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    {
        IWbemServicesPtr services = connect();
        IWbemClassObjectPtr cls;
        must(services->GetObject(_bstr_t(L"BenchTick"), 0, nullptr, &cls, nullptr), "GetObject");
        IWbemObjectSinkPtr sink;
        must(services->QueryObjectSink(0, &sink), "QueryObjectSink");
        for (int i = 0; i < kEvents; ++i) {
            std::this_thread::sleep_for(kSpacing);
            IWbemClassObjectPtr event;
            must(cls->SpawnInstance(0, &event), "SpawnInstance");
            _variant_t sent(std::to_wstring(steadyNanoseconds()).c_str());
            event->Put(L"Sent", 0, &sent, 0);
            IWbemClassObject* events[1] = {event};
            must(sink->Indicate(1, events), "Indicate");
        }
    }
    CoUninitialize();
    return 0;
}

int produceStamps(int fd) {
    for (int i = 0; i < kEvents; ++i) {
        std::this_thread::sleep_for(kSpacing);
        const std::int64_t sent = steadyNanoseconds();
        if (write(fd, &sent, sizeof sent) != sizeof sent)
            return 1;
    }
    return 0;
}

// ---- This process

// The producers are this program run again: they use the folder this process made.
const bench::StateFolder g_state("zudava-events-bench", !getenv(kRole));

pid_t spawnProducer(const char* role, const std::string& argument = {}) {
    setenv(kRole, role, 1);
    std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    std::vector<char*> argv{&self[0]};
    std::string arg = argument;
    if (!arg.empty())
        argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv.data(), environ);
    unsetenv(kRole);
    if (rc != 0)
        throw std::runtime_error("posix_spawn failed");
    return pid;
}

void awaitProducer(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("the producer failed");
}

void report(benchmark::State& state, std::vector<double> microseconds) {
    std::sort(microseconds.begin(), microseconds.end());
    const double median = microseconds[microseconds.size() / 2];
    const double p99 = microseconds[microseconds.size() * 99 / 100];
    state.SetIterationTime(median / 1e6);
    state.counters["median_us"] = median;
    state.counters["p99_us"] = p99;
    state.counters["max_us"] = microseconds.back();
}

class Consumer {
public:
    static Consumer& get() {
        static Consumer consumer;
        return consumer;
    }
    IWbemServices* services() const { return m_services; }

private:
    Consumer() {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        m_services = connect();
        IWbemClassObjectPtr base;
        must(m_services->GetObject(_bstr_t(L"__ExtrinsicEvent"), 0, nullptr, &base, nullptr),
             "GetObject");
        IWbemClassObjectPtr cls;
        must(base->SpawnDerivedClass(0, &cls), "SpawnDerivedClass");
        _variant_t name(L"BenchTick");
        cls->Put(L"__CLASS", 0, &name, 0);
        cls->Put(L"Sent", 0, nullptr, CIM_STRING);
        must(m_services->PutClass(cls, WBEM_FLAG_CREATE_ONLY, nullptr, nullptr), "PutClass");
    }
    IWbemServicesPtr m_services;
};

void deliverEvents(benchmark::State& state) {
    Consumer& consumer = Consumer::get();
    for (auto _ : state) {
        IEnumWbemClassObjectPtr events;
        must(consumer.services()->ExecNotificationQuery(
                 _bstr_t(L"WQL"), _bstr_t(L"SELECT * FROM BenchTick"),
                 WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY, nullptr, &events),
             "ExecNotificationQuery");
        const pid_t producer = spawnProducer("events");
        std::vector<double> latencies;
        for (int i = 0; i < kEvents; ++i) {
            IWbemClassObject* event = nullptr;
            ULONG returned = 0;
            events->Next(10000, 1, &event, &returned);
            const std::int64_t received = steadyNanoseconds();
            if (returned != 1)
                throw std::runtime_error("an event did not arrive within 10 s");
            _variant_t sent;
            event->Get(L"Sent", 0, &sent, nullptr, nullptr);
            event->Release();
            latencies.push_back(
                static_cast<double>(received - std::wcstoll(sent.bstrVal, nullptr, 10)) / 1e3);
        }
        awaitProducer(producer);
        report(state, latencies);
    }
}

void deliverStamps(benchmark::State& state) {
    for (auto _ : state) {
        int fds[2];
        if (pipe(fds) != 0)
            throw std::runtime_error("pipe failed");
        const pid_t producer = spawnProducer("pipe", std::to_string(fds[1]));
        close(fds[1]);
        std::vector<double> latencies;
        for (int i = 0; i < kEvents; ++i) {
            std::int64_t sent = 0;
            if (read(fds[0], &sent, sizeof sent) != sizeof sent)
                throw std::runtime_error("the pipe ended early");
            latencies.push_back(static_cast<double>(steadyNanoseconds() - sent) / 1e3);
        }
        close(fds[0]);
        awaitProducer(producer);
        report(state, latencies);
    }
}

// The ratio table pairs runs by name: the run-once suffixes go from the names first.
class OnceRatioReporter : public bench::RatioReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        std::vector<Run> named(runs);
        for (Run& run : named) {
            run.run_name.iterations.clear();
            run.run_name.time_type.clear();
        }
        RatioReporter::ReportRuns(named);
    }
};

} // namespace

BENCHMARK(deliverEvents)
    ->Name("Event between processes, median latency/zudava")
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(deliverStamps)
    ->Name("Event between processes, median latency/baseline")
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    if (const char* role = getenv(kRole)) {
        if (std::string(role) == "events")
            return produceEvents();
        if (std::string(role) == "pipe" && argc == 2)
            return produceStamps(std::atoi(argv[1]));
        return 2;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    OnceRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
