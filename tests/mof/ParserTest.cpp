// The statements of the language: classes, methods, instances, qualifier declarations, pragmas
// and includes, and the exact message for each kind of malformed statement.
#include "MofSupport.h"

namespace {

using mof::Type;
using mof::Value;
using mof_test::MemoryTarget;
using mof_test::parseError;
using mof_test::ScratchFolder;

const char* const kModel = R"(
[Abstract, Description("A thing" " with parts")]
class Thing {
    [Key] string Name;
    uint8 Sizes[] = {1, 2, 3};
    sint16 Fixed[4];
    real64 Weight = 1.5;
    object Extra;
    [Static] uint32 Reset([In] string Mode, [In, Out] uint32 Counts[], [Out] Thing REF Result);
    void Ping();
    Thing REF Parent();
};
)";

TEST(MofParserTest, ClassFeatures) {
    const mof::Unit unit = mof::Parser().parseText("m.mof", kModel, "root\\test");
    ASSERT_EQ(unit.statements.size(), 1u);
    const auto& thing = std::get<mof::ClassDeclaration>(unit.statements[0]);
    EXPECT_EQ(thing.name, "Thing");
    EXPECT_EQ(thing.nameSpace, "root\\test");
    ASSERT_EQ(thing.qualifiers.size(), 2u);
    EXPECT_EQ(thing.qualifiers[1].value.text, "A thing with parts");
    ASSERT_EQ(thing.properties.size(), 5u);
    EXPECT_EQ(thing.properties[1].type, Type::Uint8);
    EXPECT_TRUE(thing.properties[1].isArray);
    EXPECT_EQ(thing.properties[1].arraySize, 0u);
    EXPECT_EQ(thing.properties[1].value.elements.size(), 3u);
    EXPECT_EQ(thing.properties[2].arraySize, 4u);
    EXPECT_EQ(thing.properties[4].type, Type::Object);
    ASSERT_EQ(thing.methods.size(), 3u);
    const mof::Method& reset = thing.methods[0];
    EXPECT_EQ(reset.returnType, Type::Uint32);
    ASSERT_EQ(reset.parameters.size(), 3u);
    EXPECT_TRUE(reset.parameters[1].isArray);
    EXPECT_EQ(reset.parameters[1].qualifiers.size(), 2u);
    EXPECT_EQ(reset.parameters[2].type, Type::Reference);
    EXPECT_EQ(reset.parameters[2].referenceClass, "Thing");
    EXPECT_EQ(thing.methods[1].returnType, Type::None);
    EXPECT_EQ(thing.methods[2].returnType, Type::Reference);
    EXPECT_EQ(thing.methods[2].returnClass, "Thing");
    EXPECT_EQ(thing.position.line, 2u);
    EXPECT_EQ(thing.properties[0].position.line, 4u);
    EXPECT_EQ(thing.properties[0].position.column, 18u);
}

TEST(MofParserTest, KeywordsIgnoreCase) {
    const mof::Unit unit = mof::Parser().parseText(
        "k.mof", "CLASS A { STRING s; }; Instance OF A AS $x { s = NULL; };", "root");
    ASSERT_EQ(unit.statements.size(), 2u);
    EXPECT_EQ(std::get<mof::InstanceDeclaration>(unit.statements[1]).alias, "x");
}

TEST(MofParserTest, PragmasSetNamespaceAndFlags) {
    const mof::Unit unit = mof::Parser().parseText("p.mof", R"(
#pragma locale("en_US")
#pragma autorecover
#pragma namespace("\\\\.\\root\\default")
class A {};
#pragma namespace("sub")
#pragma classflags("updateonly", "forceupdate")
class B {};
#pragma instanceflags("createonly")
#pragma namespace("//./root/other")
instance of B {};
)",
                                                   "root\\cimv2");
    ASSERT_EQ(unit.statements.size(), 3u);
    const auto& a = std::get<mof::ClassDeclaration>(unit.statements[0]);
    EXPECT_EQ(a.nameSpace, "root\\default");
    EXPECT_EQ(a.classFlags, 0u);
    const auto& b = std::get<mof::ClassDeclaration>(unit.statements[1]);
    EXPECT_EQ(b.nameSpace, "root\\default\\sub");
    EXPECT_EQ(b.classFlags, mof::kUpdateOnly | mof::kForceUpdate);
    const auto& instance = std::get<mof::InstanceDeclaration>(unit.statements[2]);
    EXPECT_EQ(instance.nameSpace, "root\\other");
    EXPECT_EQ(instance.instanceFlags, mof::kCreateOnly);
}

