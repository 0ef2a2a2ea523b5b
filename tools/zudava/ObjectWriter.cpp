#include "ObjectWriter.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tool {

namespace {

bool isNull(const VARIANT& value) {
    return V_VT(&value) == VT_NULL || V_VT(&value) == VT_EMPTY;
}

// A text value up to its first NUL, as the library's value text reads it (Wine's WMI gives some
// BSTRs a length beyond their text).
std::wstring bstrText(BSTR text) {
    return text ? std::wstring(text) : L"";
}

// A system property's text, or nothing when the object has none (a new instance's __PATH).
std::wstring systemText(IWbemClassObject* object, const wchar_t* name) {
    _variant_t value;
    if (FAILED(object->Get(name, 0, &value.GetVARIANT(), nullptr, nullptr)) ||
        V_VT(&value.GetVARIANT()) != VT_BSTR)
        return L"";
    return bstrText(V_BSTR(&value.GetVARIANT()));
}

[[noreturn]] void failed(HRESULT status, const wchar_t* call) {
    throw DEZE::WmiException(status, call);
}

// Calls `each(name, value, type)` for every non-system property, in the object's order.
template <typename Each>
void forEachProperty(IWbemClassObject* object, Each each) {
    HRESULT status = object->BeginEnumeration(WBEM_FLAG_NONSYSTEM_ONLY);
    if (FAILED(status))
        failed(status, L"IWbemClassObject::BeginEnumeration() failed");
    for (;;) {
        BSTR name = nullptr;
        _variant_t value;
        CIMTYPE type = 0;
        status = object->Next(0, &name, &value.GetVARIANT(), &type, nullptr);
        if (status == WBEM_S_NO_MORE_DATA)
            break;
        if (FAILED(status)) {
            object->EndEnumeration();
            failed(status, L"IWbemClassObject::Next() failed");
        }
        const _bstr_t owned(name, false);
        each(name, value.GetVARIANT(), type);
    }
    object->EndEnumeration();
}

size_t displayWidth(const std::string& text) {
    size_t width = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80)
            ++width;
    return width;
}

// ---- table ----

class TableWriter : public ObjectWriter {
public:
    explicit TableWriter(std::ostream& out) : ObjectWriter(out) {}

    void write(const DEZE::WmiObject& object) override {
        Row row;
        row.className = utf8Text(systemText(object.GetInterfacePtr(), L"__CLASS"));
        forEachProperty(
            object.GetInterfacePtr(), [&](const wchar_t* name, const VARIANT& value, CIMTYPE type) {
                row.cells.emplace_back(utf8Text(std::wstring(name)), valueText(value, type));
            });
        if (m_started) {
            writeRow(row);
            return;
        }
        m_pending.push_back(std::move(row));
        if (m_pending.size() == kSizingRows)
            start();
    }

    void finish() override {
        if (!m_started && !m_pending.empty())
            start();
        m_out.flush();
    }

private:
    struct Row {
        std::string className;
        std::vector<std::pair<std::string, std::string>> cells;
    };
    static constexpr size_t kSizingRows = 200;

    static std::string lowered(const std::string& text) {
        std::string result = text;
        for (char& c : result)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        return result;
    }

    // The columns and their widths from the rows held back, then those rows.
    void start() {
        m_started = true;
        for (const Row& row : m_pending) {
            if (row.className != m_pending.front().className)
                m_showClass = true;
            for (const auto& cell : row.cells)
                if (m_columnOf.emplace(lowered(cell.first), m_columns.size()).second)
                    m_columns.push_back(cell.first);
        }
        m_widths.assign(m_columns.size(), 0);
        m_classWidth = 7; // __CLASS
        for (size_t i = 0; i < m_columns.size(); ++i)
            m_widths[i] = displayWidth(m_columns[i]);
        for (const Row& row : m_pending) {
            m_classWidth = std::max(m_classWidth, displayWidth(row.className));
            for (const auto& cell : row.cells) {
                size_t& width = m_widths[m_columnOf[lowered(cell.first)]];
                width = std::max(width, displayWidth(cell.second));
            }
        }
        std::vector<std::string> header(m_columns);
        writeLine(m_showClass ? std::string("__CLASS") : std::string(), header);
        for (const Row& row : m_pending)
            writeRow(row);
        m_pending.clear();
    }

    void writeRow(const Row& row) {
        std::vector<std::string> cells(m_columns.size());
        for (const auto& cell : row.cells) {
            const auto column = m_columnOf.find(lowered(cell.first));
            if (column != m_columnOf.end())
                cells[column->second] = cell.second;
        }
        writeLine(row.className, cells);
    }

