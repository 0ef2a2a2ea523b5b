// Object path parsing for the repository; see objectpath.h.
#include "objectpath.h"

#include "classdef.h"

#include <wbemcli.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <unistd.h>

namespace zp::wbem {
namespace {

bool isNameUnit(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') ||
           c == L'_' || c >= 0x80;
}

bool isSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

class Reader {
public:
    explicit Reader(const std::wstring& text) : m_text(text) {}

    bool atEnd() const { return m_at >= m_text.size(); }
    wchar_t peek() const { return atEnd() ? 0 : m_text[m_at]; }
    bool take(wchar_t c) {
        if (peek() != c)
            return false;
        ++m_at;
        return true;
    }

    bool name(std::wstring& out) {
        const std::size_t start = m_at;
        while (!atEnd() && isNameUnit(m_text[m_at]))
            ++m_at;
        out.assign(m_text, start, m_at - start);
        return !out.empty();
    }

    bool value(_variant_t& out) {
        if (take(L'"'))
            return quoted(out);
        const std::size_t start = m_at;
        while (!atEnd() && m_text[m_at] != L',')
            ++m_at;
        const std::wstring word(m_text, start, m_at - start);
        if (word.empty())
            return false;
        if (sameName(word, std::wstring(L"TRUE"))) {
            out = _variant_t(true);
            return true;
        }
        if (sameName(word, std::wstring(L"FALSE"))) {
            out = _variant_t(false);
            return true;
        }
        return number(word, out);
    }

private:
    bool quoted(_variant_t& out) {
        std::wstring text;
        for (;;) {
            if (atEnd())
                return false;
            wchar_t c = m_text[m_at++];
            if (c == L'"')
                break;
            if (c == L'\\') {
                if (atEnd())
                    return false;
                c = m_text[m_at++];
            }
            text.push_back(c);
        }
        out = _variant_t(_bstr_t(text.c_str()));
        return true;
    }

    static bool number(const std::wstring& word, _variant_t& out) {
        std::string narrow;
        for (wchar_t c : word) {
            if (c > 0x7F)
                return false;
            narrow.push_back(static_cast<char>(c));
        }
        const bool negative = narrow[0] == '-';
        const std::size_t digits = (negative || narrow[0] == '+') ? 1 : 0;
        if (digits == narrow.size())
            return false;
        bool integral = true;
        for (std::size_t i = digits; i < narrow.size(); ++i) {
            if (narrow[i] < '0' || narrow[i] > '9')
                integral = false;
        }
        char* end = nullptr;
        errno = 0;
        if (integral) {
            if (negative) {
                const long long v = std::strtoll(narrow.c_str(), &end, 10);
                if (errno == ERANGE)
                    return false;
                if (v >= INT_MIN)
                    out = _variant_t(static_cast<long>(v));
                else
                    out = _variant_t(_bstr_t(word.c_str())); // 64-bit values travel as text
                return true;
            }
            const unsigned long long v = std::strtoull(narrow.c_str(), &end, 10);
            if (errno == ERANGE)
                return false;
            if (v <= INT_MAX)
                out = _variant_t(static_cast<long>(v));
            else
                out = _variant_t(_bstr_t(word.c_str()));
            return true;
        }
        const double v = std::strtod(narrow.c_str(), &end);
        if (end != narrow.c_str() + narrow.size())
            return false;
        out = _variant_t(v);
        return true;
    }

