#include "ObjectPaths.h"

namespace tool {

DEZE::WmiObjectPath objectPath(const Tool& tool, const std::string& text) {
    if (text.empty())
        throw UsageError("an empty object path");
    DEZE::WmiObjectPath path(_bstr_t(wideText(text).c_str()));
    if (path.getNameSpace().length() == 0)
        path.setNameSpace(_bstr_t(wideText(tool.nameSpace()).c_str()));
    return path;
}

DEZE::WmiObjectPath classPath(const Tool& tool, const std::string& className) {
    DEZE::WmiObjectPath path;
    path.setNameSpace(_bstr_t(wideText(tool.nameSpace()).c_str()));
    if (!className.empty())
        path.setClassName(_bstr_t(wideText(className).c_str()));
    return path;
}

bool namesInstance(const std::string& text) {
    return text.find('=') != std::string::npos;
}

} // namespace tool