    void writeLine(const std::string& className, const std::vector<std::string>& cells) {
        std::string line;
        auto pad = [&line](const std::string& text, size_t width) {
            line += text;
            line.append(width > displayWidth(text) ? width - displayWidth(text) : 0, ' ');
            line += "  ";
        };
        if (m_showClass)
            pad(className, m_classWidth);
        for (size_t i = 0; i < cells.size(); ++i)
            pad(cells[i], m_widths[i]);
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        line += '\n';
        m_out << line;
    }

    bool m_started = false;
    bool m_showClass = false;
    std::vector<Row> m_pending;
    std::vector<std::string> m_columns;
    std::unordered_map<std::string, size_t> m_columnOf;
    std::vector<size_t> m_widths;
    size_t m_classWidth = 0;
};

// ---- MOF ----

class MofWriter : public ObjectWriter {
public:
    explicit MofWriter(std::ostream& out) : ObjectWriter(out) {}

    void write(const DEZE::WmiObject& object) override {
        BSTR text = nullptr;
        const HRESULT status = object->GetObjectText(0, &text);
        const _bstr_t owned(text, false);
        if (FAILED(status))
            failed(status, L"IWbemClassObject::GetObjectText() failed");
        if (m_count++ > 0)
            m_out << '\n';
        std::string mof = utf8Text(owned);
        // Line ends as the host writes them.
        std::string lines;
        lines.reserve(mof.size());
        for (char c : mof)
            if (c != '\r')
                lines += c;
        m_out << lines;
        if (!lines.empty() && lines.back() != '\n')
            m_out << '\n';
    }

    void finish() override { m_out.flush(); }

private:
    size_t m_count = 0;
};

// ---- JSON ----

void jsonObject(std::string& out, IWbemClassObject* object, const std::string& indent);

void jsonScalar(std::string& out, const VARIANT& value, CIMTYPE type, const std::string& indent) {
    switch (type) {
    case CIM_SINT8:
    case CIM_UINT8:
    case CIM_SINT16:
    case CIM_UINT16:
    case CIM_SINT32:
    case CIM_UINT32:
    case CIM_SINT64:
    case CIM_UINT64:
        out += valueText(value, type);
        return;
    case CIM_REAL32:
    case CIM_REAL64: {
        const double number = type == CIM_REAL32 ? V_R4(&value) : V_R8(&value);
        if (!std::isfinite(number)) {
            out += "null"; // JSON has no infinities and no NaN
            return;
        }
        out += realText(number, type == CIM_REAL32);
        return;
    }
    case CIM_BOOLEAN:
        out += V_BOOL(&value) ? "true" : "false";
        return;
    case CIM_OBJECT: {
        DEZE::IWbemClassObjectPtr embedded;
        if (V_VT(&value) == VT_UNKNOWN && V_UNKNOWN(&value) &&
            SUCCEEDED(V_UNKNOWN(&value)->QueryInterface(IID_IWbemClassObject,
                                                        reinterpret_cast<void**>(&embedded))))
            jsonObject(out, embedded, indent);
        else
            out += "null";
        return;
    }
    case CIM_CHAR16:
        out += jsonString(std::wstring(1, static_cast<wchar_t>(V_I2(&value) & 0xFFFF)));
        return;
    default:
        out += jsonString(V_VT(&value) == VT_BSTR ? bstrText(V_BSTR(&value)) : L"");
        return;
    }
}

void jsonValue(std::string& out, const VARIANT& value, CIMTYPE type, const std::string& indent) {
    if (isNull(value)) {
        out += "null";
        return;
    }
    if (!(type & CIM_FLAG_ARRAY)) {
        jsonScalar(out, value, type, indent);
        return;
    }
    const DEZE::WmiArray elements(V_ARRAY(&value), type);
    const unsigned long count = elements.getElementCount();
    out += '[';
    for (unsigned long i = 0; i < count; ++i) {
        if (i > 0)
            out += ", ";
        const _variant_t element = elements.getElement(i);
        jsonScalar(out, element, type & ~CIM_FLAG_ARRAY, indent);
    }
    out += ']';
}

void jsonObject(std::string& out, IWbemClassObject* object, const std::string& indent) {
    const std::string inner = indent + "  ";
    out += "{\n" + inner + "\"__CLASS\": " + jsonString(systemText(object, L"__CLASS"));
    const std::wstring path = systemText(object, L"__PATH");
    if (!path.empty())
        out += ",\n" + inner + "\"__PATH\": " + jsonString(path);
    forEachProperty(object, [&](const wchar_t* name, const VARIANT& value, CIMTYPE type) {
        out += ",\n" + inner + jsonString(name) + ": ";
        jsonValue(out, value, type, inner);
    });
    out += "\n" + indent + "}";
}

