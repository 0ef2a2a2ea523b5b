// Browsing: namespaces, classes, objects, enumerations, queries, associations and CIM-XML.
#include "Commands.h"
#include "ObjectPaths.h"
#include "ObjectWriter.h"

#include <zudava/zudava.h>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

namespace tool {

namespace {

using DEZE::WmiContext;
using DEZE::WmiHandle;
using DEZE::WmiObjectEnumeration;

bool lessNoCase(const std::string& a, const std::string& b) {
    return DEZE::compare(a, b) < 0;
}

int writeAll(Tool& tool, WmiObjectEnumeration objects, Format format) {
    const std::unique_ptr<ObjectWriter> writer = ObjectWriter::create(format, tool.out, true);
    while (objects.hasNext())
        writer->write(objects.getNext());
    writer->finish();
    return kSuccess;
}

// The enumeration of an IWbemServices call, failing as the library's operations do.
WmiObjectEnumeration enumeration(HRESULT status, IEnumWbemClassObject* objects,
                                 const wchar_t* call) {
    DEZE::IEnumWbemClassObjectPtr owned(objects, false);
    if (FAILED(status))
        throw DEZE::WmiException(status, call);
    return WmiObjectEnumeration(owned);
}

std::string stringProperty(const DEZE::WmiObject& object, const wchar_t* name) {
    _variant_t value;
    if (FAILED(object->Get(name, 0, &value.GetVARIANT(), nullptr, nullptr)) ||
        V_VT(&value.GetVARIANT()) != VT_BSTR)
        return std::string();
    return utf8Text(std::wstring(V_BSTR(&value.GetVARIANT())));
}

// ---- namespaces ----

void listNamespaces(Tool& tool, const std::string& parent) {
    WmiHandle handle;
    const DEZE::WmiObjectPath path(_bstr_t(wideText(parent + ":__NAMESPACE").c_str()));
    WmiObjectEnumeration children = handle.enumerateInstances(WmiContext(), path);
    std::vector<std::string> names;
    while (children.hasNext())
        names.push_back(stringProperty(children.getNext(), L"Name"));
    std::sort(names.begin(), names.end(), lessNoCase);
    for (const std::string& name : names) {
        const std::string child = parent + "\\" + name;
        tool.out << child << '\n';
        listNamespaces(tool, child);
    }
}

void addNamespaces(Tool& tool) {
    tool.add(
        "namespaces", "list the namespaces below root (or below -n), recursively",
        "zudava namespaces",
        [&tool] {
            const std::string start = tool.nameSpaceGiven() ? tool.nameSpace() : "root";
            tool.connect(start); // a namespace that does not exist fails here, by its status
            tool.out << start << '\n';
            listNamespaces(tool, start);
            return kSuccess;
        },
        "Without -n the list starts at root, so that it shows every namespace.");
}

// ---- classes ----

struct ClassesOptions {
    std::string className;
    bool tree = false;
    bool system = false;
};

std::string lowered(const std::string& text) {
    std::string result = text;
    for (char& c : result)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return result;
}

int classes(Tool& tool, const ClassesOptions& options) {
    // All classes when no class is named: a path without a class name is no path, so this
    // asks the service directly.
    const DEZE::WmiConnection connection = tool.connect();
    IEnumWbemClassObject* objects = nullptr;
    const HRESULT status = connection.getServices()->CreateClassEnum(
        options.className.empty() ? _bstr_t() : _bstr_t(wideText(options.className).c_str()),
        WBEM_FLAG_DEEP | WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY, nullptr, &objects);
    WmiObjectEnumeration found =
        enumeration(status, objects, L"IWbemServices::CreateClassEnum() failed");
    std::vector<std::pair<std::string, std::string>> all; // name, superclass
    while (found.hasNext()) {
        const DEZE::WmiObject object = found.getNext();
        std::string name = stringProperty(object, L"__CLASS");
        if (!options.system && name.compare(0, 2, "__") == 0)
            continue;
        all.emplace_back(std::move(name), stringProperty(object, L"__SUPERCLASS"));
    }
    if (!options.tree) {
        std::sort(all.begin(), all.end(),
                  [](const auto& a, const auto& b) { return lessNoCase(a.first, b.first); });
        for (const auto& entry : all)
            tool.out << entry.first << '\n';
        return kSuccess;
    }
    // Children by their parent's name in lower case; a class whose superclass is not listed
    // (a system class left out, or the class given) hangs from the top.
    std::map<std::string, bool> listed;
    for (const auto& entry : all)
        listed[lowered(entry.first)] = true;
    std::multimap<std::string, std::string> children;
    for (const auto& entry : all) {
        const bool top = entry.second.empty() || !listed.count(lowered(entry.second));
        children.emplace(top ? std::string() : lowered(entry.second), entry.first);
    }
    std::string indent;
    if (!options.className.empty()) {
        tool.out << options.className << '\n';
        indent = "  ";
    }
    struct Printer {
        Tool& tool;
        const std::multimap<std::string, std::string>& children;
        void print(const std::string& parent, const std::string& indent) const {
            const auto range = children.equal_range(parent);
            std::vector<std::string> names;
            for (auto it = range.first; it != range.second; ++it)
                names.push_back(it->second);
            std::sort(names.begin(), names.end(), lessNoCase);
            for (const std::string& name : names) {
                tool.out << indent << name << '\n';
                print(lowered(name), indent + "  ");
            }
        }
    };
    Printer{tool, children}.print(std::string(), indent);
    return kSuccess;
}

void addClasses(Tool& tool) {
    auto options = std::make_shared<ClassesOptions>();
    CLI::App* command = tool.add(
        "classes", "list the classes (below CLASS, when given), by name or as a tree",
        "zudava classes --tree CIM_ManagedElement",
        [&tool, options] { return classes(tool, *options); },
        "System classes (__NAMESPACE, ...) show with --system.");
    command->add_option("CLASS", options->className, "list only the classes derived from it");
    command->add_flag("--tree", options->tree, "indent each class below its superclass");
    command->add_flag("--system", options->system, "list system classes too");
}

// ---- show, get, xml ----

// Whether the path text starts with a server or a namespace ("root\\default:Item...").
bool namesNamespace(const std::string& text) {
    if (text.compare(0, 2, "\\\\") == 0 || text.compare(0, 2, "//") == 0)
        return true;
    const size_t colon = text.find(':');
    return colon != std::string::npos && colon < text.find_first_of(".=");
}

DEZE::WmiObject readObject(Tool& tool, const std::string& text) {
    if (namesInstance(text) && !namesNamespace(text)) {
        // An instance in the -n namespace: the text goes to GetObject as it stands, as
        // WmiHandle::getInstance would send it, without the library's path object, which reads
        // the keys through IWbemPathKeyList::GetKey (Wine's WMI lacks it).
        IWbemClassObject* object = nullptr;
        const HRESULT status = tool.connect().getServices()->GetObject(
            _bstr_t(wideText(text).c_str()), 0, nullptr, &object, nullptr);
        DEZE::IWbemClassObjectPtr owned(object, false);
        if (FAILED(status))
            throw DEZE::WmiException(status, L"IWbemServices::GetObject() failed");
        return DEZE::WmiInstance(owned);
    }
    tool.connect();
    const DEZE::WmiObjectPath path = objectPath(tool, text);
    WmiHandle handle;
    if (namesInstance(text))
        return handle.getInstance(WmiContext(), path);
    return handle.getClass(WmiContext(), path);
}

int writeOne(Tool& tool, const DEZE::WmiObject& object, Format format) {
    const std::unique_ptr<ObjectWriter> writer = ObjectWriter::create(format, tool.out, false);
    writer->write(object);
    writer->finish();
    return kSuccess;
}

void addShow(Tool& tool) {
    struct Options {
        std::string className;
        Format format = Format::Mof;
    };
    auto options = std::make_shared<Options>();
    CLI::App* command =
        tool.add("show", "show a class definition as MOF text", "zudava show -n root\\default Item",
                 [&tool, options] {
                     tool.connect();
                     WmiHandle handle;
                     return writeOne(
                         tool, handle.getClass(WmiContext(), classPath(tool, options->className)),
                         options->format);
                 });
    command->add_option("CLASS", options->className, "the class")->required();
    tool.addFormat(command, options->format, {Format::Mof, Format::Xml, Format::Json});
}

void addGet(Tool& tool) {
    struct Options {
        std::string path;
        Format format = Format::Mof;
    };
    auto options = std::make_shared<Options>();
    CLI::App* command =
        tool.add("get", "show the object an object path names (an instance, or a class)",
                 "zudava get 'Item.Name=\"first\"'", [&tool, options] {
                     return writeOne(tool, readObject(tool, options->path), options->format);
                 });
    command->add_option("PATH", options->path, "the object path")->required();
    tool.addFormat(command, options->format,
                   {Format::Mof, Format::Table, Format::Json, Format::Xml});
}

void addXml(Tool& tool) {
    auto path = std::make_shared<std::string>();
    CLI::App* command =
        tool.add("xml", "show an object as CIM-XML", "zudava xml 'Item.Name=\"first\"'",
                 [&tool, path] { return writeOne(tool, readObject(tool, *path), Format::Xml); });
    command->add_option("PATH", *path, "the object path")->required();
}

// ---- enum, query ----

void addEnum(Tool& tool) {
    struct Options {
        std::string className;
        bool shallow = false;
        Format format = Format::Table;
    };
    auto options = std::make_shared<Options>();
    CLI::App* command = tool.add(
        "enum", "list the instances of a class and of its subclasses",
        "zudava enum --format json Item", [&tool, options] {
            const DEZE::WmiConnection connection = tool.connect();
            if (!options->shallow) {
                WmiHandle handle;
                return writeAll(
                    tool,
                    handle.enumerateInstances(WmiContext(), classPath(tool, options->className)),
                    options->format);
            }
            IEnumWbemClassObject* objects = nullptr;
            const HRESULT status = connection.getServices()->CreateInstanceEnum(
                _bstr_t(wideText(options->className).c_str()),
                WBEM_FLAG_SHALLOW | WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY, nullptr,
                &objects);
            return writeAll(
                tool, enumeration(status, objects, L"IWbemServices::CreateInstanceEnum() failed."),
                options->format);
        });
    command->add_option("CLASS", options->className, "the class")->required();
    command->add_flag("--shallow", options->shallow, "leave out the instances of subclasses");
    tool.addFormat(command, options->format,
                   {Format::Table, Format::Mof, Format::Json, Format::Xml});
}

void addQuery(Tool& tool) {
    struct Options {
        std::string query;
        Format format = Format::Table;
    };
    auto options = std::make_shared<Options>();
    CLI::App* command =
        tool.add("query", "run a WQL query", "zudava query \"SELECT * FROM Item WHERE Size > 2\"",
                 [&tool, options] {
                     const DEZE::WmiConnection connection = tool.connect();
                     IEnumWbemClassObject* objects = nullptr;
                     const HRESULT status = connection.getServices()->ExecQuery(
                         _bstr_t(L"WQL"), _bstr_t(wideText(options->query).c_str()),
                         WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY, nullptr, &objects);
                     return writeAll(
                         tool, enumeration(status, objects, L"IWbemServices::ExecQuery() failed"),
                         options->format);
                 });
    command->add_option("WQL", options->query, "the query")->required();
    tool.addFormat(command, options->format,
                   {Format::Table, Format::Mof, Format::Json, Format::Xml});
}

// ---- assoc, refs ----

DEZE::WmiString name(const std::string& text) {
    return DEZE::WmiString(_bstr_t(wideText(text).c_str()), false);
}

void addAssociations(Tool& tool) {
    struct Options {
        std::string path;
        std::string assocClass;
        std::string resultClass;
        std::string role;
        std::string resultRole;
        Format format = Format::Table;
    };
    auto assoc = std::make_shared<Options>();
    CLI::App* command = tool.add(
        "assoc", "list the objects associated with an object",
        "zudava assoc --assoc-class Contains 'Shelf.Name=\"top\"'", [&tool, assoc] {
            tool.connect();
            WmiHandle handle;
            return writeAll(tool,
                            handle.associators(WmiContext(), objectPath(tool, assoc->path),
                                               name(assoc->assocClass), name(assoc->resultClass),
                                               name(assoc->role), name(assoc->resultRole)),
                            assoc->format);
        });
    command->add_option("PATH", assoc->path, "the object's path")->required();
    command->add_option("--assoc-class", assoc->assocClass, "only through this association");
    command->add_option("--result-class", assoc->resultClass, "only objects of this class");
    command->add_option("--role", assoc->role, "only where the object plays this role");
    command->add_option("--result-role", assoc->resultRole, "only objects that play this role");
    tool.addFormat(command, assoc->format, {Format::Table, Format::Mof, Format::Json, Format::Xml});

    auto refs = std::make_shared<Options>();
    command =
        tool.add("refs", "list the association instances that refer to an object",
                 "zudava refs --role Parent 'Shelf.Name=\"top\"'", [&tool, refs] {
                     tool.connect();
                     WmiHandle handle;
                     return writeAll(tool,
                                     handle.references(WmiContext(), objectPath(tool, refs->path),
                                                       name(refs->resultClass), name(refs->role)),
                                     refs->format);
                 });
    command->add_option("PATH", refs->path, "the object's path")->required();
    command->add_option("--result-class", refs->resultClass, "only associations of this class");
    command->add_option("--role", refs->role, "only where the object plays this role");
    tool.addFormat(command, refs->format, {Format::Table, Format::Mof, Format::Json, Format::Xml});
}

const CommandGroup group(20, [](Tool& tool) {
    addNamespaces(tool);
    addClasses(tool);
    addShow(tool);
    addGet(tool);
    addEnum(tool);
    addQuery(tool);
    addAssociations(tool);
    addXml(tool);
});

} // namespace

} // namespace tool
