// The stored form of classes and instances, and the normalised keys the repository matches on.
//
// Layout: unsigned numbers as LEB128 varints, signed ones zigzagged, text as a length and UTF-16
// code units (two bytes each, little-endian), values as a VARTYPE byte and their data. A class
// blob holds what the class defines itself; an instance blob only the values and qualifiers the
// instance set. Each member travels with its name, and decoding checks the expected position
// first, so reading a blob is one pass with no lookups while the class is unchanged.
#include "object.h"

#include "values.h"

#include <algorithm>
#include <cstring>

namespace zp::wbem {

namespace {

constexpr uint8_t kClassMagic = 0xC1;
constexpr uint8_t kInstanceMagic = 0x1A;
constexpr uint8_t kArray = 0x80; // with a VARTYPE below it: an array of that type

class Writer {
public:
    explicit Writer(std::vector<uint8_t>& out) : m_out(out) {}

    void byte(uint8_t b) { m_out.push_back(b); }
    void number(uint64_t v) {
        while (v >= 0x80) {
            m_out.push_back(static_cast<uint8_t>(v | 0x80));
            v >>= 7;
        }
        m_out.push_back(static_cast<uint8_t>(v));
    }
    void signedNumber(int64_t v) {
        number((static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63));
    }
    // Text is UTF-16; a wide character above U+FFFF (a Linux wide literal) is stored as the
    // surrogate pair Windows would have held.
    void text(const wchar_t* s, size_t length) {
        size_t units = length;
        for (size_t i = 0; i < length; ++i)
            if (static_cast<uint32_t>(s[i]) > 0xFFFF)
                ++units;
        number(units);
        const size_t at = m_out.size();
        m_out.resize(at + units * 2);
        uint8_t* p = m_out.data() + at;
        for (size_t i = 0; i < length; ++i) {
            const auto c = static_cast<uint32_t>(s[i]);
            if (c > 0xFFFF && c <= 0x10FFFF) {
                put16(p, static_cast<uint16_t>(0xD800 + ((c - 0x10000) >> 10)));
                put16(p, static_cast<uint16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
            } else {
                put16(p, static_cast<uint16_t>(c > 0xFFFF ? 0xFFFD : c));
            }
        }
    }
    void text(const std::wstring& s) { text(s.data(), s.size()); }
    void blob(const std::vector<uint8_t>& b) {
        number(b.size());
        m_out.insert(m_out.end(), b.begin(), b.end());
    }

private:
    static void put16(uint8_t*& p, uint16_t unit) {
        *p++ = static_cast<uint8_t>(unit);
        *p++ = static_cast<uint8_t>(unit >> 8);
    }

    std::vector<uint8_t>& m_out;
};

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : m_p(data), m_end(data + size) {}

