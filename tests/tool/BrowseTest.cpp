// The browsing commands against a small compiled shop: items (one a Crate) on shelves.
#include "ToolRun.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using tooltest::Result;
using tooltest::StateDir;

class ToolBrowse : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        state = std::make_unique<StateDir>();
        for (const char* nameSpace : {"root\\cimv2", "root/default"}) {
            const Result compiled =
                tooltest::run(*state, {"compile", "-n", nameSpace, tooltest::dataFile("shop.mof")});
            ASSERT_EQ(0, compiled.code) << compiled.err;
        }
        // One change in root\default, so that the namespaces tell apart.
        const Result added =
            tooltest::run(*state, {"new", "-n", "root\\default", "Shelf", "Name=only-here"});
        ASSERT_EQ(0, added.code) << added.err;
    }
    static void TearDownTestSuite() { state.reset(); }

    static Result run(const std::vector<std::string>& arguments) {
        return tooltest::run(*state, arguments);
    }
    // Runs a command that must succeed without a word on the error output.
    static std::string output(const std::vector<std::string>& arguments) {
        const Result result = run(arguments);
        EXPECT_EQ(0, result.code) << result.err;
        EXPECT_EQ("", result.err);
        return result.out;
    }

    static std::unique_ptr<StateDir> state;
};

std::unique_ptr<StateDir> ToolBrowse::state;

const char* const kItems =
    "__CLASS  Name  Size  Level  Serial                Price  Active  Grade  Added              "
    "        Tags         Note                 Weight\n"
    "Item     pen   1     -1     18446744073709551615  1.5    true                               "
    "       blue, cheap  a \"good\" one\\n\\ttab\n"
    "Item     cup   2     -1                                  false   A\n"
    "Crate    box   40    -1                                  true           "
    "20240102030405.000000+060                                    12\n";

TEST_F(ToolBrowse, EnumIsDeepByDefaultWithAClassColumnWhenClassesDiffer) {
    EXPECT_EQ(kItems, output({"enum", "Item"}));
    EXPECT_EQ(kItems, output({"enum", "item"}));
}

TEST_F(ToolBrowse, EnumShallowLeavesOutSubclasses) {
    EXPECT_EQ("Name  Size  Level  Serial                Price  Active  Grade  Added  Tags       "
              "  Note\n"
              "pen   1     -1     18446744073709551615  1.5    true                  blue, cheap  "
              "a \"good\" one\\n\\ttab\n"
              "cup   2     -1                                  false   A\n",
              output({"enum", "--shallow", "Item"}));
}

TEST_F(ToolBrowse, EnumAsJsonIsAnArrayWithValuesByType) {
    EXPECT_EQ("[\n"
              "  {\n"
              "    \"__CLASS\": \"Item\",\n"
              "    \"Name\": \"pen\",\n"
              "    \"Size\": 1,\n"
              "    \"Level\": -1,\n"
              "    \"Serial\": 18446744073709551615,\n"
              "    \"Price\": 1.5,\n"
              "    \"Active\": true,\n"
              "    \"Grade\": null,\n"
              "    \"Added\": null,\n"
              "    \"Tags\": [\"blue\", \"cheap\"],\n"
              "    \"Note\": \"a \\\"good\\\" one\\n\\ttab\"\n"
              "  },\n"
              "  {\n"
              "    \"__CLASS\": \"Item\",\n"
              "    \"Name\": \"cup\",\n"
              "    \"Size\": 2,\n"
              "    \"Level\": -1,\n"
              "    \"Serial\": null,\n"
              "    \"Price\": null,\n"
              "    \"Active\": false,\n"
              "    \"Grade\": \"A\",\n"
              "    \"Added\": null,\n"
              "    \"Tags\": null,\n"
              "    \"Note\": null\n"
              "  }\n"
              "]\n",
              tooltest::withoutPaths(output({"enum", "--shallow", "--format", "json", "Item"})));
    const std::string paths = output({"enum", "--format", "json", "Shelf"});
    EXPECT_NE(std::string::npos, paths.find("\\\\root\\\\cimv2:Shelf.Name=\\\"top\\\"\",\n"))
        << paths;
}

