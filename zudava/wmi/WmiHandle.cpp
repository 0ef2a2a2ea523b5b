#include "zudava/wmi/WmiHandle.h"

#include <string>

#include "zudava/foundation/Raise.h"
#include "zudava/wmi/WmiConnectionFactory.h"
#include "zudava/wmi/_WmiCalls.h"

namespace DEZE {

namespace {

// The services of the path's namespace; a connection without one raises
// E_POINTER.
IWbemServices* servicesOf(const WmiConnection& connection) {
    IWbemServices* services = connection.getServices();
    if (!services)
        _com_issue_error(E_POINTER);
    return services;
}

IWbemContext* contextOf(const WmiContext& context) {
    return context.getContext();
}

bool isEmpty(const _bstr_t& text) {
    return text.length() == 0;
}

// Appends " keyword = text" when the text is given. Texts go in as they stand:
// WQL quoting is the caller's.
void appendCondition(std::wstring& query, const wchar_t* keyword, const _bstr_t& text) {
    if (isEmpty(text))
        return;
    query.append(keyword);
    query.append(static_cast<const wchar_t*>(text), text.length());
}

_bstr_t toBstr(const std::wstring& text) {
    BSTR copy = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!copy)
        _com_issue_error(E_OUTOFMEMORY);
    return _bstr_t(copy, false);
}

WmiObjectEnumeration query(const WmiContext& context, IWbemServices* services,
                           const std::wstring& text) {
    IEnumWbemClassObjectPtr enumerator;
    throwIfFailed(services->ExecQuery(_bstr_t(L"WQL"), toBstr(text),
                                      WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY |
                                          WBEM_FLAG_ENSURE_LOCATABLE,
                                      contextOf(context), &enumerator),
                  L"IWbemServices::ExecQuery() failed");
    return WmiObjectEnumeration(enumerator);
}

_bstr_t pathText(const WmiObjectPath& path) {
    return path.toString();
}

} // namespace

WmiHandle::WmiHandle() = default;

WmiHandle::WmiHandle(const WmiHandle&) {}

WmiHandle& WmiHandle::operator=(const WmiHandle&) {
    return *this;
}

WmiHandle::~WmiHandle() = default;

WmiObjectEnumeration WmiHandle::associators(const WmiContext& context, const WmiObjectPath& path,
                                            const WmiString& assocClass,
                                            const WmiString& resultClass, const WmiString& role,
                                            const WmiString& resultRole) {
    const WmiConnection connection = WmiConnectionFactory::create(path.getNameSpace());
    IWbemServices* services = servicesOf(connection);
    const _bstr_t target = pathText(path);
    std::wstring text = L"ASSOCIATORS OF {";
    text.append(static_cast<const wchar_t*>(target) ? static_cast<const wchar_t*>(target) : L"",
                target.length());
    text.append(L"}");
    if (!isEmpty(assocClass.m_text) || !isEmpty(resultClass.m_text) || !isEmpty(role.m_text) ||
        !isEmpty(resultRole.m_text))
        text.append(L" WHERE");
    appendCondition(text, L" AssocClass = ", assocClass.m_text);
    appendCondition(text, L" ResultClass = ", resultClass.m_text);
    appendCondition(text, L" Role = ", role.m_text);
    appendCondition(text, L" ResultRole = ", resultRole.m_text);
    return query(context, services, text);
}

WmiObjectEnumeration WmiHandle::references(const WmiContext& context, const WmiObjectPath& path,
                                           const WmiString& resultClass, const WmiString& role) {
    const WmiConnection connection = WmiConnectionFactory::create(path.getNameSpace());
    IWbemServices* services = servicesOf(connection);
    const _bstr_t target = pathText(path);
    std::wstring text = L"REFERENCES OF {";
    text.append(static_cast<const wchar_t*>(target) ? static_cast<const wchar_t*>(target) : L"",
                target.length());
    text.append(L"}");
    if (!isEmpty(resultClass.m_text) || !isEmpty(role.m_text))
        text.append(L" WHERE");
    appendCondition(text, L" ResultClass = ", resultClass.m_text);
    appendCondition(text, L" Role = ", role.m_text);
    return query(context, services, text);
}