    bool ok() const { return m_ok; }
    bool atEnd() const { return m_p == m_end; }
    uint8_t byte() {
        if (m_p >= m_end)
            return fail(), 0;
        return *m_p++;
    }
    uint64_t number() {
        uint64_t v = 0;
        for (unsigned shift = 0; shift < 64; shift += 7) {
            if (m_p >= m_end)
                return fail(), 0;
            const uint8_t b = *m_p++;
            v |= uint64_t(b & 0x7F) << shift;
            if (!(b & 0x80))
                return v;
        }
        return fail(), 0;
    }
    int64_t signedNumber() {
        const uint64_t v = number();
        return static_cast<int64_t>((v >> 1) ^ (0 - (v & 1)));
    }
    // A count of things each at least `unit` bytes long: larger than what is left is corrupt.
    size_t count(size_t unit = 1) {
        const uint64_t n = number();
        if (n > static_cast<uint64_t>(m_end - m_p) / unit)
            return fail(), 0;
        return static_cast<size_t>(n);
    }
    std::wstring text() {
        const size_t length = count(2);
        std::wstring s(length, L'\0');
        for (size_t i = 0; i < length; ++i)
            s[i] = static_cast<wchar_t>(m_p[2 * i] | (m_p[2 * i + 1] << 8));
        m_p += length * 2;
        return s;
    }
    // A text's UTF-16 bytes where they lie, for comparing a name without making a string.
    const uint8_t* rawText(size_t& length) {
        length = count(2);
        const uint8_t* at = m_p;
        m_p += length * 2;
        return at;
    }
    BSTR bstr() {
        const size_t length = count(2);
        BSTR b = SysAllocStringLen(nullptr, static_cast<UINT>(length));
        if (!b)
            _com_issue_error(E_OUTOFMEMORY);
        for (size_t i = 0; i < length; ++i)
            b[i] = static_cast<wchar_t>(m_p[2 * i] | (m_p[2 * i + 1] << 8));
        m_p += length * 2;
        return b;
    }
    bool raw(void* to, size_t n) {
        if (static_cast<size_t>(m_end - m_p) < n)
            return fail(), false;
        memcpy(to, m_p, n);
        m_p += n;
        return true;
    }
    // The next `n` bytes as a sub-reader's range.
    const uint8_t* take(size_t n) {
        if (static_cast<size_t>(m_end - m_p) < n)
            return fail(), nullptr;
        const uint8_t* at = m_p;
        m_p += n;
        return at;
    }
    void fail() {
        m_ok = false;
        m_p = m_end;
    }

private:
    const uint8_t* m_p;
    const uint8_t* m_end;
    bool m_ok = true;
};

HRESULT encodeEmbedded(IUnknown* object, std::vector<uint8_t>& bytes);
HRESULT decodeEmbedded(const uint8_t* data, size_t size, IUnknown** object);

void writeScalar(Writer& w, VARTYPE vt, const void* data) {
    switch (vt) {
    case VT_UI1:
        w.byte(*static_cast<const BYTE*>(data));
        break;
    case VT_I2:
    case VT_BOOL:
        w.signedNumber(*static_cast<const SHORT*>(data));
        break;
    case VT_I4:
        w.signedNumber(*static_cast<const LONG*>(data));
        break;
    case VT_R4: {
        uint32_t bits;
        memcpy(&bits, data, 4);
        for (int i = 0; i < 4; ++i)
            w.byte(static_cast<uint8_t>(bits >> (8 * i)));
        break;
    }
    case VT_R8: {
        uint64_t bits;
        memcpy(&bits, data, 8);
        for (int i = 0; i < 8; ++i)
            w.byte(static_cast<uint8_t>(bits >> (8 * i)));
        break;
    }
    case VT_BSTR: {
        const BSTR b = *static_cast<const BSTR*>(data);
        w.text(b ? b : L"", SysStringLen(b));
        break;
    }
    default:
        break;
    }
}

HRESULT writeValue(Writer& w, const VARIANT& v) {
    if (v.vt == (VT_ARRAY | VT_UNKNOWN) || v.vt == VT_UNKNOWN) {
        const bool isArray = v.vt & VT_ARRAY;
        w.byte(static_cast<uint8_t>(VT_UNKNOWN | (isArray ? kArray : 0)));
        const ULONG n = isArray ? (v.parray ? v.parray->rgsabound[0].cElements : 0) : 1;
        if (isArray)
            w.number(n);
        for (ULONG i = 0; i < n; ++i) {
            IUnknown* object = isArray ? static_cast<IUnknown**>(v.parray->pvData)[i] : v.punkVal;
            std::vector<uint8_t> embedded;
            const HRESULT hr = encodeEmbedded(object, embedded);
            if (FAILED(hr))
                return hr;
            w.blob(embedded);
        }
        return S_OK;
    }
    if (v.vt & VT_ARRAY) {
        const VARTYPE element = v.vt & ~VT_ARRAY;
        w.byte(static_cast<uint8_t>(element | kArray));
        const ULONG n = v.parray ? v.parray->rgsabound[0].cElements : 0;
        w.number(n);
        for (ULONG i = 0; i < n; ++i)
            writeScalar(w, element,
                        static_cast<const BYTE*>(v.parray->pvData) +
                            size_t(i) * v.parray->cbElements);
        return S_OK;
    }
    w.byte(static_cast<uint8_t>(v.vt));
    writeScalar(w, v.vt, &v.llVal);
    return S_OK;
}

bool isStoredScalar(VARTYPE vt) {
    switch (vt) {
    case VT_UI1:
    case VT_I2:
    case VT_BOOL:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_BSTR:
        return true;
    default:
        return false;
    }
}

bool readScalar(Reader& r, VARTYPE vt, void* data) {
    switch (vt) {
    case VT_UI1:
        *static_cast<BYTE*>(data) = r.byte();
        return true;
    case VT_I2:
    case VT_BOOL:
        *static_cast<SHORT*>(data) = static_cast<SHORT>(r.signedNumber());
        return true;
    case VT_I4:
        *static_cast<LONG*>(data) = static_cast<LONG>(r.signedNumber());
        return true;
    case VT_R4: {
        uint8_t b[4];
        if (!r.raw(b, 4))
            return false;
        const uint32_t bits = b[0] | (b[1] << 8) | (b[2] << 16) | (uint32_t(b[3]) << 24);
        memcpy(data, &bits, 4);
        return true;
    }
    case VT_R8: {
        uint8_t b[8];
        if (!r.raw(b, 8))
            return false;
        uint64_t bits = 0;
        for (int i = 7; i >= 0; --i)
            bits = (bits << 8) | b[i];
        memcpy(data, &bits, 8);
        return true;
    }
    case VT_BSTR:
        *static_cast<BSTR*>(data) = r.bstr();
        return true;
    default:
        return false;
    }
}

bool readValue(Reader& r, _variant_t& value) {
    const uint8_t tag = r.byte();
    const VARTYPE vt = tag & ~kArray;
    value.Clear();
    if (!(tag & kArray)) {
        if (vt == VT_NULL || vt == VT_EMPTY) {
            value.vt = vt;
            return r.ok();
        }
        if (vt == VT_UNKNOWN) {
            const size_t n = r.count();
            const uint8_t* at = r.take(n);
            if (!at)
                return false;
            IUnknown* object = nullptr;
            if (FAILED(decodeEmbedded(at, n, &object)))
                return false;
            value.vt = VT_UNKNOWN;
            value.punkVal = object;
            return true;
        }
        VARIANT raw;
        VariantInit(&raw);
        if (!readScalar(r, vt, &raw.llVal) || !r.ok()) {
            if (vt == VT_BSTR)
                SysFreeString(raw.bstrVal);
            return false;
        }
        raw.vt = vt;
        value.Attach(raw);
        return true;
    }
    // Only the element types values are held in: anything else is damage.
    if (vt != VT_UNKNOWN && !isStoredScalar(vt))
        return false;
    const size_t n = r.count();
    SAFEARRAY* array = SafeArrayCreateVector(vt, 0, static_cast<ULONG>(n));
    if (!array)
        return false;
    value.vt = VARTYPE(VT_ARRAY | vt);
    value.parray = array;
    for (size_t i = 0; i < n; ++i) {
        void* slot = static_cast<BYTE*>(array->pvData) + i * array->cbElements;
        if (vt == VT_UNKNOWN) {
            const size_t size = r.count();
            const uint8_t* at = r.take(size);
            if (!at || FAILED(decodeEmbedded(at, size, static_cast<IUnknown**>(slot))))
                return false;
        } else if (!readScalar(r, vt, slot) || !r.ok()) {
            return false;
        }
    }
    return r.ok();
}

void writeQualifiers(Writer& w, const QualifierList& list, bool localOnly) {
    size_t n = 0;
    for (const Qualifier& q : list)
        if (!localOnly || !(q.flavor & WBEM_FLAVOR_ORIGIN_PROPAGATED))
            ++n;
    w.number(n);
    for (const Qualifier& q : list) {
        if (localOnly && (q.flavor & WBEM_FLAVOR_ORIGIN_PROPAGATED))
            continue;
        w.text(q.name);
        w.number(static_cast<uint32_t>(q.flavor));
        writeValue(w, q.value);
    }
}

bool readQualifiers(Reader& r, QualifierList& list) {
    const size_t n = r.count(3);
    list.reserve(list.size() + n);
    for (size_t i = 0; i < n && r.ok(); ++i) {
        Qualifier q;
        q.name = r.text();
        q.flavor = static_cast<LONG>(r.number());
        if (!readValue(r, q.value))
            return false;
        const int at = findQualifier(list, q.name.c_str());
        if (at >= 0)
            list[static_cast<size_t>(at)] = std::move(q);
        else
            list.push_back(std::move(q));
    }
    return r.ok();
}

bool hasLocalQualifier(const QualifierList& list) {
    return std::any_of(list.begin(), list.end(), [](const Qualifier& q) {
        return !(q.flavor & WBEM_FLAVOR_ORIGIN_PROPAGATED);
    });
}

// Member entry flags.
constexpr uint8_t kNewMember = 1; // defined here (else: a change to an inherited one)
constexpr uint8_t kHasValue = 2;
constexpr uint8_t kHasIn = 4;
constexpr uint8_t kHasOut = 8;

HRESULT writeClass(Writer& w, const ClassDef& def) {
    w.byte(kClassMagic);
    w.text(def.name);
    w.text(def.superclass());
    writeQualifiers(w, def.qualifiers, true);
    const uint16_t depth = def.depth();
    size_t n = 0;
    for (const Property& p : def.properties)
        if (p.origin == depth || p.ownValue || hasLocalQualifier(p.qualifiers))
            ++n;
    w.number(n);
    for (const Property& p : def.properties) {
        const bool isNew = p.origin == depth;
        if (!isNew && !p.ownValue && !hasLocalQualifier(p.qualifiers))
            continue;
        const bool hasValue = isNew || p.ownValue;
        w.byte(static_cast<uint8_t>((isNew ? kNewMember : 0) | (hasValue ? kHasValue : 0)));
        w.text(p.name);
        if (isNew)
            w.number(static_cast<uint32_t>(p.type));
        if (hasValue) {
            const HRESULT hr = writeValue(w, p.value);
            if (FAILED(hr))
                return hr;
        }
        writeQualifiers(w, p.qualifiers, !isNew ? true : false);
    }
    n = 0;
    for (const Method& m : def.methods)
        if (m.origin == depth || hasLocalQualifier(m.qualifiers))
            ++n;
    w.number(n);
    for (const Method& m : def.methods) {
        const bool isNew = m.origin == depth;
        if (!isNew && !hasLocalQualifier(m.qualifiers))
            continue;
        w.byte(static_cast<uint8_t>((isNew ? kNewMember : 0) | (m.in ? kHasIn : 0) |
                                    (m.out ? kHasOut : 0)));
        w.text(m.name);
        writeQualifiers(w, m.qualifiers, true);
        if (isNew) {
            for (const ClassDefPtr& signature : {m.in, m.out}) {
                if (!signature)
                    continue;
                std::vector<uint8_t> bytes;
                Writer sub(bytes);
                const HRESULT hr = writeClass(sub, *signature);
                if (FAILED(hr))
                    return hr;
                w.blob(bytes);
            }
        }
    }
    return S_OK;
}

bool readClass(Reader& r, const ClassDefPtr& parent, std::shared_ptr<ClassDef>& out) {
    if (r.byte() != kClassMagic)
        return false;
    std::shared_ptr<ClassDef> def = parent ? deriveClass(parent) : std::make_shared<ClassDef>();
    def->name = r.text();
    const std::wstring superclass = r.text();
    if (!r.ok() || !sameName(superclass, parent ? parent->name : std::wstring()))
        return false;
    if (!readQualifiers(r, def->qualifiers))
        return false;
    const uint16_t depth = def->depth();
    const size_t properties = r.count(3);
    for (size_t i = 0; i < properties && r.ok(); ++i) {
        const uint8_t flags = r.byte();
        std::wstring name = r.text();
        Property* p = nullptr;
        if (flags & kNewMember) {
            def->properties.emplace_back();
            p = &def->properties.back();
            p->name = std::move(name);
            p->type = static_cast<CIMTYPE>(r.number());
            p->origin = depth;
        } else {
            const int at = def->findProperty(name.c_str());
            if (at < 0)
                return false;
            p = &def->properties[static_cast<size_t>(at)];
            p->ownValue = (flags & kHasValue) != 0;
        }
        if ((flags & kHasValue) && !readValue(r, p->value))
            return false;
        if (!(flags & kHasValue) && (flags & kNewMember))
            p->value.vt = VT_NULL;
        if (!readQualifiers(r, p->qualifiers))
            return false;
    }
    const size_t methods = r.count(2);
    for (size_t i = 0; i < methods && r.ok(); ++i) {
        const uint8_t flags = r.byte();
        std::wstring name = r.text();
        Method* m = nullptr;
        if (flags & kNewMember) {
            def->methods.emplace_back();
            m = &def->methods.back();
            m->name = std::move(name);
            m->origin = depth;
        } else {
            const int at = def->findMethod(name.c_str());
            if (at < 0)
                return false;
            m = &def->methods[static_cast<size_t>(at)];
        }
        if (!readQualifiers(r, m->qualifiers))
            return false;
        if (flags & kNewMember) {
            for (int which = 0; which < 2; ++which) {
                if (!(flags & (which == 0 ? kHasIn : kHasOut)))
                    continue;
                const size_t size = r.count();
                const uint8_t* at = r.take(size);
                if (!at)
                    return false;
                Reader sub(at, size);
                std::shared_ptr<ClassDef> signature;
                if (!readClass(sub, nullptr, signature))
                    return false;
                (which == 0 ? m->in : m->out) = std::move(signature);
            }
        }
    }
    if (!r.ok())
        return false;
    def->finish();
    out = std::move(def);
    return true;
}

} // namespace

// The codec's and the key functions' way into an object's state.
struct ObjectAccess {
    static HRESULT encodeClass(const ClassObject& object, std::vector<uint8_t>& bytes) {
        ClassDefPtr def = object.definition();
        if (object.genus() != Genus::Class || def->name.empty())
            return WBEM_E_INVALID_PARAMETER;
        bytes.clear();
        Writer w(bytes);
        return writeClass(w, *def);
    }

