#include "WbemTarget.h"

#include <oleauto.h>

namespace tool {

namespace {

using DEZE::IWbemClassObjectPtr;
using DEZE::IWbemQualifierSetPtr;
using DEZE::IWbemServicesPtr;
using mof::Type;
using mof::Value;

// UTF-8 (with lone surrogates in their three-byte form, as the compiler keeps them) to UTF-16.
std::wstring wide(const std::string& text) {
    std::wstring units(text.size(), L'\0');
    size_t ascii = 0; // schemas are mostly ASCII: widen that part unit by unit, no checks
    while (ascii < text.size() && static_cast<unsigned char>(text[ascii]) < 0x80) {
        units[ascii] = static_cast<wchar_t>(text[ascii]);
        ++ascii;
    }
    if (ascii == text.size())
        return units;
    units.resize(ascii);
    for (size_t i = ascii; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        char32_t code = lead;
        size_t length = 1;
        if (lead >= 0xF0 && i + 3 < text.size()) {
            length = 4;
            code = ((lead & 0x07u) << 18) | ((text[i + 1] & 0x3Fu) << 12) |
                   ((text[i + 2] & 0x3Fu) << 6) | (text[i + 3] & 0x3Fu);
        } else if (lead >= 0xE0 && i + 2 < text.size()) {
            length = 3;
            code = ((lead & 0x0Fu) << 12) | ((text[i + 1] & 0x3Fu) << 6) | (text[i + 2] & 0x3Fu);
        } else if (lead >= 0xC0 && i + 1 < text.size()) {
            length = 2;
            code = ((lead & 0x1Fu) << 6) | (text[i + 1] & 0x3Fu);
        }
        if (code >= 0x10000) {
            units += static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
            units += static_cast<wchar_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            units += static_cast<wchar_t>(code);
        }
        i += length;
    }
    return units;
}

std::string narrow(const wchar_t* text) {
    return text ? DEZE::make_string(std::wstring(text)) : std::string();
}

// WMI's statuses are an unsigned enumeration on Windows: compare them as HRESULTs.
bool isMissingClass(HRESULT status) {
    return status == static_cast<HRESULT>(WBEM_E_NOT_FOUND) ||
           status == static_cast<HRESULT>(WBEM_E_INVALID_CLASS);
}

[[noreturn]] void failed(HRESULT status, const std::string& call) {
    throw mof::StoreError(call + ": " + statusText(status), static_cast<uint32_t>(status));
}

void check(HRESULT status, const std::string& call) {
    if (FAILED(status))
        failed(status, call);
}

CIMTYPE cimType(Type type) {
    switch (type) {
    case Type::Sint8:
        return CIM_SINT8;
    case Type::Uint8:
        return CIM_UINT8;
    case Type::Sint16:
        return CIM_SINT16;
    case Type::Uint16:
        return CIM_UINT16;
    case Type::Sint32:
        return CIM_SINT32;
    case Type::Uint32:
        return CIM_UINT32;
    case Type::Sint64:
        return CIM_SINT64;
    case Type::Uint64:
        return CIM_UINT64;
    case Type::Real32:
        return CIM_REAL32;
    case Type::Real64:
        return CIM_REAL64;
    case Type::Char16:
        return CIM_CHAR16;
    case Type::String:
        return CIM_STRING;
    case Type::Boolean:
        return CIM_BOOLEAN;
    case Type::Datetime:
        return CIM_DATETIME;
    case Type::Reference:
        return CIM_REFERENCE;
    case Type::Object:
        return CIM_OBJECT;
    case Type::None:
        break;
    }
    return CIM_EMPTY;
}

Type typeOf(CIMTYPE type) {
    switch (type & ~CIM_FLAG_ARRAY) {
    case CIM_SINT8:
        return Type::Sint8;
    case CIM_UINT8:
        return Type::Uint8;
    case CIM_SINT16:
        return Type::Sint16;
    case CIM_UINT16:
        return Type::Uint16;
    case CIM_SINT32:
        return Type::Sint32;
    case CIM_UINT32:
        return Type::Uint32;
    case CIM_SINT64:
        return Type::Sint64;
    case CIM_UINT64:
        return Type::Uint64;
    case CIM_REAL32:
        return Type::Real32;
    case CIM_REAL64:
        return Type::Real64;
    case CIM_CHAR16:
        return Type::Char16;
    case CIM_BOOLEAN:
        return Type::Boolean;
    case CIM_DATETIME:
        return Type::Datetime;
    case CIM_REFERENCE:
        return Type::Reference;
    case CIM_OBJECT:
        return Type::Object;
    default:
        return Type::String;
    }
}

LONG flavorFlags(uint8_t flavors) {
    LONG flags = 0;
    if (flavors & mof::kToSubclass)
        flags |= WBEM_FLAVOR_FLAG_PROPAGATE_TO_DERIVED_CLASS;
    if (flavors & mof::kToInstance)
        flags |= WBEM_FLAVOR_FLAG_PROPAGATE_TO_INSTANCE;
    if (flavors & mof::kDisableOverride)
        flags |= WBEM_FLAVOR_NOT_OVERRIDABLE;
    if (flavors & mof::kAmended)
        flags |= WBEM_FLAVOR_AMENDED;
    return flags;
}

LONG putFlags(uint32_t flags) {
    LONG result = WBEM_FLAG_CREATE_OR_UPDATE;
    if (flags & mof::kUpdateOnly)
        result |= WBEM_FLAG_UPDATE_ONLY;
    if (flags & mof::kCreateOnly)
        result |= WBEM_FLAG_CREATE_ONLY;
    if (flags & mof::kSafeUpdate)
        result |= WBEM_FLAG_UPDATE_SAFE_MODE;
    if (flags & mof::kForceUpdate)
        result |= WBEM_FLAG_UPDATE_FORCE_MODE;
    return result;
}

// The automation type WMI uses for a CIM type's values.
VARTYPE variantType(Type type) {
    switch (type) {
    case Type::Uint8:
        return VT_UI1;
    case Type::Sint8:
    case Type::Sint16:
    case Type::Char16:
        return VT_I2;
    case Type::Uint16:
    case Type::Sint32:
    case Type::Uint32:
        return VT_I4;
    case Type::Real32:
        return VT_R4;
    case Type::Real64:
        return VT_R8;
    case Type::Boolean:
        return VT_BOOL;
    case Type::Object:
        return VT_UNKNOWN;
    default: // 64-bit integers are decimal text, like strings, datetimes and references
        return VT_BSTR;
    }
}

// A qualifier's value holds only VT_I4, VT_R8, VT_BSTR and VT_BOOL: other integers go as text.
VARTYPE qualifierVariantType(const Value& value) {
    switch (value.kind) {
    case Value::Kind::Boolean:
        return VT_BOOL;
    case Value::Kind::Real:
        return VT_R8;
    case Value::Kind::Integer:
        return (value.negative ? value.magnitude <= 2147483648u : value.magnitude <= 2147483647u)
                   ? VT_I4
                   : VT_BSTR;
    default:
        return VT_BSTR;
    }
}

class ValueWriter {
public:
    explicit ValueWriter(WbemTarget& target) : m_target(target) {}

