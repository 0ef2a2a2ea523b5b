// Changing: new instances, property values and deletions.
#include "Commands.h"
#include "ObjectPaths.h"
#include "ValueParser.h"

#include <zudava/zudava.h>

#include <memory>
#include <vector>

namespace tool {

namespace {

using DEZE::WmiContext;
using DEZE::WmiHandle;

struct Assignment {
    std::string name;
    _variant_t value;
    long type;
};

// Every PROP=VALUE read by the types of the object's properties, before anything is stored, so
// that a wrong value stores nothing.
std::vector<Assignment> assignments(const DEZE::WmiObject& object, const std::string& className,
                                    const std::vector<std::string>& arguments) {
    std::vector<Assignment> result;
    for (const std::string& argument : arguments) {
        const std::pair<std::string, std::string> parts = splitAssignment(argument);
        CIMTYPE type = 0;
        const HRESULT status =
            object->Get(wideText(parts.first).c_str(), 0, nullptr, &type, nullptr);
        if (status == static_cast<HRESULT>(WBEM_E_NOT_FOUND) ||
            parts.first.compare(0, 2, "__") == 0)
            throw UsageError("class " + className + " has no property '" + parts.first + "'");
        if (FAILED(status))
            throw DEZE::WmiException(status, L"IWbemClassObject::Get() failed");
        result.push_back({parts.first, parseValue(parts.first, type, parts.second), type});
    }
    return result;
}

std::string className(const DEZE::WmiObject& object) {
    _variant_t value;
    if (SUCCEEDED(object->Get(L"__CLASS", 0, &value.GetVARIANT(), nullptr, nullptr)) &&
        V_VT(&value.GetVARIANT()) == VT_BSTR)
        return utf8Text(std::wstring(V_BSTR(&value.GetVARIANT())));
    return std::string();
}

struct Options {
    std::string target;
    std::vector<std::string> values;
};

// A malformed argument is reported before WMI is asked anything.
void checkSyntax(const std::vector<std::string>& arguments) {
    for (const std::string& argument : arguments)
        splitAssignment(argument);
}

int create(Tool& tool, const Options& options) {
    checkSyntax(options.values);
    tool.connect();
    const std::wstring nameSpace = wideText(tool.nameSpace());
    DEZE::WmiInstance instance(_bstr_t(nameSpace.c_str()),
                               _bstr_t(wideText(options.target).c_str()));
    for (const Assignment& assignment : assignments(instance, options.target, options.values))
        instance.setProperty(DEZE::WmiProperty(_bstr_t(wideText(assignment.name).c_str()),
                                               assignment.value, assignment.type, nullptr));
    // Stored with a synchronous PutInstance: WmiHandle::createInstance returns as soon as the
    // service takes the request and leaves its outcome unread, and an instance that already
    // exists must be reported.
    const HRESULT status = tool.connect().getServices()->PutInstance(
        instance.GetInterfacePtr(), WBEM_FLAG_CREATE_ONLY, nullptr, nullptr);
    if (FAILED(status))
        throw DEZE::WmiException(status, L"IWbemServices::PutInstance() failed");
    // The new instance's own path: its keys are set, so the object knows it before it is read
    // back.
    _variant_t path;
    if (SUCCEEDED(instance->Get(L"__RELPATH", 0, &path.GetVARIANT(), nullptr, nullptr)) &&
        V_VT(&path.GetVARIANT()) == VT_BSTR)
        tool.out << utf8Text(std::wstring(V_BSTR(&path.GetVARIANT()))) << '\n';
    return kSuccess;
}

int set(Tool& tool, const Options& options) {
    if (options.values.empty())
        throw UsageError("no PROPERTY=VALUE given (try zudava set --help)");
    if (!namesInstance(options.target))
        throw UsageError("'" + options.target + "' names a class, not an instance");
    checkSyntax(options.values);
    tool.connect();
    const DEZE::WmiObjectPath path = objectPath(tool, options.target);
    WmiHandle handle;
    const DEZE::WmiInstance current = handle.getInstance(WmiContext(), path);
    for (const Assignment& assignment : assignments(current, className(current), options.values))
        handle.setPropertyValue(WmiContext(), path,
                                DEZE::WmiString(_bstr_t(wideText(assignment.name).c_str()), false),
                                DEZE::WmiValue(assignment.value, assignment.type));
    return kSuccess;
}

int remove(Tool& tool, const std::string& target) {
    tool.connect();
    const DEZE::WmiObjectPath path = objectPath(tool, target);
    WmiHandle handle;
    if (namesInstance(target))
        handle.deleteInstance(WmiContext(), path);
    else
        handle.deleteClass(WmiContext(), path);
    return kSuccess;
}

const CommandGroup group(30, [](Tool& tool) {
    auto created = std::make_shared<Options>();
    CLI::App* command = tool.add(
        "new", "create an instance with the values given; prints its path",
        "zudava new Item Name=third Size=3 Tags=a,b",
        [&tool, created] { return create(tool, *created); },
        "Values are read by the property's type: integers in decimal or 0x hexadecimal,\n"
        "booleans true or false, datetimes as yyyymmddHHMMSS.mmmmmmsUUU, arrays with their\n"
        "elements separated by commas (\\, for a comma inside one).");
    command->add_option("CLASS", created->target, "the instance's class")->required();
    command->add_option("PROPERTY=VALUE", created->values, "the values of its properties")
        ->type_name("");

    auto changed = std::make_shared<Options>();
    command = tool.add(
        "set", "change properties of an instance", "zudava set 'Item.Name=\"third\"' Size=4",
        [&tool, changed] { return set(tool, *changed); },
        "Each value is read by the property's type, as 'zudava new' reads it; nothing is\n"
        "changed unless every value fits its property.");
    command->add_option("PATH", changed->target, "the instance's path")->required();
    command->add_option("PROPERTY=VALUE", changed->values, "the new values")->type_name("");

    auto deleted = std::make_shared<std::string>();
    command = tool.add("delete", "delete an instance, or a class with its subclasses and instances",
                       "zudava delete 'Item.Name=\"third\"'",
                       [&tool, deleted] { return remove(tool, *deleted); });
    command->add_option("PATH", *deleted, "the object's path")->required();
});

} // namespace

} // namespace tool