    static HRESULT encodeInstance(const ClassObject& object, std::vector<uint8_t>& bytes) {
        if (object.genus() != Genus::Instance)
            return WBEM_E_INVALID_PARAMETER;
        std::lock_guard<std::mutex> hold(object.m_lock);
        const ClassDef& def = *object.m_definition;
        bytes.clear();
        Writer w(bytes);
        w.byte(kInstanceMagic);
        size_t n = 0;
        for (const _variant_t& v : object.m_values)
            if (v.vt != VT_EMPTY)
                ++n;
        w.number(n);
        for (size_t i = 0; i < object.m_values.size(); ++i) {
            if (object.m_values[i].vt == VT_EMPTY)
                continue;
            w.number(i);
            w.text(def.properties[i].name);
            const HRESULT hr = writeValue(w, object.m_values[i]);
            if (FAILED(hr))
                return hr;
        }
        const ClassObject::InstanceExtras* extras = object.m_extras.get();
        writeQualifiers(w, extras ? extras->qualifiers : QualifierList(), false);
        n = 0;
        if (extras)
            for (const QualifierList& list : extras->propertyQualifiers)
                if (!list.empty())
                    ++n;
        w.number(n);
        if (extras) {
            for (size_t i = 0; i < extras->propertyQualifiers.size(); ++i) {
                if (extras->propertyQualifiers[i].empty())
                    continue;
                w.number(i);
                w.text(def.properties[i].name);
                writeQualifiers(w, extras->propertyQualifiers[i], false);
            }
        }
        return S_OK;
    }