    // Fills an empty variant with one scalar of the given automation type.
    void scalar(VARIANT& out, const Value& value, VARTYPE vt) const {
        switch (vt) {
        case VT_BOOL:
            V_VT(&out) = VT_BOOL;
            V_BOOL(&out) = value.boolean ? VARIANT_TRUE : VARIANT_FALSE;
            return;
        case VT_UI1:
            V_VT(&out) = VT_UI1;
            V_UI1(&out) = static_cast<BYTE>(value.magnitude);
            return;
        case VT_I2:
            V_VT(&out) = VT_I2;
            V_I2(&out) = value.kind == Value::Kind::Char ? static_cast<SHORT>(value.character)
                                                         : static_cast<SHORT>(value.asSigned());
            return;
        case VT_I4:
            V_VT(&out) = VT_I4;
            V_I4(&out) = static_cast<LONG>(static_cast<int32_t>(value.asSigned()));
            return;
        case VT_R4:
            V_VT(&out) = VT_R4;
            V_R4(&out) = static_cast<float>(value.real);
            return;
        case VT_R8:
            V_VT(&out) = VT_R8;
            V_R8(&out) = value.kind == Value::Kind::Integer ? static_cast<double>(value.asSigned())
                                                            : value.real;
            return;
        case VT_UNKNOWN: {
            IWbemClassObjectPtr embedded = m_target.spawnEmbedded(*value.instance);
            V_VT(&out) = VT_UNKNOWN;
            V_UNKNOWN(&out) = embedded.Detach();
            return;
        }
        default: {
            std::wstring text;
            if (value.kind == Value::Kind::Integer)
                text = wide((value.negative ? "-" : "") + std::to_string(value.magnitude));
            else
                text = wide(value.text);
            V_VT(&out) = VT_BSTR;
            V_BSTR(&out) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
            if (!V_BSTR(&out))
                failed(E_OUTOFMEMORY, "SysAllocStringLen");
            return;
        }
        }
    }