WmiClass WmiHandle::getClass(const WmiContext& context, const WmiObjectPath& path) {
    const WmiConnection connection = WmiConnectionFactory::create(path.getNameSpace());
    IWbemServices* services = servicesOf(connection);
    const _bstr_t className = path.getClassName();
    IWbemClassObjectPtr object;
    throwIfFailed(services->GetObject(className, 0, contextOf(context), &object, nullptr),
                  L"IWbemServices::GetObject() failed");
    return WmiClass(object);
}

WmiObjectEnumeration WmiHandle::enumerateClasses(const WmiContext& context,
                                                 const WmiObjectPath& path) {
    const WmiConnection connection = WmiConnectionFactory::create(path.getNameSpace());
    IWbemServices* services = servicesOf(connection);
    const _bstr_t className = path.getClassName();
    IEnumWbemClassObjectPtr enumerator;
    throwIfFailed(services->CreateClassEnum(className,
                                            WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY,
                                            contextOf(context), &enumerator),
                  L"IWbemServices::CreateClassEnum() failed");
    return WmiObjectEnumeration(enumerator);
}

WmiObjectPath WmiHandle::createClass(const WmiContext& context, const WmiObjectPath& path,
                                     const WmiClass& newClass) {
    const WmiConnection connection = WmiConnectionFactory::create(path.getNameSpace());
    IWbemServices* services = servicesOf(connection);
    throwIfFailed(services->PutClass(newClass, WBEM_FLAG_CREATE_ONLY, contextOf(context), nullptr),
                  L"IWbemServices::PutClass() failed");
    // The stored class's path: where it was stored and under which name.
    // The class is stored by now: a name that cannot be read leaves the path
    // without one rather than report a failure.
    _variant_t className;
    newClass->Get(L"__CLASS", 0, &className, nullptr, nullptr);
    WmiObjectPath stored;
    stored.setNameSpace(path.getNameSpace());
    stored.setClassName(V_VT(&className) == VT_BSTR ? _bstr_t(V_BSTR(&className)) : _bstr_t());
    return stored;
}

void WmiHandle::modifyClass(const WmiContext& context, const WmiObjectPath& path,
                            const WmiClass& changedClass) {
    const WmiConnection connection = WmiConnectionFactory::create(path.getNameSpace());
    IWbemServices* services = servicesOf(connection);
    throwIfFailed(
        services->PutClass(changedClass, WBEM_FLAG_UPDATE_ONLY, contextOf(context), nullptr),
        L"IWbemServices::PutClass() failed");
}

void WmiHandle::deleteClass(const WmiContext& context, const WmiObjectPath& path) {
    const WmiConnection connection = WmiConnectionFactory::create(path.getNameSpace());
    IWbemServices* services = servicesOf(connection);
    const _bstr_t className = path.getClassName();
    throwIfFailed(services->DeleteClass(className, 0, contextOf(context), nullptr),
                  L"IWbemServices::DeleteClass() failed");
}

WmiInstance WmiHandle::getInstance(const WmiContext& context, const WmiObjectPath& path) {
    const WmiConnection connection = WmiConnectionFactory::create(path.getNameSpace());
    IWbemServices* services = servicesOf(connection);
    IWbemClassObjectPtr object;
    throwIfFailed(services->GetObject(pathText(path), 0, contextOf(context), &object, nullptr),
                  L"IWbemServices::GetObject() failed");
    return WmiInstance(object);
}

WmiObjectEnumeration WmiHandle::enumerateInstances(const WmiContext& context,
                                                   const WmiObjectPath& path) {
    const WmiConnection connection = WmiConnectionFactory::create(path.getNameSpace());
    IWbemServices* services = servicesOf(connection);
    const _bstr_t className = path.getClassName();
    IEnumWbemClassObjectPtr enumerator;
    throwIfFailed(services->CreateInstanceEnum(
                      className, WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY,
                      contextOf(context), &enumerator),
                  L"IWbemServices::CreateInstanceEnum() failed.");
    return WmiObjectEnumeration(enumerator);
}