    // The index of the property whose name the reader holds next, looked for first where the
    // writer had it, so that an unchanged class costs one comparison and no string.
    static int propertyAt(const ClassDef& def, size_t expected, Reader& r) {
        size_t length = 0;
        const uint8_t* raw = r.rawText(length);
        if (!r.ok())
            return -1;
        if (expected < def.properties.size()) {
            const std::wstring& name = def.properties[expected].name;
            bool same = name.size() == length;
            for (size_t i = 0; same && i < length; ++i)
                same = static_cast<wchar_t>(raw[2 * i] | (raw[2 * i + 1] << 8)) == name[i];
            if (same)
                return static_cast<int>(expected);
        }
        std::wstring name(length, L'\0');
        for (size_t i = 0; i < length; ++i)
            name[i] = static_cast<wchar_t>(raw[2 * i] | (raw[2 * i + 1] << 8));
        return def.findProperty(name.c_str());
    }

    static HRESULT decodeInstance(const uint8_t* data, size_t size, const ClassDefPtr& def,
                                  const std::shared_ptr<const Location>& location,
                                  ClassObject** result) {
        Reader r(data, size);
        if (r.byte() != kInstanceMagic)
            return WBEM_E_CRITICAL_ERROR;
        ClassObject* object = newInstance(def);
        object->m_location = location;
        const size_t n = r.count(3);
        for (size_t i = 0; i < n && r.ok(); ++i) {
            const size_t expected = static_cast<size_t>(r.number());
            const int at = propertyAt(*def, expected, r);
            _variant_t value;
            if (!readValue(r, value)) {
                object->Release();
                return WBEM_E_CRITICAL_ERROR;
            }
            if (at < 0)
                continue; // no longer defined by the class
            const CIMTYPE type = def->properties[static_cast<size_t>(at)].type;
            if (value.vt != variantTypeOf(type) && value.vt != VT_NULL) {
                // The class changed the property's type since: keep the value if it converts.
                _variant_t converted;
                if (FAILED(coerceValue(value, type, converted)))
                    continue;
                value = converted;
            }
            VARIANT raw = value.Detach();
            object->m_values[static_cast<size_t>(at)].Attach(raw);
        }
        QualifierList own;
        if (!readQualifiers(r, own)) {
            object->Release();
            return WBEM_E_CRITICAL_ERROR;
        }
        const size_t lists = r.count(3);
        if (!own.empty() || lists) {
            object->m_extras = std::make_unique<ClassObject::InstanceExtras>();
            object->m_extras->qualifiers = std::move(own);
            object->m_extras->propertyQualifiers.resize(def->properties.size());
        }
        for (size_t i = 0; i < lists && r.ok(); ++i) {
            const size_t expected = static_cast<size_t>(r.number());
            const int at = propertyAt(*def, expected, r);
            QualifierList list;
            if (!readQualifiers(r, list)) {
                object->Release();
                return WBEM_E_CRITICAL_ERROR;
            }
            if (at >= 0)
                object->m_extras->propertyQualifiers[static_cast<size_t>(at)] = std::move(list);
        }
        if (!r.ok() || !r.atEnd()) {
            object->Release();
            return WBEM_E_CRITICAL_ERROR;
        }
        *result = object;
        return S_OK;
    }

