// The DMTF CIM Schema 2.49 from the shared reference data, compiled whole: what a reference
// compiler makes of it (1,631 classes, 70 qualifier declarations) and a sample of classes as
// written.
#include "MofSupport.h"

#include <cstdlib>

namespace {

using mof::Type;
using mof_test::MemoryTarget;
using mof_test::ScratchFolder;

// ../shared/data from the checkout, or ZUDAVA_SHARED_DATA when a checkout lives elsewhere.
std::filesystem::path sharedData() {
    if (const char* folder = std::getenv("ZUDAVA_SHARED_DATA"))
        return folder;
    return std::filesystem::path(ZUDAVA_SOURCE_DIR).parent_path() / "shared" / "data";
}

class CimSchemaTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const std::filesystem::path zip = sharedData() / "cim_schema_2.49.0Final-MOFs.zip";
        if (!std::filesystem::exists(zip)) {
            s_skip = "no " + zip.string() +
                     " (the shared reference data is not beside the "
                     "checkout)";
            return;
        }
        if (std::system("unzip -v > /dev/null 2>&1") != 0) {
            s_skip = "no unzip program";
            return;
        }
        s_folder = new ScratchFolder();
        const std::string command =
            "unzip -q -o '" + zip.string() + "' -d '" + s_folder->path().string() + "'";
        if (std::system(command.c_str()) != 0) {
            s_skip = "unzip failed";
            return;
        }
        s_target = new MemoryTarget();
        mof::Compiler compiler(*s_target);
        try {
            compiler.compileFile((s_folder->path() / "cim_schema_2.49.0.mof").string(),
                                 "root\\cimv2");
        } catch (const mof::MofError& e) {
            s_error = e.describe();
        }
    }
    static void TearDownTestSuite() {
        delete s_target;
        delete s_folder;
    }
    void SetUp() override {
        if (!s_skip.empty())
            GTEST_SKIP() << s_skip;
        ASSERT_EQ(s_error, "");
    }

    static const mof::ClassDeclaration& cls(const std::string& name) {
        const mof::ClassDeclaration* found = s_target->findStored(name);
        if (!found)
            throw std::runtime_error("no class " + name);
        return *found;
    }
    static std::vector<std::string> propertyNames(const mof::ClassDeclaration& declaration) {
        std::vector<std::string> names;
        for (const mof::Property& property : declaration.properties)
            names.push_back(property.name);
        return names;
    }
    static const mof::Qualifier* qualifier(const mof::QualifierList& list,
                                           const std::string& name) {
        for (const mof::Qualifier& q : list)
            if (mof::equalsNoCase(q.name, name))
                return &q;
        return nullptr;
    }

    static inline std::string s_skip;
    static inline std::string s_error;
    static inline ScratchFolder* s_folder = nullptr;
    static inline MemoryTarget* s_target = nullptr;
};

TEST_F(CimSchemaTest, CompilesEveryClassAndQualifierDeclaration) {
    EXPECT_EQ(s_target->classes.size(), 1631u);
    EXPECT_EQ(s_target->qualifiers.size(), 70u);
    EXPECT_EQ(s_target->instances.size(), 0u);
}