WmiObjectPath WmiHandle::createInstance(const WmiContext& context, const WmiObjectPath& path,
                                        const WmiInstance& instance) {
    const WmiConnection connection = WmiConnectionFactory::create(path.getNameSpace());
    IWbemServices* services = servicesOf(connection);
    {
        // The put returns once WMI has accepted it; its outcome is not waited for.
        IWbemCallResultPtr result;
        throwIfFailed(services->PutInstance(instance,
                                            WBEM_FLAG_CREATE_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                                            contextOf(context), &result),
                      L"IWbemServices::PutInstance() failed");
    }
    // The stored instance's path: its class and keys, in the namespace it was
    // stored in.
    IWbemClassObjectPtr object(instance);
    WmiObjectPath stored(object);
    stored.setNameSpace(path.getNameSpace());
    return stored;
}

void WmiHandle::modifyInstance(const WmiContext& context, const WmiObjectPath& path,
                               const WmiInstance& instance) {
    const WmiConnection connection = WmiConnectionFactory::create(path.getNameSpace());
    IWbemServices* services = servicesOf(connection);
    IWbemCallResultPtr result;
    throwIfFailed(services->PutInstance(instance,
                                        WBEM_FLAG_UPDATE_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                                        contextOf(context), &result),
                  L"IWbemServices::PutInstance() failed");
}

void WmiHandle::deleteInstance(const WmiContext& context, const WmiObjectPath& path) {
    const WmiConnection connection = WmiConnectionFactory::create(path.getNameSpace());
    IWbemServices* services = servicesOf(connection);
    throwIfFailed(services->DeleteInstance(pathText(path), 0, contextOf(context), nullptr),
                  L"IWbemServices::DeleteInstance() failed");
}

WmiValue WmiHandle::getPropertyValue(const WmiContext& context, const WmiObjectPath& path,
                                     const WmiString& propertyName) {
    const WmiConnection connection = WmiConnectionFactory::create(path.getNameSpace());
    IWbemServices* services = servicesOf(connection);
    IWbemClassObjectPtr object;
    throwIfFailed(services->GetObject(pathText(path), 0, contextOf(context), &object, nullptr),
                  L"IWbemServices::GetObject() failed");
    const WmiProperty property = WmiInstance(object).getProperty(propertyName.m_text);
    return WmiValue(property.getValue(), property.getType());
}

void WmiHandle::setPropertyValue(const WmiContext& context, const WmiObjectPath& path,
                                 const WmiString& propertyName, const WmiValue& value) {
    const WmiConnection connection = WmiConnectionFactory::create(path.getNameSpace());
    IWbemServices* services = servicesOf(connection);
    IWbemClassObjectPtr object;
    throwIfFailed(services->GetObject(pathText(path), WBEM_FLAG_ENSURE_LOCATABLE,
                                      contextOf(context), &object, nullptr),
                  L"IWbemServices::GetObject() failed");
    // The value's own CIM type is not passed: WMI keeps the property's type.
    throwIfFailed(object->Put(propertyName.m_text, 0, const_cast<WmiValue*>(&value), 0),
                  L"IWbemServices::Put() failed");
    throwIfFailed(services->PutInstance(object, WBEM_FLAG_UPDATE_ONLY, contextOf(context), nullptr),
                  L"IWbemServices::PutInstance() failed");
}

void WmiHandle::deliverIndication(const WmiContext&, const WmiObjectPath& path,
                                  const WmiIndication& indication) {
    const WmiConnection connection = WmiConnectionFactory::create(path.getNameSpace());
    IWbemServices* services = servicesOf(connection);
    IWbemObjectSinkPtr sink;
    throwIfFailed(services->QueryObjectSink(0, &sink), L"IWbemServices::QueryObjectSink() failed");
    if (!sink)
        return;
    IWbemClassObjectPtr event(indication);
    IWbemClassObject* events[1] = {event};
    throwIfFailed(sink->Indicate(1, events), L"IWbemObjectSink::Indicate() failed");
}

} // namespace DEZE