TEST_F(ToolBrowse, EnumAsMofAndXmlGivesEachObject) {
    EXPECT_EQ("instance of Shelf\n{\n\tName = \"top\";\n};\n\n"
              "instance of Shelf\n{\n\tName = \"low\";\n};\n",
              output({"enum", "--format", "mof", "Shelf"}));
    EXPECT_EQ("<INSTANCE CLASSNAME=\"Shelf\"><PROPERTY NAME=\"Name\" TYPE=\"string\"><VALUE>top"
              "</VALUE></PROPERTY></INSTANCE>\n"
              "<INSTANCE CLASSNAME=\"Shelf\"><PROPERTY NAME=\"Name\" TYPE=\"string\"><VALUE>low"
              "</VALUE></PROPERTY></INSTANCE>\n",
              output({"enum", "--format", "xml", "Shelf"}));
}

TEST_F(ToolBrowse, NamespaceOptionChoosesWhereToRead) {
    EXPECT_EQ("Name\ntop\nlow\nonly-here\n", output({"enum", "-n", "root\\default", "Shelf"}));
    EXPECT_EQ("Name\ntop\nlow\nonly-here\n",
              output({"enum", "--namespace", "ROOT/Default", "Shelf"}));
    EXPECT_EQ("Name\ntop\nlow\n", output({"enum", "Shelf"}));
    EXPECT_EQ("instance of Shelf\n{\n\tName = \"only-here\";\n};\n",
              output({"get", "root\\default:Shelf.Name=\"only-here\""}));
}

TEST_F(ToolBrowse, GetShowsAnInstanceOrAClassAsMofByDefault) {
    EXPECT_EQ("instance of Crate\n{\n\tName = \"box\";\n\tSize = 40;\n\tLevel = -1;\n"
              "\tActive = TRUE;\n\tAdded = \"20240102030405.000000+060\";\n\tWeight = 12;\n};\n",
              output({"get", "Crate.Name=\"box\""}));
    EXPECT_EQ(output({"show", "Crate"}), output({"get", "Crate"}));
    EXPECT_EQ("Name  Size  Level  Serial  Price  Active  Grade  Added  Tags  Note\n"
              "cup   2     -1                    false   A\n",
              output({"get", "--format", "table", "Item.Name=\"cup\""}));
    EXPECT_EQ("{\n  \"__CLASS\": \"Shelf\",\n  \"Name\": \"low\"\n}\n",
              tooltest::withoutPaths(output({"get", "--format", "json", "Shelf.Name=\"low\""})));
}

TEST_F(ToolBrowse, GetOfAMissingInstanceFails) {
    const Result result = run({"get", "Item.Name=\"none\""});
    EXPECT_EQ(1, result.code);
    EXPECT_EQ("zudava get: WBEM_E_NOT_FOUND (0x80041002): IWbemServices::GetObject() failed\n",
              result.err);
}

TEST_F(ToolBrowse, ShowGivesTheClassAsItsOwnMof) {
    EXPECT_EQ("class Crate : Item\n{\n\tuint16 Weight;\n};\n", output({"show", "Crate"}));
    const std::string xml = output({"show", "--format", "xml", "Shelf"});
    EXPECT_EQ(0u, xml.rfind("<CLASS NAME=\"Shelf\">", 0)) << xml;
}

TEST_F(ToolBrowse, XmlRendersThroughTheLibrary) {
    EXPECT_EQ("<INSTANCE CLASSNAME=\"Shelf\"><PROPERTY NAME=\"Name\" TYPE=\"string\"><VALUE>low"
              "</VALUE></PROPERTY></INSTANCE>\n",
              output({"xml", "Shelf.Name=\"low\""}));
}

