// `zudava enum` of 100,000 instances to /dev/null, as a person runs it (a process that connects,
// enumerates and writes a table or JSON), against the bare walk a program does in the same run:
// a forward-only CreateInstanceEnum that reads every property of every object and writes
// nothing. The ratio is the price of the tool's process, its formatting and its output.
#include "Ratios.h"
#include "Repository.h"

#include <windows.h>
#include <objbase.h>
#include <comdef.h>
#include <wbemidl.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace {

constexpr long kInstances = 100000;

const bench::StateFolder g_state("zudava-tool-bench");

using bench::Held;
using bench::must;

// root\default with the class Bulk (Id, Name, Value, Even) and kInstances instances of it.
class Service {
public:
    static Service& get() {
        static Service service;
        return service;
    }
    IWbemServices* services() const { return m_services.p; }

private:
    Service() {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        m_services.p = bench::connectDefault();
        Held<IWbemClassObject> cls = bench::storeClass(m_services.p, L"Bulk",
                                                       {{L"Id", CIM_UINT32, true},
                                                        {L"Name", CIM_STRING},
                                                        {L"Value", CIM_SINT64},
                                                        {L"Even", CIM_BOOLEAN}});
        for (long id = 0; id < kInstances; ++id)
            bench::putInstance(m_services.p, cls.p,
                               {{L"Id", _variant_t(id)},
                                {L"Name", _variant_t((L"item " + std::to_wstring(id)).c_str())},
                                {L"Value", _variant_t(std::to_wstring(id * 7).c_str())},
                                {L"Even", _variant_t(id % 2 == 0)}});
    }

    Held<IWbemServices> m_services;
};

// The bare walk: every object, every property read into a VARIANT, nothing written.
void walk(benchmark::State& state) {
    IWbemServices* services = Service::get().services();
    for (auto _ : state) {
        Held<IEnumWbemClassObject> enumerator;
        must(services->CreateInstanceEnum(_bstr_t(L"Bulk"),
                                          WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY,
                                          nullptr, &enumerator.p),
             "CreateInstanceEnum");
        long objects = 0;
        for (;;) {
            Held<IWbemClassObject> object;
            ULONG returned = 0;
            enumerator->Next(static_cast<LONG>(WBEM_INFINITE), 1, &object.p, &returned);
            if (returned == 0)
                break;
            ++objects;
            object->BeginEnumeration(WBEM_FLAG_NONSYSTEM_ONLY);
            BSTR name = nullptr;
            VARIANT value;
            VariantInit(&value);
            CIMTYPE type = 0;
            while (object->Next(0, &name, &value, &type, nullptr) == WBEM_S_NO_ERROR) {
                SysFreeString(name);
                VariantClear(&value);
            }
            object->EndEnumeration();
        }
        if (objects != kInstances)
            throw std::runtime_error("the enumeration lost objects");
    }
}

// The tool, as a child process with its output to /dev/null.
void tool(benchmark::State& state, const char* format) {
    Service::get();
    for (auto _ : state) {
        const pid_t child = fork();
        if (child == 0) {
            if (!freopen("/dev/null", "w", stdout))
                _exit(126);
            execl(ZUDAVA_TOOL, ZUDAVA_TOOL, "enum", "-n", "root\\default", "--format", format,
                  "Bulk", static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0)
            throw std::runtime_error("zudava enum failed");
    }
}

} // namespace

BENCHMARK(walk)
    ->Name("enum 100k instances as a table/baseline")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(tool, table, "table")
    ->Name("enum 100k instances as a table/zudava")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(walk)
    ->Name("enum 100k instances as JSON/baseline")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(tool, json, "json")
    ->Name("enum 100k instances as JSON/zudava")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
ZUDAVA_BENCHMARK_MAIN()