TEST(MofParserTest, IncludesAreRelativeToTheIncludingFile) {
    ScratchFolder folder;
    folder.write("schema/sub/leaf.mof", "class Leaf : Base {};\n#pragma namespace(\"inner\")\n");
    folder.write("schema/base.mof", "class Base {};\n#pragma include(\"sub\\\\leaf.mof\")\n");
    const std::string main =
        folder.write("main.mof", "#pragma include (\"schema/base.mof\")\nclass After : Leaf {};\n");
    MemoryTarget target;
    mof::Compiler compiler(target);
    compiler.compileFile(main, "root");
    ASSERT_EQ(target.classes.size(), 3u);
    EXPECT_EQ(target.classes[0].name, "Base");
    EXPECT_EQ(target.classes[1].name, "Leaf");
    // A namespace set in an included file ends with that file.
    EXPECT_EQ(target.classes[2].nameSpace, "root");
    EXPECT_EQ(compiler.counts().sources, 3u);
}

TEST(MofParserTest, IncludeErrorsNameTheFileAndPlace) {
    ScratchFolder folder;
    folder.write("bad.mof", "class X {\n  uint8 P = 300b;\n};\n");
    const std::string main =
        folder.write("main.mof", "class A {};\n#pragma include(\"bad.mof\")\n");
    MemoryTarget target;
    mof::Compiler compiler(target);
    try {
        compiler.compileFile(main, "root");
        FAIL();
    } catch (const mof::MofError& e) {
        EXPECT_EQ(e.file(), (folder.path() / "bad.mof").string());
        EXPECT_EQ(e.line(), 2u);
        EXPECT_EQ(e.message(), "invalid binary number '300b'");
    }
    EXPECT_TRUE(target.classes.empty()); // class A, though fine, is not stored
    try {
        compiler.compileText("m.mof", "\n  #pragma include(\"missing.mof\")", "root");
        FAIL();
    } catch (const mof::MofError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("m.mof:2:11: error: cannot read included file "
                                              "'missing.mof': ",
                                              0),
                  0u)
            << e.what();
    }
    const std::string loop = folder.write("loop.mof", "#pragma include(\"loop.mof\")\n");
    try {
        compiler.compileFile(loop, "root");
        FAIL();
    } catch (const mof::MofError& e) {
        EXPECT_EQ(e.message(), "includes nest too deeply (a file includes itself?)");
    }
    try {
        compiler.compileFile((folder.path() / "none.mof").string(), "root");
        FAIL();
    } catch (const mof::MofError& e) {
        EXPECT_EQ(std::string(e.what()), (folder.path() / "none.mof").string() +
                                             ": error: cannot read the file: No such file or "
                                             "directory");
    }
}