    static HRESULT relativePath(const ClassObject& object, std::wstring& path) {
        std::lock_guard<std::mutex> hold(object.m_lock);
        bool isNull = true;
        const HRESULT hr = object.relativePathLocked(path, isNull);
        if (FAILED(hr))
            return hr;
        return isNull ? WBEM_E_ILLEGAL_NULL : S_OK;
    }

    static HRESULT instanceKey(const ClassObject& object, std::wstring& key) {
        if (object.genus() != Genus::Instance)
            return WBEM_E_INVALID_PARAMETER;
        std::lock_guard<std::mutex> hold(object.m_lock);
        const ClassDef& def = *object.m_definition;
        if (def.keys.empty()) {
            if (!def.isSingleton)
                return WBEM_E_INVALID_OBJECT;
            key = L"@";
            return S_OK;
        }
        std::vector<std::pair<std::wstring, std::wstring>> parts;
        for (uint32_t index : def.keys) {
            const _variant_t& value = object.valueAt(index);
            if (value.vt == VT_NULL || value.vt == VT_EMPTY)
                return WBEM_E_ILLEGAL_NULL;
            parts.emplace_back(foldName(def.properties[index].name),
                               keyValueText(value, def.properties[index].type, true));
        }
        key = joinKey(parts);
        return S_OK;
    }