    // The variant for a value of a property (or parameter) of type `type`.
    _variant_t property(const Value& value, Type type, bool isArray) const {
        _variant_t out;
        if (value.kind == Value::Kind::Null)
            return out;
        const VARTYPE vt = variantType(type);
        if (!isArray) {
            scalar(out.GetVARIANT(), value, vt);
            return out;
        }
        return array(
            value, [vt](const Value&) { return vt; }, vt);
    }

    _variant_t qualifier(const Value& value) const {
        _variant_t out;
        if (value.kind == Value::Kind::Null)
            return out;
        if (value.kind != Value::Kind::Array) {
            scalar(out.GetVARIANT(), value, qualifierVariantType(value));
            return out;
        }
        // One element type for the whole array: text if any integer needs it.
        VARTYPE vt = VT_BSTR;
        if (!value.elements.empty()) {
            vt = qualifierVariantType(value.elements[0]);
            for (const Value& element : value.elements)
                if (qualifierVariantType(element) == VT_BSTR)
                    vt = VT_BSTR;
        }
        return array(
            value, [vt](const Value&) { return vt; }, vt);
    }

private:
    template <typename Chooser>
    _variant_t array(const Value& value, Chooser, VARTYPE vt) const {
        SAFEARRAY* elements =
            SafeArrayCreateVector(vt, 0, static_cast<ULONG>(value.elements.size()));
        if (!elements)
            failed(E_OUTOFMEMORY, "SafeArrayCreateVector");
        _variant_t out;
        V_VT(&out.GetVARIANT()) = static_cast<VARTYPE>(VT_ARRAY | vt);
        V_ARRAY(&out.GetVARIANT()) = elements; // owned by out from here on
        for (size_t i = 0; i < value.elements.size(); ++i) {
            _variant_t element;
            scalar(element.GetVARIANT(), value.elements[i], vt);
            LONG index = static_cast<LONG>(i);
            void* data = &V_UI1(&element.GetVARIANT());
            if (vt == VT_BSTR)
                data = V_BSTR(&element.GetVARIANT());
            else if (vt == VT_UNKNOWN)
                data = V_UNKNOWN(&element.GetVARIANT());
            check(SafeArrayPutElement(elements, &index, data), "SafeArrayPutElement");
        }
        return out;
    }