    const std::wstring& m_text;
    std::size_t m_at = 0;

public:
    std::size_t position() const { return m_at; }
    void seek(std::size_t at) { m_at = at; }
};

// Where the namespace prefix ends: the first colon outside quotes, before any '.' or '='.
std::size_t prefixEnd(const std::wstring& text) {
    bool quoted = false;
    std::size_t start = 0;
    // A server name may hold dots: the scan starts after it.
    if (text.size() >= 2 && isSeparator(text[0]) && isSeparator(text[1])) {
        start = text.find_first_of(L"\\/", 2);
        if (start == std::wstring::npos)
            return std::wstring::npos;
    }
    for (std::size_t i = start; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (quoted) {
            if (c == L'\\')
                ++i;
            else if (c == L'"')
                quoted = false;
        } else if (c == L'"') {
            quoted = true;
        } else if (c == L':') {
            return i;
        } else if (c == L'.' || c == L'=') {
            return std::wstring::npos;
        }
    }
    return std::wstring::npos;
}

// Splits `\\server\ns\sub` or `ns\sub` into the server and a backslash-separated namespace.
bool splitPrefix(const std::wstring& prefix, std::wstring& server, std::wstring& nameSpace) {
    std::size_t at = 0;
    if (prefix.size() >= 2 && isSeparator(prefix[0]) && isSeparator(prefix[1])) {
        at = 2;
        const std::size_t end = prefix.find_first_of(L"\\/", at);
        if (end == std::wstring::npos || end == at)
            return false;
        server.assign(prefix, at, end - at);
        at = end + 1;
    }
    nameSpace.clear();
    for (; at < prefix.size(); ++at) {
        const wchar_t c = prefix[at];
        nameSpace.push_back(isSeparator(c) ? L'\\' : c);
    }
    if (nameSpace.empty() || nameSpace.front() == L'\\' || nameSpace.back() == L'\\' ||
        nameSpace.find(L"\\\\") != std::wstring::npos)
        return false;
    return true;
}

} // namespace

HRESULT parseObjectPath(const wchar_t* text, ObjectPath& path) {
    path = ObjectPath{};
    if (!text || !*text)
        return WBEM_E_INVALID_OBJECT_PATH;
    std::wstring whole(text);
    const std::size_t colon = prefixEnd(whole);
    if (colon != std::wstring::npos) {
        if (!splitPrefix(whole.substr(0, colon), path.server, path.nameSpace))
            return WBEM_E_INVALID_OBJECT_PATH;
        whole.erase(0, colon + 1);
    }
    Reader reader(whole);
    if (!reader.name(path.className))
        return WBEM_E_INVALID_OBJECT_PATH;
    if (reader.atEnd())
        return WBEM_S_NO_ERROR;
    path.isInstance = true;
    if (reader.take(L'=')) {
        if (reader.take(L'@')) {
            path.singleton = true;
            return reader.atEnd() ? WBEM_S_NO_ERROR : WBEM_E_INVALID_OBJECT_PATH;
        }
        PathKey key;
        if (!reader.value(key.value) || !reader.atEnd())
            return WBEM_E_INVALID_OBJECT_PATH;
        path.keys.push_back(std::move(key));
        return WBEM_S_NO_ERROR;
    }
    if (!reader.take(L'.'))
        return WBEM_E_INVALID_OBJECT_PATH;
    do {
        PathKey key;
        if (!reader.name(key.name) || !reader.take(L'=') || !reader.value(key.value))
            return WBEM_E_INVALID_OBJECT_PATH;
        path.keys.push_back(std::move(key));
    } while (reader.take(L','));
    return reader.atEnd() ? WBEM_S_NO_ERROR : WBEM_E_INVALID_OBJECT_PATH;
}

const std::wstring& machineName() {
    static const std::wstring name = [] {
        char host[256] = {};
        if (gethostname(host, sizeof host - 1) != 0 || !host[0])
            return std::wstring(L"LOCALHOST");
        std::wstring upper;
        for (const char* c = host; *c && *c != '.'; ++c) {
            const char u = (*c >= 'a' && *c <= 'z') ? static_cast<char>(*c - 'a' + 'A') : *c;
            upper.push_back(static_cast<wchar_t>(static_cast<unsigned char>(u)));
        }
        return upper;
    }();
    return name;
}

bool isLocalServer(const std::wstring& server) {
    return server == L"." || sameName(server, std::wstring(L"localhost")) ||
           sameName(server, machineName());
}

} // namespace zp::wbem
