// UTF-8 coding throughput of make_string and make_wstring against glibc's iconv converting the
// same text between wchar_t and UTF-8 into a buffer it reuses (no allocation on its side).
#include "Ratios.h"

#include <zudava/zudava.h>

#include <iconv.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr size_t kTargetBytes = 4 << 20;

std::string asciiText() {
    static const char* const words[] = {
        "provider ", "namespace ", "instance ", "root\\cimv2 ", "Win32_Process.Handle=\"42\" ",
        "class ",    "\n"};
    std::string text;
    for (size_t i = 0; text.size() < kTargetBytes; ++i)
        text += words[i % 7];
    return text;
}

std::string mixedText() {
    // ASCII, Latin and CJK words in turn: one, two and three UTF-8 bytes a character.
    static const char* const words[] = {"provider ",
                                        "Gr\xC3\xBC\xC3\x9F"
                                        "e ",
                                        "\xE4\xB8\xAD\xE6\x96\x87\xE5\xAD\x97 ",
                                        "caf\xC3\xA9 ",
                                        "namespace ",
                                        "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E ",
                                        "na\xC3\xAFve ",
                                        "\xE2\x82\xAC"
                                        "42 "};
    std::string text;
    for (size_t i = 0; text.size() < kTargetBytes; ++i)
        text += words[i % 8];
    return text;
}

class Iconv {
public:
    Iconv(const char* to, const char* from) : m_cd(iconv_open(to, from)) {
        if (m_cd == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error("iconv_open failed");
    }
    ~Iconv() { iconv_close(m_cd); }
    size_t convert(const void* in, size_t inBytes, void* out, size_t outBytes) {
        char* source = static_cast<char*>(const_cast<void*>(in));
        char* target = static_cast<char*>(out);
        const size_t capacity = outBytes;
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(m_cd, &source, &inBytes, &target, &outBytes) == static_cast<size_t>(-1))
            throw std::runtime_error("iconv failed");
        return capacity - outBytes;
    }

private:
    iconv_t m_cd;
};

const std::string& textFor(int which) {
    static const std::string ascii = asciiText();
    static const std::string mixed = mixedText();
    return which == 0 ? ascii : mixed;
}

void makeStringOurs(benchmark::State& state, int which) {
    const std::wstring wide = DEZE::make_wstring(textFor(which));
    for (auto _ : state)
        benchmark::DoNotOptimize(DEZE::make_string(wide));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(textFor(which).size()));
}

void makeStringIconv(benchmark::State& state, int which) {
    const std::wstring wide = DEZE::make_wstring(textFor(which));
    Iconv cd("UTF-8", "WCHAR_T");
    std::vector<char> out(wide.size() * 4);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            cd.convert(wide.data(), wide.size() * sizeof(wchar_t), out.data(), out.size()));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(textFor(which).size()));
}

void makeWstringOurs(benchmark::State& state, int which) {
    const std::string& text = textFor(which);
    for (auto _ : state)
        benchmark::DoNotOptimize(DEZE::make_wstring(text));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}

void makeWstringIconv(benchmark::State& state, int which) {
    const std::string& text = textFor(which);
    Iconv cd("WCHAR_T", "UTF-8");
    std::vector<wchar_t> out(text.size() + 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            cd.convert(text.data(), text.size(), out.data(), out.size() * sizeof(wchar_t)));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}

BENCHMARK_CAPTURE(makeStringOurs, ascii, 0)->Name("make_string/ascii/zudava");
BENCHMARK_CAPTURE(makeStringIconv, ascii, 0)->Name("make_string/ascii/baseline");
BENCHMARK_CAPTURE(makeStringOurs, mixed, 1)->Name("make_string/mixed/zudava");
BENCHMARK_CAPTURE(makeStringIconv, mixed, 1)->Name("make_string/mixed/baseline");
BENCHMARK_CAPTURE(makeWstringOurs, ascii, 0)->Name("make_wstring/ascii/zudava");
BENCHMARK_CAPTURE(makeWstringIconv, ascii, 0)->Name("make_wstring/ascii/baseline");
BENCHMARK_CAPTURE(makeWstringOurs, mixed, 1)->Name("make_wstring/mixed/zudava");
BENCHMARK_CAPTURE(makeWstringIconv, mixed, 1)->Name("make_wstring/mixed/baseline");

} // namespace

ZUDAVA_BENCHMARK_MAIN()