    static std::wstring joinKey(std::vector<std::pair<std::wstring, std::wstring>>& parts) {
        std::sort(parts.begin(), parts.end());
        std::wstring key;
        for (const auto& [name, value] : parts) {
            if (!key.empty())
                key += L',';
            key += name;
            key += L'=';
            key += value;
        }
        return key;
    }
};

namespace {

HRESULT encodeEmbedded(IUnknown* unknown, std::vector<uint8_t>& bytes) {
    ClassObject* object = ClassObject::from(unknown);
    Writer w(bytes);
    if (!object) {
        w.byte(0);
        return S_OK;
    }
    // The whole class chain, root first, so the object decodes without a repository.
    ClassDefPtr def = object->definition();
    std::vector<const ClassDef*> chain;
    for (const ClassDef* d = def.get(); d; d = d->parent.get())
        chain.push_back(d);
    w.byte(static_cast<uint8_t>(object->genus()));
    w.number(chain.size());
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        std::vector<uint8_t> part;
        Writer sub(part);
        const HRESULT hr = writeClass(sub, **it);
        if (FAILED(hr))
            return hr;
        w.blob(part);
    }
    if (object->genus() == Genus::Instance) {
        std::vector<uint8_t> part;
        const HRESULT hr = ObjectAccess::encodeInstance(*object, part);
        if (FAILED(hr))
            return hr;
        w.blob(part);
    }
    return S_OK;
}

HRESULT decodeEmbedded(const uint8_t* data, size_t size, IUnknown** result) {
    Reader r(data, size);
    const uint8_t genus = r.byte();
    *result = nullptr;
    if (genus == 0)
        return r.ok() ? S_OK : WBEM_E_CRITICAL_ERROR;
    const size_t n = r.count();
    ClassDefPtr def;
    for (size_t i = 0; i < n; ++i) {
        const size_t partSize = r.count();
        const uint8_t* part = r.take(partSize);
        if (!part)
            return WBEM_E_CRITICAL_ERROR;
        Reader sub(part, partSize);
        std::shared_ptr<ClassDef> next;
        if (!readClass(sub, def, next))
            return WBEM_E_CRITICAL_ERROR;
        def = std::move(next);
    }
    if (!def)
        return WBEM_E_CRITICAL_ERROR;
    if (genus == static_cast<uint8_t>(Genus::Class)) {
        *result = static_cast<IWbemClassObject*>(classObject(def));
        return S_OK;
    }
    const size_t partSize = r.count();
    const uint8_t* part = r.take(partSize);
    if (!part)
        return WBEM_E_CRITICAL_ERROR;
    ClassObject* instance = nullptr;
    const HRESULT hr = ObjectAccess::decodeInstance(part, partSize, def, nullptr, &instance);
    if (FAILED(hr))
        return hr;
    *result = static_cast<IWbemClassObject*>(instance);
    return S_OK;
}

} // namespace