TEST(MofParserTest, MalformedStatements) {
    EXPECT_EQ(parseError("clas A {};"),
              "test.mof:1:1: error: expected 'class', 'instance of', 'qualifier' or '#pragma', "
              "found 'clas'");
    EXPECT_EQ(parseError("class A { string P }"),
              "test.mof:1:20: error: expected ';' after property P, found '}'");
    EXPECT_EQ(parseError("class A { string P; }"),
              "test.mof:1:22: error: expected ';' after class A, found 'end of file'");
    EXPECT_EQ(parseError("class A {\n  strin P;\n};"), "test.mof:2:3: error: unknown type 'strin'");
    EXPECT_EQ(parseError("class A { void P; };"),
              "test.mof:1:11: error: property 'P' cannot be void");
    EXPECT_EQ(parseError("class A { uint8 P[0]; };"),
              "test.mof:1:19: error: invalid array size '0'");
    EXPECT_EQ(parseError("class A { uint8 M(uint8 a b); };"),
              "test.mof:1:27: error: expected ',' or ')' after a parameter, found 'b'");
    EXPECT_EQ(parseError("[Key class A {};"),
              "test.mof:1:6: error: expected ',' or ']' after a qualifier, found 'class'");
    EXPECT_EQ(parseError("[Key] qualifier Q : boolean;"),
              "test.mof:1:7: error: expected 'class' or 'instance of' after qualifiers, found "
              "'qualifier'");
    EXPECT_EQ(parseError("instance A {};"),
              "test.mof:1:10: error: expected 'of' after 'instance', found 'A'");
    EXPECT_EQ(parseError("instance of A { P = ; };"),
              "test.mof:1:21: error: expected a value, found ';'");
    EXPECT_EQ(parseError("instance of A { P = {1, 2; };"),
              "test.mof:1:26: error: expected ',' or '}' between array elements, found ';'");
    EXPECT_EQ(parseError("#pragma frobnicate(\"x\")"),
              "test.mof:1:9: error: unknown pragma 'frobnicate'");
    EXPECT_EQ(parseError("#pragma namespace(\"a\", \"b\")"),
              "test.mof:1:9: error: #pragma namespace takes one string");
    EXPECT_EQ(parseError("#pragma classflags(\"sometimes\")"),
              "test.mof:1:20: error: unknown flag 'sometimes' in #pragma classflags");
    EXPECT_EQ(parseError("#pragma classflags(\"updateonly\", \"createonly\")"),
              "test.mof:1:9: error: #pragma classflags: updateonly and createonly exclude each "
              "other");
    EXPECT_EQ(parseError("# include"), "test.mof:1:3: error: expected 'pragma' after '#', found "
                                       "'include'");
    EXPECT_EQ(parseError("qualifier Q : boolean = false;"),
              "test.mof:1:1: error: qualifier declaration 'Q' has no Scope(...)");
    EXPECT_EQ(parseError("qualifier Q : boolean, Scope(class, everything);"),
              "test.mof:1:37: error: expected a scope (class, association, indication, "
              "property, reference, method, parameter or any), found 'everything'");
    EXPECT_EQ(parseError("qualifier Q : boolean, Scope(any), Flavor(Sticky);"),
              "test.mof:1:43: error: expected a flavor (EnableOverride, DisableOverride, "
              "ToSubclass, NotToSubclass, Restricted, ToInstance, NotToInstance, Translatable or "
              "Amended), found 'Sticky'");
    EXPECT_EQ(parseError("qualifier Q : blob, Scope(any);"),
              "test.mof:1:15: error: unknown qualifier type 'blob'");
}

TEST(MofParserTest, QualifierDeclarations) {
    const mof::Unit unit = mof::Parser().parseText("q.mof", R"(
Qualifier Units : string[3] = {"a"}, Scope(property, method, parameter),
    Flavor(EnableOverride, ToSubclass, Translatable);
Qualifier Short : ToInstance Amended;
)",
                                                   "root");
    ASSERT_EQ(unit.statements.size(), 2u);
    const auto& units = std::get<mof::QualifierDeclaration>(unit.statements[0]);
    EXPECT_EQ(units.type, Type::String);
    EXPECT_TRUE(units.isArray);
    EXPECT_EQ(units.arraySize, 3u);
    EXPECT_EQ(units.scopes, mof::kScopeProperty | mof::kScopeMethod | mof::kScopeParameter);
    EXPECT_EQ(units.flavorWords.size(), 3u);
    const auto& flavorsOnly = std::get<mof::QualifierDeclaration>(unit.statements[1]);
    EXPECT_TRUE(flavorsOnly.flavorsOnly);
    EXPECT_EQ(flavorsOnly.flavorWords.size(), 2u);
}

TEST(MofParserTest, EmbeddedInstanceValues) {
    MemoryTarget target;
    mof::Compiler compiler(target);
    compiler.compileText("e.mof", R"(
class Part { string Label; };
class Box { [Key] uint32 Id; object Content; object Many[]; };
instance of Box { Id = 1; Content = instance of Part { Label = "in"; };
    Many = { instance of Part { Label = "a"; }, instance of Part {} }; };
)",
                         "root");
    ASSERT_EQ(target.instances.size(), 1u);
    const mof::Value& content = target.instances[0].properties[1].value;
    ASSERT_EQ(content.kind, Value::Kind::Instance);
    EXPECT_EQ(content.instance->className, "Part");
    EXPECT_EQ(content.instance->properties[0].value.text, "in");
    EXPECT_EQ(target.instances[0].properties[2].value.elements.size(), 2u);
    EXPECT_EQ(target.instances[0].path, "Box.Id=1");

    std::string deep = "instance of Box { Content = ";
    for (int i = 0; i < 40; ++i)
        deep += "instance of Box { Content = ";
    EXPECT_EQ(mof_test::parseError(deep), "test.mof:1:925: error: embedded instances nest more "
                                          "than 32 deep");
}

} // namespace
