// Stores what the MOF compiler checked through IWbemServices alone: PutClass and PutInstance of
// class objects built with GetObject, SpawnDerivedClass, SpawnInstance, Put, PutMethod and the
// qualifier sets. The same code runs against Windows' own WMI.
#pragma once

#include "Status.h"
#include "mof/Target.h"

#include <zudava/zudava.h>

#include <functional>
#include <map>
#include <string>

namespace tool {

class WbemTarget : public mof::Target {
public:
    // Returns the connected services of a namespace (such as root\cimv2); throws on failure.
    using Connect = std::function<DEZE::IWbemServicesPtr(const std::string& nameSpace)>;

    explicit WbemTarget(Connect connect);

    std::shared_ptr<const mof::ClassShape> findClass(const std::string& nameSpace,
                                                     const std::string& name) override;
    void putClass(const mof::ClassDeclaration& declaration) override;
    void putInstance(const mof::InstanceDeclaration& declaration) override;

    // A new instance with the declaration's values, not yet stored (also for embedded values).
    DEZE::IWbemClassObjectPtr spawnEmbedded(const mof::InstanceDeclaration& declaration);

private:
    DEZE::IWbemServicesPtr services(const std::string& nameSpace);
    // The empty method signature (__PARAMETERS) of a namespace, fetched once: each method of
    // a schema clones it twice.
    const DEZE::IWbemClassObjectPtr& parameters(const std::string& nameSpace);

    Connect m_connect;
    std::map<std::string, DEZE::IWbemServicesPtr> m_services;
    std::map<std::string, DEZE::IWbemClassObjectPtr> m_parameters; // by lower-case namespace
};

} // namespace tool