HRESULT encodeClass(const ClassObject& object, std::vector<uint8_t>& bytes) {
    try {
        return ObjectAccess::encodeClass(object, bytes);
    } catch (const _com_error& error) {
        return error.Error();
    } catch (const std::bad_alloc&) {
        return WBEM_E_OUT_OF_MEMORY;
    }
}

HRESULT decodeClass(const uint8_t* data, size_t size, const ClassDefPtr& parent,
                    const std::shared_ptr<const Location>& location, ClassDefPtr& definition) {
    try {
        Reader r(data, size);
        std::shared_ptr<ClassDef> def;
        if (!readClass(r, parent, def) || !r.atEnd())
            return WBEM_E_CRITICAL_ERROR;
        def->location = location;
        definition = std::move(def);
        return S_OK;
    } catch (const _com_error& error) {
        return error.Error();
    } catch (const std::bad_alloc&) {
        return WBEM_E_OUT_OF_MEMORY;
    }
}

HRESULT encodeInstance(const ClassObject& object, std::vector<uint8_t>& bytes) {
    try {
        return ObjectAccess::encodeInstance(object, bytes);
    } catch (const _com_error& error) {
        return error.Error();
    } catch (const std::bad_alloc&) {
        return WBEM_E_OUT_OF_MEMORY;
    }
}

HRESULT decodeInstance(const uint8_t* data, size_t size, const ClassDefPtr& definition,
                       const std::shared_ptr<const Location>& location, ClassObject** object) {
    if (!object || !definition)
        return WBEM_E_INVALID_PARAMETER;
    try {
        return ObjectAccess::decodeInstance(data, size, definition, location, object);
    } catch (const _com_error& error) {
        return error.Error();
    } catch (const std::bad_alloc&) {
        return WBEM_E_OUT_OF_MEMORY;
    }
}

HRESULT encodeObject(IWbemClassObject* object, std::vector<uint8_t>& bytes) {
    if (!ClassObject::from(object))
        return WBEM_E_INVALID_PARAMETER;
    try {
        return encodeEmbedded(object, bytes);
    } catch (const _com_error& error) {
        return error.Error();
    } catch (const std::bad_alloc&) {
        return WBEM_E_OUT_OF_MEMORY;
    }
}