    WbemTarget& m_target;
};

void putQualifiers(IWbemQualifierSet* set, const mof::QualifierList& qualifiers,
                   const ValueWriter& writer) {
    for (const mof::Qualifier& qualifier : qualifiers) {
        _variant_t value = writer.qualifier(qualifier.value);
        const HRESULT status = set->Put(wide(qualifier.name).c_str(), &value.GetVARIANT(),
                                        flavorFlags(qualifier.flavors));
        if (FAILED(status))
            failed(status, "IWbemQualifierSet::Put of " + qualifier.name);
    }
}

// The CIMTYPE qualifier that names a reference's or an embedded object's class.
void putClassName(IWbemQualifierSet* set, Type type, const std::string& className) {
    if (type != Type::Reference && type != Type::Object)
        return;
    std::string text = type == Type::Reference ? "ref" : "object";
    if (!className.empty())
        text += ":" + className;
    _variant_t value(wide(text).c_str());
    check(set->Put(L"CIMTYPE", &value.GetVARIANT(), 0), "IWbemQualifierSet::Put");
}

// An empty signature object. A service without the system class __PARAMETERS gets an empty class
// of that name, which is what the class would give.
IWbemClassObjectPtr parametersClass(IWbemServices* wmi) {
    IWbemClassObjectPtr signature;
    const HRESULT status =
        wmi->GetObject(_bstr_t(L"__PARAMETERS"), 0, nullptr, &signature, nullptr);
    if (SUCCEEDED(status))
        return signature;
    if (!isMissingClass(status))
        failed(status, "IWbemServices::GetObject");
    check(wmi->GetObject(nullptr, 0, nullptr, &signature, nullptr), "IWbemServices::GetObject");
    _variant_t name(L"__PARAMETERS");
    check(signature->Put(L"__CLASS", 0, &name.GetVARIANT(), 0), "IWbemClassObject::Put");
    return signature;
}

} // namespace

WbemTarget::WbemTarget(Connect connect) : m_connect(std::move(connect)) {}

IWbemServicesPtr WbemTarget::services(const std::string& nameSpace) {
    const std::string key = mof::lowered(nameSpace);
    const auto found = m_services.find(key);
    if (found != m_services.end())
        return found->second;
    IWbemServicesPtr connected = m_connect(nameSpace);
    m_services.emplace(key, connected);
    return connected;
}

const IWbemClassObjectPtr& WbemTarget::parameters(const std::string& nameSpace) {
    IWbemClassObjectPtr& signature = m_parameters[mof::lowered(nameSpace)];
    if (!signature)
        signature = parametersClass(services(nameSpace));
    return signature;
}

std::shared_ptr<const mof::ClassShape> WbemTarget::findClass(const std::string& nameSpace,
                                                             const std::string& name) {
    IWbemServicesPtr wmi = services(nameSpace);
    IWbemClassObjectPtr object;
    const HRESULT status =
        wmi->GetObject(_bstr_t(wide(name).c_str()), 0, nullptr, &object, nullptr);
    if (isMissingClass(status))
        return nullptr;
    check(status, "IWbemServices::GetObject");
    auto shape = std::make_shared<mof::ClassShape>();
    shape->name = name;
    _variant_t superclass;
    if (SUCCEEDED(object->Get(L"__SUPERCLASS", 0, &superclass.GetVARIANT(), nullptr, nullptr)) &&
        V_VT(&superclass.GetVARIANT()) == VT_BSTR)
        shape->superclass = narrow(V_BSTR(&superclass.GetVARIANT()));
    IWbemQualifierSetPtr classQualifiers;
    if (SUCCEEDED(object->GetQualifierSet(&classQualifiers))) {
        _variant_t flag;
        if (SUCCEEDED(classQualifiers->Get(L"abstract", 0, &flag.GetVARIANT(), nullptr)))
            shape->abstract = V_VT(&flag.GetVARIANT()) == VT_BOOL && V_BOOL(&flag.GetVARIANT());
        _variant_t singleton;
        if (SUCCEEDED(classQualifiers->Get(L"singleton", 0, &singleton.GetVARIANT(), nullptr)))
            shape->singleton =
                V_VT(&singleton.GetVARIANT()) == VT_BOOL && V_BOOL(&singleton.GetVARIANT());
    }
    check(object->BeginEnumeration(WBEM_FLAG_NONSYSTEM_ONLY), "IWbemClassObject::BeginEnumeration");
    for (;;) {
        BSTR propertyName = nullptr;
        CIMTYPE type = 0;
        const HRESULT next = object->Next(0, &propertyName, nullptr, &type, nullptr);
        if (next == WBEM_S_NO_MORE_DATA)
            break;
        check(next, "IWbemClassObject::Next");
        const _bstr_t owned(propertyName, false);
        mof::PropertyShape property;
        property.name = narrow(propertyName);
        property.type = typeOf(type);
        property.isArray = (type & CIM_FLAG_ARRAY) != 0;
        IWbemQualifierSetPtr qualifiers;
        if (SUCCEEDED(object->GetPropertyQualifierSet(propertyName, &qualifiers))) {
            _variant_t key;
            if (SUCCEEDED(qualifiers->Get(L"key", 0, &key.GetVARIANT(), nullptr)))
                property.key = V_VT(&key.GetVARIANT()) == VT_BOOL && V_BOOL(&key.GetVARIANT());
            _variant_t cimType;
            if (SUCCEEDED(qualifiers->Get(L"CIMTYPE", 0, &cimType.GetVARIANT(), nullptr)) &&
                V_VT(&cimType.GetVARIANT()) == VT_BSTR) {
                const std::string text = narrow(V_BSTR(&cimType.GetVARIANT()));
                const size_t colon = text.find(':');
                if (colon != std::string::npos)
                    property.referenceClass = text.substr(colon + 1);
            }
        }
        shape->properties.push_back(std::move(property));
    }
    object->EndEnumeration();
    if (SUCCEEDED(object->BeginMethodEnumeration(0))) {
        for (;;) {
            BSTR methodName = nullptr;
            if (object->NextMethod(0, &methodName, nullptr, nullptr) != WBEM_S_NO_ERROR)
                break;
            const _bstr_t owned(methodName, false);
            shape->methods.push_back(narrow(methodName));
        }
        object->EndMethodEnumeration();
    }
    return shape;
}

void WbemTarget::putClass(const mof::ClassDeclaration& declaration) {
    IWbemServicesPtr wmi = services(declaration.nameSpace);
    const ValueWriter writer(*this);
    IWbemClassObjectPtr object;
    if (declaration.superclass.empty()) {
        check(wmi->GetObject(nullptr, 0, nullptr, &object, nullptr), "IWbemServices::GetObject");
    } else {
        IWbemClassObjectPtr superclass;
        check(wmi->GetObject(_bstr_t(wide(declaration.superclass).c_str()), 0, nullptr, &superclass,
                             nullptr),
              "IWbemServices::GetObject");
        check(superclass->SpawnDerivedClass(0, &object), "IWbemClassObject::SpawnDerivedClass");
    }
    _variant_t name(wide(declaration.name).c_str());
    check(object->Put(L"__CLASS", 0, &name.GetVARIANT(), 0), "IWbemClassObject::Put");
    IWbemQualifierSetPtr qualifiers;
    check(object->GetQualifierSet(&qualifiers), "IWbemClassObject::GetQualifierSet");
    putQualifiers(qualifiers, declaration.qualifiers, writer);

    for (const mof::Property& property : declaration.properties) {
        const std::wstring propertyName = wide(property.name);
        _variant_t value = writer.property(property.value, property.type, property.isArray);
        const CIMTYPE type = cimType(property.type) | (property.isArray ? CIM_FLAG_ARRAY : 0);
        check(object->Put(propertyName.c_str(), 0, &value.GetVARIANT(), type),
              "IWbemClassObject::Put");
        IWbemQualifierSetPtr propertyQualifiers;
        check(object->GetPropertyQualifierSet(propertyName.c_str(), &propertyQualifiers),
              "IWbemClassObject::GetPropertyQualifierSet");
        putClassName(propertyQualifiers, property.type, property.referenceClass);
        putQualifiers(propertyQualifiers, property.qualifiers, writer);
    }

    for (const mof::Method& method : declaration.methods) {
        // Each signature is a class object of the system class __PARAMETERS: the in-parameters
        // in one, the out-parameters and ReturnValue in the other, numbered by ID in the order
        // written.
        IWbemClassObjectPtr in;
        IWbemClassObjectPtr out;
        const IWbemClassObjectPtr& empty = parameters(declaration.nameSpace);
        check(empty->Clone(&in), "IWbemClassObject::Clone");
        check(empty->Clone(&out), "IWbemClassObject::Clone");
        bool anyIn = false;
        bool anyOut = method.returnType != Type::None;
        LONG id = 0;
        for (const mof::Property& parameter : method.parameters) {
            bool isIn = false;
            bool isOut = false;
            for (const mof::Qualifier& qualifier : parameter.qualifiers) {
                if (mof::equalsNoCase(qualifier.name, "In"))
                    isIn = qualifier.value.boolean;
                if (mof::equalsNoCase(qualifier.name, "Out"))
                    isOut = qualifier.value.boolean;
            }
            if (!isIn && !isOut)
                isIn = true; // a parameter without direction is an input
            const CIMTYPE type = cimType(parameter.type) | (parameter.isArray ? CIM_FLAG_ARRAY : 0);
            for (IWbemClassObject* signature :
                 {isIn ? in.GetInterfacePtr() : nullptr, isOut ? out.GetInterfacePtr() : nullptr}) {
                if (!signature)
                    continue;
                const std::wstring parameterName = wide(parameter.name);
                check(signature->Put(parameterName.c_str(), 0, nullptr, type),
                      "IWbemClassObject::Put");
                IWbemQualifierSetPtr parameterQualifiers;
                check(
                    signature->GetPropertyQualifierSet(parameterName.c_str(), &parameterQualifiers),
                    "IWbemClassObject::GetPropertyQualifierSet");
                _variant_t order(static_cast<long>(id), VT_I4);
                check(parameterQualifiers->Put(L"ID", &order.GetVARIANT(), 0),
                      "IWbemQualifierSet::Put");
                putClassName(parameterQualifiers, parameter.type, parameter.referenceClass);
                putQualifiers(parameterQualifiers, parameter.qualifiers, writer);
            }
            anyIn = anyIn || isIn;
            anyOut = anyOut || isOut;
            ++id;
        }
        if (method.returnType != Type::None) {
            check(out->Put(L"ReturnValue", 0, nullptr, cimType(method.returnType)),
                  "IWbemClassObject::Put");
            IWbemQualifierSetPtr returnQualifiers;
            check(out->GetPropertyQualifierSet(L"ReturnValue", &returnQualifiers),
                  "IWbemClassObject::GetPropertyQualifierSet");
            putClassName(returnQualifiers, method.returnType, method.returnClass);
        }
        check(object->PutMethod(wide(method.name).c_str(), 0,
                                anyIn ? in.GetInterfacePtr() : nullptr,
                                anyOut ? out.GetInterfacePtr() : nullptr),
              "IWbemClassObject::PutMethod");
        IWbemQualifierSetPtr methodQualifiers;
        check(object->GetMethodQualifierSet(wide(method.name).c_str(), &methodQualifiers),
              "IWbemClassObject::GetMethodQualifierSet");
        putQualifiers(methodQualifiers, method.qualifiers, writer);
    }
    check(wmi->PutClass(object, putFlags(declaration.classFlags), nullptr, nullptr),
          "IWbemServices::PutClass");
}

IWbemClassObjectPtr WbemTarget::spawnEmbedded(const mof::InstanceDeclaration& declaration) {
    IWbemServicesPtr wmi = services(declaration.nameSpace);
    IWbemClassObjectPtr definition;
    check(wmi->GetObject(_bstr_t(wide(declaration.className).c_str()), 0, nullptr, &definition,
                         nullptr),
          "IWbemServices::GetObject");
    IWbemClassObjectPtr instance;
    check(definition->SpawnInstance(0, &instance), "IWbemClassObject::SpawnInstance");
    const ValueWriter writer(*this);
    IWbemQualifierSetPtr qualifiers;
    if (!declaration.qualifiers.empty()) {
        check(instance->GetQualifierSet(&qualifiers), "IWbemClassObject::GetQualifierSet");
        putQualifiers(qualifiers, declaration.qualifiers, writer);
    }
    for (const mof::Property& property : declaration.properties) {
        const std::wstring propertyName = wide(property.name);
        _variant_t value = writer.property(property.value, property.type, property.isArray);
        check(instance->Put(propertyName.c_str(), 0, &value.GetVARIANT(), 0),
              "IWbemClassObject::Put");
        if (!property.qualifiers.empty()) {
            IWbemQualifierSetPtr propertyQualifiers;
            check(instance->GetPropertyQualifierSet(propertyName.c_str(), &propertyQualifiers),
                  "IWbemClassObject::GetPropertyQualifierSet");
            putQualifiers(propertyQualifiers, property.qualifiers, writer);
        }
    }
    return instance;
}

void WbemTarget::putInstance(const mof::InstanceDeclaration& declaration) {
    IWbemClassObjectPtr instance = spawnEmbedded(declaration);
    check(services(declaration.nameSpace)
              ->PutInstance(instance, putFlags(declaration.instanceFlags), nullptr, nullptr),
          "IWbemServices::PutInstance");
}

} // namespace tool