TEST_F(CimSchemaTest, RootClassAsWritten) {
    const mof::ClassDeclaration& element = cls("CIM_ManagedElement");
    EXPECT_EQ(element.superclass, "");
    EXPECT_EQ(element.nameSpace, "root\\cimv2");
    EXPECT_EQ(propertyNames(element),
              (std::vector<std::string>{"InstanceID", "Caption", "Description", "ElementName",
                                        "Generation"}));
    EXPECT_EQ(element.properties[4].type, Type::Uint64);
    const mof::Qualifier* abstract = qualifier(element.qualifiers, "Abstract");
    ASSERT_NE(abstract, nullptr);
    EXPECT_TRUE(abstract->value.boolean);
    // Abstract is declared Restricted: it does not reach subclasses.
    EXPECT_EQ(abstract->flavors & (mof::kToSubclass | mof::kToInstance), 0);
    const mof::Qualifier* version = qualifier(element.qualifiers, "Version");
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->value.text, "2.45.0");
    // Version: EnableOverride, Restricted, Translatable.
    EXPECT_EQ(version->flavors, mof::kTranslatable);
    const mof::Qualifier* maxLen = qualifier(element.properties[1].qualifiers, "MaxLen");
    ASSERT_NE(maxLen, nullptr);
    EXPECT_EQ(maxLen->value.magnitude, 64u);
    // Description: EnableOverride, ToSubclass, Translatable.
    const mof::Qualifier* description = qualifier(element.qualifiers, "Description");
    ASSERT_NE(description, nullptr);
    EXPECT_EQ(description->flavors, mof::kToSubclass | mof::kTranslatable);
    EXPECT_EQ(description->value.text.rfind("ManagedElement is an abstract class", 0), 0u)
        << description->value.text.substr(0, 60);
}

TEST_F(CimSchemaTest, AssociationWithKeyReferences) {
    const mof::ClassDeclaration& dependency = cls("CIM_Dependency");
    EXPECT_EQ(dependency.superclass, "");
    ASSERT_EQ(dependency.properties.size(), 2u);
    for (const mof::Property& property : dependency.properties) {
        EXPECT_EQ(property.type, Type::Reference);
        EXPECT_EQ(property.referenceClass, "CIM_ManagedElement");
        const mof::Qualifier* key = qualifier(property.qualifiers, "Key");
        ASSERT_NE(key, nullptr) << property.name;
        // Key: DisableOverride, ToSubclass.
        EXPECT_EQ(key->flavors, mof::kToSubclass | mof::kDisableOverride);
    }
    EXPECT_NE(qualifier(dependency.qualifiers, "Association"), nullptr);
}

TEST_F(CimSchemaTest, MethodsWithParameters) {
    const mof::ClassDeclaration& element = cls("CIM_EnabledLogicalElement");
    EXPECT_EQ(element.superclass, "CIM_LogicalElement");
    const mof::Method* request = nullptr;
    for (const mof::Method& method : element.methods)
        if (method.name == "RequestStateChange")
            request = &method;
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(request->returnType, Type::Uint32);
    ASSERT_EQ(request->parameters.size(), 3u);
    EXPECT_EQ(request->parameters[0].name, "RequestedState");
    EXPECT_EQ(request->parameters[0].type, Type::Uint16);
    EXPECT_EQ(request->parameters[1].name, "Job");
    EXPECT_EQ(request->parameters[1].type, Type::Reference);
    EXPECT_EQ(request->parameters[1].referenceClass, "CIM_ConcreteJob");
    const mof::Qualifier* in = qualifier(request->parameters[1].qualifiers, "IN");
    ASSERT_NE(in, nullptr);
    EXPECT_FALSE(in->value.boolean);
    EXPECT_NE(qualifier(request->parameters[1].qualifiers, "OUT"), nullptr);
    EXPECT_EQ(request->parameters[2].type, Type::Datetime);
    // A default value as written.
    const mof::Property* transitioning = nullptr;
    for (const mof::Property& property : element.properties)
        if (property.name == "TransitioningToState")
            transitioning = &property;
    ASSERT_NE(transitioning, nullptr);
    ASSERT_TRUE(transitioning->hasValue);
    EXPECT_EQ(transitioning->value.magnitude, 12u);
}

TEST_F(CimSchemaTest, SubclassesKeepOnlyTheirLocalProperties) {
    const mof::ClassDeclaration& system = cls("CIM_ComputerSystem");
    EXPECT_EQ(system.superclass, "CIM_System");
    for (const mof::Property& property : system.properties)
        EXPECT_NE(property.name, "Caption"); // inherited from CIM_ManagedElement, not repeated
    const mof::ClassDeclaration& managed = cls("CIM_ManagedSystemElement");
    EXPECT_EQ(managed.superclass, "CIM_ManagedElement");
}

} // namespace