HRESULT decodeObject(const uint8_t* data, size_t size, IWbemClassObject** object) {
    if (!object)
        return WBEM_E_INVALID_PARAMETER;
    *object = nullptr;
    try {
        IUnknown* decoded = nullptr;
        const HRESULT hr = decodeEmbedded(data, size, &decoded);
        if (FAILED(hr))
            return hr;
        if (!decoded)
            return WBEM_E_CRITICAL_ERROR;
        *object = static_cast<IWbemClassObject*>(decoded);
        return S_OK;
    } catch (const _com_error& error) {
        return error.Error();
    } catch (const std::bad_alloc&) {
        return WBEM_E_OUT_OF_MEMORY;
    }
}

HRESULT instanceKey(const ClassObject& instance, std::wstring& key) {
    try {
        return ObjectAccess::instanceKey(instance, key);
    } catch (const _com_error& error) {
        return error.Error();
    }
}

HRESULT relativePath(const ClassObject& instance, std::wstring& path) {
    try {
        return ObjectAccess::relativePath(instance, path);
    } catch (const _com_error& error) {
        return error.Error();
    }
}

namespace {

// A key value from a path, in its property's form: paths write numbers bare and everything else
// as quoted text, so text is read as a number or a boolean where the property wants one.
HRESULT keyValue(const VARIANT& given, CIMTYPE type, _variant_t& value) {
    if (SUCCEEDED(coerceValue(given, type, value)))
        return S_OK;
    if (given.vt != VT_BSTR || !given.bstrVal)
        return WBEM_E_INVALID_OBJECT_PATH;
    const std::wstring text(given.bstrVal, SysStringLen(given.bstrVal));
    VARIANT parsed;
    VariantInit(&parsed);
    if (type == CIM_BOOLEAN) {
        if (sameName(text, L"TRUE"))
            parsed.boolVal = VARIANT_TRUE;
        else if (sameName(text, L"FALSE"))
            parsed.boolVal = VARIANT_FALSE;
        else
            return WBEM_E_INVALID_OBJECT_PATH;
        parsed.vt = VT_BOOL;
    } else {
        wchar_t* end = nullptr;
        if (text.empty())
            return WBEM_E_INVALID_OBJECT_PATH;
        if (text[0] == L'-') {
            parsed.llVal = wcstoll(text.c_str(), &end, 10);
            parsed.vt = VT_I8;
        } else {
            parsed.ullVal = wcstoull(text.c_str(), &end, 10);
            parsed.vt = VT_UI8;
        }
        if (!end || *end)
            return WBEM_E_INVALID_OBJECT_PATH;
    }
    return SUCCEEDED(coerceValue(parsed, type, value)) ? S_OK : WBEM_E_INVALID_OBJECT_PATH;
}

} // namespace

HRESULT keyFromBindings(const ClassDef& definition, const std::vector<KeyBinding>& bindings,
                        std::wstring& key) {
    try {
        if (bindings.empty()) {
            if (!definition.isSingleton)
                return WBEM_E_INVALID_OBJECT_PATH;
            key = L"@";
            return S_OK;
        }
        if (bindings.size() != definition.keys.size())
            return WBEM_E_INVALID_OBJECT_PATH;
        std::vector<std::pair<std::wstring, std::wstring>> parts;
        std::vector<bool> seen(definition.properties.size(), false);
        for (const KeyBinding& binding : bindings) {
            int at = -1;
            if (binding.name.empty() && definition.keys.size() == 1)
                at = static_cast<int>(definition.keys[0]); // `Class="value"`
            else
                at = definition.findProperty(binding.name.c_str());
            if (at < 0 || seen[static_cast<size_t>(at)] ||
                std::find(definition.keys.begin(), definition.keys.end(),
                          static_cast<uint32_t>(at)) == definition.keys.end())
                return WBEM_E_INVALID_OBJECT_PATH;
            seen[static_cast<size_t>(at)] = true;
            const Property& p = definition.properties[static_cast<size_t>(at)];
            _variant_t value;
            const HRESULT hr = keyValue(binding.value, p.type, value);
            if (FAILED(hr))
                return hr;
            if (value.vt == VT_NULL)
                return WBEM_E_INVALID_OBJECT_PATH;
            parts.emplace_back(foldName(p.name), keyValueText(value, p.type, true));
        }
        key = ObjectAccess::joinKey(parts);
        return S_OK;
    } catch (const _com_error& error) {
        return error.Error();
    }
}

} // namespace zp::wbem