class JsonWriter : public ObjectWriter {
public:
    JsonWriter(std::ostream& out, bool list) : ObjectWriter(out), m_list(list) {}

    void write(const DEZE::WmiObject& object) override {
        std::string text;
        if (m_list)
            text += m_count == 0 ? "[\n  " : ",\n  ";
        jsonObject(text, object.GetInterfacePtr(), m_list ? "  " : "");
        ++m_count;
        m_out << text;
    }

    void finish() override {
        if (m_list)
            m_out << (m_count == 0 ? "[]\n" : "\n]\n");
        else if (m_count > 0)
            m_out << '\n';
        m_out.flush();
    }

private:
    bool m_list;
    size_t m_count = 0;
};

// ---- CIM-XML ----

class XmlWriter : public ObjectWriter {
public:
    explicit XmlWriter(std::ostream& out) : ObjectWriter(out) {}

    void write(const DEZE::WmiObject& object) override {
        m_out << utf8Text(object.toXml()) << '\n';
    }

    void finish() override { m_out.flush(); }
};

} // namespace

std::unique_ptr<ObjectWriter> ObjectWriter::create(Format format, std::ostream& out, bool list) {
    switch (format) {
    case Format::Table:
        return std::make_unique<TableWriter>(out);
    case Format::Mof:
        return std::make_unique<MofWriter>(out);
    case Format::Json:
        return std::make_unique<JsonWriter>(out, list);
    case Format::Xml:
        return std::make_unique<XmlWriter>(out);
    }
    return nullptr;
}

std::string jsonString(const std::wstring& text) {
    std::string out = "\"";
    out.reserve(text.size() + 2);
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned unit = static_cast<unsigned>(text[i]) & 0xFFFFu;
        char escape[8];
        if (unit == '"' || unit == '\\') {
            out += '\\';
            out += static_cast<char>(unit);
        } else if (unit == '\n') {
            out += "\\n";
        } else if (unit == '\r') {
            out += "\\r";
        } else if (unit == '\t') {
            out += "\\t";
        } else if (unit == '\b') {
            out += "\\b";
        } else if (unit == '\f') {
            out += "\\f";
        } else if (unit < 0x20) {
            std::snprintf(escape, sizeof escape, "\\u%04x", unit);
            out += escape;
        } else if (unit < 0x80) {
            out += static_cast<char>(unit);
        } else if (unit < 0x800) {
            out += static_cast<char>(0xC0 | (unit >> 6));
            out += static_cast<char>(0x80 | (unit & 0x3F));
        } else if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() &&
                   (static_cast<unsigned>(text[i + 1]) & 0xFC00u) == 0xDC00u) {
            const unsigned code =
                0x10000 + ((unit - 0xD800) << 10) + ((static_cast<unsigned>(text[++i]) & 0x3FF));
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            std::snprintf(escape, sizeof escape, "\\u%04x", unit); // a lone surrogate
            out += escape;
        } else {
            out += static_cast<char>(0xE0 | (unit >> 12));
            out += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (unit & 0x3F));
        }
    }
    out += '"';
    return out;
}

// The shortest text that reads back as the same number ("1.5", not "1.5000000000000000e+000").
std::string realText(double number, bool single) {
    char text[32];
    for (int precision = 1; precision <= 17; ++precision) {
        std::snprintf(text, sizeof text, "%.*g", precision, number);
        const double back = std::strtod(text, nullptr);
        if (single ? static_cast<float>(back) == static_cast<float>(number) : back == number)
            break;
    }
    return text;
}

std::string valueText(const VARIANT& value, CIMTYPE type) {
    if (isNull(value))
        return std::string();
    if (type == CIM_REAL32 && V_VT(&value) == VT_R4)
        return realText(V_R4(&value), true);
    if (type == CIM_REAL64 && V_VT(&value) == VT_R8)
        return realText(V_R8(&value), false);
    std::string text = utf8Text(DEZE::WmiValue(_variant_t(value), type).toString());
    // One row a line: line breaks and tabs inside a value show as their escapes.
    std::string cell;
    cell.reserve(text.size());
    for (char c : text) {
        if (c == '\n')
            cell += "\\n";
        else if (c == '\r')
            cell += "\\r";
        else if (c == '\t')
            cell += "\\t";
        else
            cell += c;
    }
    return cell;
}

} // namespace tool