TEST_F(ToolBrowse, ClassesByNameOrAsATree) {
    EXPECT_EQ("Crate\nHolds\nItem\nShelf\n", output({"classes"}));
    EXPECT_EQ("Holds\nItem\n  Crate\nShelf\n", output({"classes", "--tree"}));
    EXPECT_EQ("Crate\n", output({"classes", "Item"}));
    EXPECT_EQ("Item\n  Crate\n", output({"classes", "--tree", "Item"}));
    const std::string system = output({"classes", "--system"});
    EXPECT_NE(std::string::npos, system.find("\n__NAMESPACE\n")) << system;
    EXPECT_EQ("", output({"classes", "Crate"}));
    const Result missing = run({"classes", "Nope"});
    EXPECT_EQ(1, missing.code);
    EXPECT_EQ("zudava classes: WBEM_E_INVALID_CLASS (0x80041010): "
              "IWbemServices::CreateClassEnum() failed\n",
              missing.err);
}

TEST_F(ToolBrowse, NamespacesListsEveryNamespaceFromRootOrFromTheOneGiven) {
    const std::string all = output({"namespaces"});
    EXPECT_EQ(0u, all.rfind("root\n", 0)) << all;
    EXPECT_NE(std::string::npos, all.find("\nroot\\cimv2\n")) << all;
    EXPECT_NE(std::string::npos, all.find("\nroot\\default\n")) << all;
    EXPECT_EQ("root\\cimv2\n", output({"namespaces", "-n", "root/cimv2"}));
    const Result missing = run({"namespaces", "-n", "root\\nope"});
    EXPECT_EQ(1, missing.code);
    EXPECT_EQ("zudava namespaces: WBEM_E_INVALID_NAMESPACE (0x8004100E): "
              "IWbemLocator::ConnectServer() failed\n",
              missing.err);
}

TEST_F(ToolBrowse, QueryRunsWql) {
    EXPECT_EQ("__CLASS  Name  Size\nItem     cup   2\nCrate    box   40\n",
              output({"query", "SELECT Name, Size FROM Item WHERE Size > 1"}));
    EXPECT_EQ("__CLASS  Name\nItem     pen\nCrate    box\n",
              output({"query", "SELECT Name FROM Item WHERE Size <> 2"}));
    EXPECT_EQ("", output({"query", "SELECT * FROM Item WHERE Size > 1000"}));
    EXPECT_EQ("[]\n",
              output({"query", "--format", "json", "SELECT * FROM Shelf WHERE Name = 'x'"}));
}

TEST_F(ToolBrowse, AssocFollowsTheAssociationWithItsFilters) {
    const std::string both = output({"assoc", "Shelf.Name=\"top\""});
    EXPECT_EQ(0u, both.rfind("__CLASS  Name  Size", 0)) << both;
    EXPECT_NE(std::string::npos, both.find("\nItem     pen   1")) << both;
    EXPECT_NE(std::string::npos, both.find("\nCrate    box   40")) << both;
    EXPECT_EQ(std::string::npos, both.find("cup")) << both;
    EXPECT_EQ("Name\ntop\n", output({"assoc", "Item.Name=\"pen\""}));
    EXPECT_EQ("Name\ntop\n", output({"assoc", "--assoc-class", "Holds", "--role", "Thing",
                                     "--result-role", "Shelf", "Item.Name=\"pen\""}));
    EXPECT_EQ("", output({"assoc", "--role", "Shelf", "Item.Name=\"pen\""}));
    EXPECT_EQ("", output({"assoc", "--result-class", "Item", "Item.Name=\"pen\""}));
    EXPECT_EQ("", output({"assoc", "Shelf.Name=\"low\""}));
}

TEST_F(ToolBrowse, RefsListsTheAssociationInstances) {
    EXPECT_EQ("Shelf             Thing\nShelf.Name=\"top\"  Item.Name=\"pen\"\n",
              output({"refs", "Item.Name=\"pen\""}));
    EXPECT_EQ("Shelf             Thing\nShelf.Name=\"top\"  Item.Name=\"pen\"\n"
              "Shelf.Name=\"top\"  Crate.Name=\"box\"\n",
              output({"refs", "--role", "Shelf", "--result-class", "Holds", "Shelf.Name=\"top\""}));
    EXPECT_EQ("", output({"refs", "--role", "Thing", "Shelf.Name=\"top\""}));
}

} // namespace
