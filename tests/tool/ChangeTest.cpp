// The changing commands: new, set and delete, with values read by their property's type.
#include "ToolRun.h"

#include <gtest/gtest.h>

namespace {

using tooltest::Result;
using tooltest::StateDir;

class ToolChange : public ::testing::Test {
protected:
    void SetUp() override {
        const Result compiled = run({"compile", tooltest::dataFile("shop.mof")});
        ASSERT_EQ(0, compiled.code) << compiled.err;
    }
    Result run(const std::vector<std::string>& arguments) {
        return tooltest::run(state, arguments);
    }
    std::string output(const std::vector<std::string>& arguments) {
        const Result result = run(arguments);
        EXPECT_EQ(0, result.code) << result.err;
        EXPECT_EQ("", result.err);
        return result.out;
    }
    std::string json(const std::string& path) {
        return tooltest::withoutPaths(output({"get", "--format", "json", path}));
    }

    StateDir state;
};

TEST_F(ToolChange, NewPrintsThePathAndStoresEveryTypeAsGiven) {
    EXPECT_EQ("Item.Name=\"mug\"\n",
              output({"new", "Item", "Name=mug", "Size=0x10", "Level=-128", "Serial=42",
                      "Price=2.25", "Active=FALSE", "Grade=\xC3\xA9",
                      "Added=20240102030405.000000+060", "Tags=a,b\\,c,", "Note=x=y"}));
    EXPECT_EQ("{\n"
              "  \"__CLASS\": \"Item\",\n"
              "  \"Name\": \"mug\",\n"
              "  \"Size\": 16,\n"
              "  \"Level\": -128,\n"
              "  \"Serial\": 42,\n"
              "  \"Price\": 2.25,\n"
              "  \"Active\": false,\n"
              "  \"Grade\": \"\xC3\xA9\",\n"
              "  \"Added\": \"20240102030405.000000+060\",\n"
              "  \"Tags\": [\"a\", \"b,c\", \"\"],\n"
              "  \"Note\": \"x=y\"\n"
              "}\n",
              json("Item.Name=\"mug\""));
}

TEST_F(ToolChange, NewTakesTheLimitsOfEachIntegerType) {
    output(
        {"new", "Item", "Name=max", "Size=4294967295", "Level=127", "Serial=18446744073709551615"});
    output(
        {"new", "Crate", "Name=min", "Size=0", "Level=-128", "Serial=-0", "Weight=65535", "Tags="});
    const std::string max = json("Item.Name=\"max\"");
    EXPECT_NE(std::string::npos, max.find("\"Size\": 4294967295,")) << max;
    EXPECT_NE(std::string::npos, max.find("\"Level\": 127,")) << max;
    EXPECT_NE(std::string::npos, max.find("\"Serial\": 18446744073709551615,")) << max;
    const std::string min = json("Crate.Name=\"min\"");
    EXPECT_NE(std::string::npos, min.find("\"Size\": 0,")) << min;
    EXPECT_NE(std::string::npos, min.find("\"Serial\": 0,")) << min;
    EXPECT_NE(std::string::npos, min.find("\"Weight\": 65535\n")) << min;
    EXPECT_NE(std::string::npos, min.find("\"Tags\": [],")) << min;
}

TEST_F(ToolChange, AWrongValueNamesThePropertyAndItsTypeAndStoresNothing) {
    const std::pair<const char*, const char*> cases[] = {
        {"Size=-1", "property 'Size' is uint32; '-1' is not an integer from 0 to 4294967295"},
        {"Size=4294967296",
         "property 'Size' is uint32; '4294967296' is not an integer from 0 to 4294967295"},
        {"Size=12abc", "property 'Size' is uint32; '12abc' is not an integer from 0 to 4294967295"},
        {"Size=", "property 'Size' is uint32; '' is not an integer from 0 to 4294967295"},
        {"Level=-129", "property 'Level' is sint8; '-129' is not an integer from -128 to 127"},
        {"Level=128", "property 'Level' is sint8; '128' is not an integer from -128 to 127"},
        {"Serial=18446744073709551616", "property 'Serial' is uint64; '18446744073709551616' is "
                                        "not an integer from 0 to 18446744073709551615"},
        {"Price=1.5x", "property 'Price' is real64; '1.5x' is not a number"},
        {"Active=yes", "property 'Active' is boolean; 'yes' is not true or false"},
        {"Grade=AB", "property 'Grade' is char16; 'AB' is not one character"},
        {"Added=2024-01-02", "property 'Added' is datetime; '2024-01-02' is not a datetime "
                             "(yyyymmddHHMMSS.mmmmmmsUUU) or an interval "
                             "(ddddddddHHMMSS.mmmmmm:000)"},
        {"Weight=70000", "class Item has no property 'Weight'"},
        {"__PATH=x", "class Item has no property '__PATH'"},
    };
    for (const auto& each : cases) {
        const Result result = run({"new", "Item", "Name=bad", each.first});
        EXPECT_EQ(2, result.code) << each.first;
        EXPECT_EQ(std::string("zudava new: ") + each.second + "\n", result.err);
        EXPECT_EQ("", result.out);
    }
    const Result crate = run({"new", "Crate", "Name=bad", "Weight=70000"});
    EXPECT_EQ("zudava new: property 'Weight' is uint16; '70000' is not an integer from 0 to "
              "65535\n",
              crate.err);
    EXPECT_EQ("", output({"query", "SELECT * FROM Item WHERE Name = 'bad'"}));
}

TEST_F(ToolChange, NewOfAnExistingInstanceFailsAndKeepsIt) {
    const Result result = run({"new", "Item", "Name=pen", "Size=99"});
    EXPECT_EQ(1, result.code);
    EXPECT_EQ("zudava new: WBEM_E_ALREADY_EXISTS (0x80041019): IWbemServices::PutInstance() "
              "failed\n",
              result.err);
    EXPECT_NE(std::string::npos, json("Item.Name=\"pen\"").find("\"Size\": 1,"));
    const Result missing = run({"new", "Nope", "Name=x"});
    EXPECT_EQ(1, missing.code);
    EXPECT_EQ("zudava new: WBEM_E_NOT_FOUND (0x80041002): IWbemServices::GetObject() failed\n",
              missing.err);
}

TEST_F(ToolChange, SetChangesTheValuesGiven) {
    EXPECT_EQ("", output({"set", "Item.Name=\"cup\"", "Size=7", "Note=hot", "Tags=x"}));
    const std::string cup = json("Item.Name=\"cup\"");
    EXPECT_NE(std::string::npos, cup.find("\"Size\": 7,")) << cup;
    EXPECT_NE(std::string::npos, cup.find("\"Grade\": \"A\",")) << cup;
    EXPECT_NE(std::string::npos, cup.find("\"Tags\": [\"x\"],")) << cup;
    EXPECT_NE(std::string::npos, cup.find("\"Note\": \"hot\"\n")) << cup;
    output({"set", "Crate.Name=\"box\"", "Weight=1"});
    EXPECT_NE(std::string::npos, json("Crate.Name=\"box\"").find("\"Weight\": 1\n"));
}

TEST_F(ToolChange, SetWithOneWrongValueChangesNothing) {
    const Result result = run({"set", "Item.Name=\"cup\"", "Size=7", "Active=perhaps"});
    EXPECT_EQ(2, result.code);
    EXPECT_EQ("zudava set: property 'Active' is boolean; 'perhaps' is not true or false\n",
              result.err);
    EXPECT_NE(std::string::npos, json("Item.Name=\"cup\"").find("\"Size\": 2,"));
    const Result missing = run({"set", "Item.Name=\"none\"", "Size=1"});
    EXPECT_EQ(1, missing.code);
    EXPECT_EQ("zudava set: WBEM_E_NOT_FOUND (0x80041002): IWbemServices::GetObject() failed\n",
              missing.err);
}

TEST_F(ToolChange, DeleteRemovesAnInstanceOrAClass) {
    EXPECT_EQ("", output({"delete", "Item.Name=\"cup\""}));
    const Result gone = run({"get", "Item.Name=\"cup\""});
    EXPECT_EQ(1, gone.code);
    EXPECT_EQ("zudava get: WBEM_E_NOT_FOUND (0x80041002): IWbemServices::GetObject() failed\n",
              gone.err);
    const Result again = run({"delete", "Item.Name=\"cup\""});
    EXPECT_EQ(1, again.code);
    EXPECT_EQ("zudava delete: WBEM_E_NOT_FOUND (0x80041002): IWbemServices::DeleteInstance() "
              "failed\n",
              again.err);
    EXPECT_EQ("", output({"delete", "Crate"}));
    EXPECT_EQ("Holds\nItem\nShelf\n", output({"classes"}));
    EXPECT_EQ(std::string::npos, output({"enum", "Item"}).find("box"));
}

} // namespace
