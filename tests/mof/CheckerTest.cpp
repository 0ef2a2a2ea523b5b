// Meaning: flavors from declarations (or WMI's defaults), values against types, names against what
// exists, aliases turned into object paths, and nothing kept or stored from a file with an error.
#include "MofSupport.h"

namespace {

using mof::Value;
using mof_test::compileError;
using mof_test::MemoryTarget;

const char* const kDeclarations = R"(
Qualifier Key : boolean = false, Scope(property, reference), Flavor(DisableOverride, ToSubclass);
Qualifier Description : string = null, Scope(any), Flavor(EnableOverride, ToSubclass, Translatable);
Qualifier Abstract : boolean = false, Scope(class, association, indication), Flavor(Restricted);
Qualifier MaxLen : uint32 = null, Scope(property, method, parameter);
Qualifier Values : string[], Scope(property);
Qualifier Units : string = "none", Scope(property);
Qualifier Association : boolean = false, Scope(association), Flavor(DisableOverride, ToSubclass);
)";

uint8_t flavorsOf(const mof::QualifierList& list, const std::string& name) {
    for (const mof::Qualifier& qualifier : list)
        if (qualifier.name == name)
            return qualifier.flavors;
    ADD_FAILURE() << "no qualifier " << name;
    return 0xFF;
}

TEST(MofCheckerTest, FlavorsComeFromDeclarationsAndUses) {
    MemoryTarget target;
    mof::Compiler compiler(target);
    compiler.compileText("d.mof", kDeclarations, "root");
    compiler.compileText("c.mof", R"(
[Abstract, Description("x"), Unknown, Other(5) : ToSubclass DisableOverride Amended]
class A {
    [Key, Description("k") : Restricted, MaxLen(10) : ToInstance] string Name;
};
Qualifier Unknown : ToInstance;
[Unknown] class B {};
)",
                         "root");
    ASSERT_EQ(target.classes.size(), 2u);
    const mof::ClassDeclaration& a = target.classes[0];
    EXPECT_EQ(flavorsOf(a.qualifiers, "Abstract"), 0);
    EXPECT_EQ(flavorsOf(a.qualifiers, "Description"), mof::kToSubclass | mof::kTranslatable);
    // Declared by no file: WMI's default flavor, then what the use says.
    EXPECT_EQ(flavorsOf(a.qualifiers, "Unknown"), mof::kUndeclaredFlavors);
    EXPECT_EQ(flavorsOf(a.qualifiers, "Other"),
              mof::kToSubclass | mof::kDisableOverride | mof::kAmended);
    const mof::QualifierList& name = a.properties[0].qualifiers;
    EXPECT_EQ(flavorsOf(name, "Key"), mof::kToSubclass | mof::kDisableOverride);
    EXPECT_EQ(flavorsOf(name, "Description"), mof::kTranslatable);
    EXPECT_EQ(flavorsOf(name, "MaxLen"), mof::kToSubclass | mof::kToInstance);
    // WMI's flavors-only declaration changes the flavors of later uses.
    EXPECT_EQ(flavorsOf(target.classes[1].qualifiers, "Unknown"), mof::kToInstance);
    EXPECT_EQ(target.qualifiers.size(), 8u);
}

TEST(MofCheckerTest, QualifierValuesFollowTheirDeclaration) {
    MemoryTarget target;
    mof::Compiler compiler(target);
    compiler.compileText("d.mof", kDeclarations, "root");
    compiler.compileText("c.mof", "class A { [Units, Values(\"one\"), Key] string P; };", "root");
    const mof::QualifierList& list = target.classes[0].properties[0].qualifiers;
    EXPECT_EQ(list[0].value.text, "none");             // the declaration's default
    ASSERT_EQ(list[1].value.kind, Value::Kind::Array); // one value for an array qualifier
    EXPECT_EQ(list[1].value.elements[0].text, "one");
    EXPECT_TRUE(list[2].value.boolean);
    auto error = [&](const std::string& text) {
        return compileError(kDeclarations + std::string("\n") + text);
    };
    EXPECT_EQ(error("class A { [MaxLen(\"long\")] string P; };"),
              "test.mof:10:19: error: qualifier 'MaxLen' is uint32; it cannot hold a string "
              "(\"long\")");
    EXPECT_EQ(error("class A { [MaxLen(-1)] string P; };"),
              "test.mof:10:19: error: qualifier 'MaxLen' is uint32; -1 is out of its range");
    EXPECT_EQ(error("class A { [MaxLen] string P; };"),
              "test.mof:10:12: error: qualifier 'MaxLen' needs a value of type uint32");
    EXPECT_EQ(error("[Key] class A { };"),
              "test.mof:10:2: error: qualifier 'Key' is not allowed on a class");
    EXPECT_EQ(error("class A { [Abstract] string P; };"),
              "test.mof:10:12: error: qualifier 'Abstract' is not allowed on a property");
    EXPECT_EQ(error("class A { [Description(\"a\"), description(\"b\")] string P; };"),
              "test.mof:10:30: error: qualifier 'description' is given twice");
    EXPECT_EQ(error("class A { [Key : Restricted ToSubclass] string P; };"),
              "test.mof:10:12: error: flavors Restricted and ToSubclass of qualifier 'Key' "
              "contradict each other");
    EXPECT_EQ(error("Qualifier Key : string, Scope(any);"),
              "test.mof:10:1: error: qualifier 'Key' is already declared as boolean");
    EXPECT_EQ(compileError("[Odd($a)] class A {};"),
              "test.mof:1:6: error: qualifier 'Odd' cannot hold an alias");
    EXPECT_EQ(compileError("[Odd{1, \"a\"}] class A {};"),
              "test.mof:1:9: error: qualifier 'Odd': the elements of an array must be booleans, "
              "integers, reals or strings, all of one kind");
}

TEST(MofCheckerTest, DisableOverrideFixesTheValueForSubclasses) {
    const std::string base = kDeclarations + std::string(R"(
Qualifier Fixed : sint32 = 0, Scope(any), Flavor(DisableOverride, ToSubclass);
[Fixed(1)] class A { [Fixed(2)] string P; };
)");
    EXPECT_EQ(compileError(base + "[Fixed(1)] class B : A { [Fixed(2)] string P; };"), "");
    EXPECT_EQ(compileError(base + "[Fixed(3)] class B : A {};"),
              "test.mof:12:2: error: qualifier 'Fixed' of class 'B' cannot change the value "
              "that superclass 'A' gives it (DisableOverride)");
    EXPECT_EQ(compileError(base + "class B : A { [Fixed(1)] string P; };"),
              "test.mof:12:16: error: qualifier 'Fixed' of property 'P' cannot change the value "
              "that class 'A' gives it (DisableOverride)");
}

TEST(MofCheckerTest, ValuesAgainstPropertyTypes) {
    auto error = [](const std::string& type, const std::string& value) {
        return compileError("class C { " + type + " P = " + value + "; };");
    };
    EXPECT_EQ(error("uint8", "256"), "test.mof:1:21: error: property 'P' is uint8; 256 is out of "
                                     "its range");
    EXPECT_EQ(error("uint8", "-1"), "test.mof:1:21: error: property 'P' is uint8; -1 is out of "
                                    "its range");
    EXPECT_EQ(error("sint8", "-129"), "test.mof:1:21: error: property 'P' is sint8; -129 is out "
                                      "of its range");
    EXPECT_EQ(error("sint8", "-128"), "");
    EXPECT_EQ(error("sint16", "32768"), "test.mof:1:22: error: property 'P' is sint16; 32768 is "
                                        "out of its range");
    EXPECT_EQ(error("uint16", "65535"), "");
    EXPECT_EQ(error("sint32", "2147483648"), "test.mof:1:22: error: property 'P' is sint32; "
                                             "2147483648 is out of its range");
    EXPECT_EQ(error("uint32", "4294967296"), "test.mof:1:22: error: property 'P' is uint32; "
                                             "4294967296 is out of its range");
    EXPECT_EQ(error("sint64", "9223372036854775808"),
              "test.mof:1:22: error: property 'P' is sint64; 9223372036854775808 is out of its "
              "range");
    EXPECT_EQ(error("real32", "1e39"), "test.mof:1:22: error: property 'P' is real32; 1e+39 is "
                                       "out of its range");
    EXPECT_EQ(error("uint32", "1.5"), "test.mof:1:22: error: property 'P' is uint32; it cannot "
                                      "hold a real number (1.5)");
    EXPECT_EQ(error("string", "5"), "test.mof:1:22: error: property 'P' is string; it cannot "
                                    "hold an integer (5)");
    EXPECT_EQ(error("boolean", "\"true\""), "test.mof:1:23: error: property 'P' is boolean; it "
                                            "cannot hold a string (\"true\")");
    EXPECT_EQ(error("char16", "65536"), "test.mof:1:22: error: property 'P' is char16; it cannot "
                                        "hold an integer (65536)");
    EXPECT_EQ(error("datetime", "\"2024\""),
              "test.mof:1:24: error: property 'P' is datetime; \"2024\" is not a datetime "
              "(yyyymmddhhmmss.mmmmmmsutc or ddddddddhhmmss.mmmmmm:000)");
    EXPECT_EQ(compileError("class C { uint8 P[] = 1; };"),
              "test.mof:1:23: error: property 'P' is an array of uint8; its value must be "
              "written in braces { }");
    EXPECT_EQ(compileError("class C { uint8 P = {1}; };"),
              "test.mof:1:21: error: property 'P' is uint8, not an array");
    EXPECT_EQ(compileError("class C { uint8 P[2] = {1, 2, 3}; };"),
              "test.mof:1:24: error: property 'P' holds at most 2 elements; the value has 3");
    EXPECT_EQ(compileError("class C { uint8 P[] = {1, null}; };"),
              "test.mof:1:27: error: property 'P': an array element cannot be null");
    EXPECT_EQ(compileError("class C { object P = 5; };"),
              "test.mof:1:22: error: property 'P' is object; it cannot hold an integer (5)");
}

TEST(MofCheckerTest, NamesMustExist) {
    EXPECT_EQ(compileError("class B : A {};"),
              "test.mof:1:1: error: superclass 'A' of class 'B' does not exist in namespace "
              "'root\\cimv2'");
    EXPECT_EQ(compileError("class A : A {};"),
              "test.mof:1:1: error: class 'A' cannot be its own superclass");
    EXPECT_EQ(compileError("class A { Missing REF R; };"),
              "test.mof:1:23: error: referenced class 'Missing' does not exist in namespace "
              "'root\\cimv2'");
    EXPECT_EQ(compileError("class A { A REF Self; uint8 M([In] Nope REF p); };"),
              "test.mof:1:45: error: referenced class 'Nope' does not exist in namespace "
              "'root\\cimv2'");
    EXPECT_EQ(compileError("class A { string P; uint8 p; };"),
              "test.mof:1:27: error: property 'p' is declared twice in class 'A'");
    EXPECT_EQ(compileError("class A { string P; void P(); };"),
              "test.mof:1:26: error: method 'P' is declared twice in class 'A' (or has the name "
              "of a property)");
    EXPECT_EQ(compileError("class A { void M(uint8 x, string X); };"),
              "test.mof:1:34: error: parameter 'X' is declared twice in method 'M'");
    EXPECT_EQ(compileError("class A { string P; }; class B : A { uint8 P; };"),
              "test.mof:1:44: error: property 'P' of class 'B' is uint8 but class 'A' has it as "
              "string");
    EXPECT_EQ(compileError("instance of Nothing {};"),
              "test.mof:1:1: error: class 'Nothing' does not exist in namespace 'root\\cimv2'");
    EXPECT_EQ(compileError("[Abstract] class A {}; instance of A {};"),
              "test.mof:1:24: error: class 'A' is abstract and has no instances");
    EXPECT_EQ(compileError("class A { string P; }; instance of A { Q = 1; };"),
              "test.mof:1:40: error: class 'A' has no property 'Q'");
    EXPECT_EQ(compileError("class A { string P; }; instance of A { P = \"a\"; p = \"b\"; };"),
              "test.mof:1:49: error: property 'p' is given twice in the instance");
    EXPECT_EQ(compileError("#pragma namespace(\"other\")\nclass A {};\n#pragma namespace"
                           "(\"\\\\\\\\.\\\\root\\\\cimv2\")\ninstance of A {};"),
              "test.mof:4:1: error: class 'A' does not exist in namespace 'root\\cimv2'");
}

TEST(MofCheckerTest, ClassesMayAlreadyExistInTheStore) {
    MemoryTarget target;
    auto stored = std::make_shared<mof::ClassShape>();
    stored->name = "Stored";
    mof::PropertyShape key;
    key.name = "Id";
    key.type = mof::Type::Uint32;
    key.key = true;
    stored->properties.push_back(key);
    target.existing["root\\cimv2\nstored"] = stored;
    EXPECT_EQ(
        compileError("class Sub : STORED { string Extra; };\ninstance of Sub { Id = 7; };", target),
        "");
    ASSERT_EQ(target.instances.size(), 1u);
    EXPECT_EQ(target.instances[0].path, "Sub.Id=7");
}

TEST(MofCheckerTest, AliasesBecomeObjectPaths) {
    MemoryTarget target;
    EXPECT_EQ(compileError(R"(
class Node { [Key] string Name; [Key] sint32 Rank; };
class Link { [Key] Node REF Left; [Key] Node REF Right; Node REF Many[]; };
class Only { [Key] string Id = "fixed"; };
[Singleton] class Alone { string X; };
class Plain { string X; };
instance of Link as $link { Left = $a; Right = $b; Many = {$a, $b}; };
instance of Node as $a { Name = "a \"quoted\" \\ name"; Rank = -2; };
instance of Node as $B { Name = "b"; Rank = 3; };
instance of Only as $only {};
instance of Alone as $alone {};
class Holder as $holder { Link REF L = $link; Only REF O = $only; Alone REF S = $alone; };
instance of Holder { L = "Link.Left=\"x\""; };
)",
                           target),
              "");
    ASSERT_EQ(target.instances.size(), 6u);
    const mof::InstanceDeclaration& link = target.instances[0];
    EXPECT_EQ(link.properties[0].value.kind, Value::Kind::String);
    EXPECT_EQ(link.properties[0].value.text, "Node.Name=\"a \\\"quoted\\\" \\\\ name\",Rank=-2");
    EXPECT_EQ(link.properties[1].value.text, "Node.Name=\"b\",Rank=3"); // alias names ignore case
    EXPECT_EQ(link.properties[2].value.elements[1].text, "Node.Name=\"b\",Rank=3");
    EXPECT_EQ(link.path, "Link.Left=\"Node.Name=\\\"a \\\\\\\"quoted\\\\\\\" \\\\\\\\ "
                         "name\\\",Rank=-2\",Right=\"Node.Name=\\\"b\\\",Rank=3\"");
    const mof::ClassDeclaration& holder = *target.findStored("Holder");
    EXPECT_EQ(holder.properties[0].value.text, link.path);
    EXPECT_EQ(holder.properties[1].value.text, "Only.Id=\"fixed\"");
    EXPECT_EQ(holder.properties[2].value.text, "Alone=@");
    EXPECT_EQ(target.instances[5].properties[0].value.text, "Link.Left=\"x\"");

    const std::string classes = "class N { [Key] uint32 Id; N REF Next; };\n"
                                "class Plain { string X; }; class R { Plain REF P; };\n";
    EXPECT_EQ(compileError(classes + "instance of N { Id = 1; Next = $nowhere; };"),
              "test.mof:3:32: error: alias '$nowhere' is not defined");
    EXPECT_EQ(compileError(classes + "instance of N as $x { Id = 1; };\n"
                                     "instance of N as $X { Id = 2; };"),
              "test.mof:4:1: error: alias '$X' is already defined at test.mof:3");
    EXPECT_EQ(compileError(classes + "instance of Plain as $p {}; instance of R { P = $p; };"),
              "test.mof:3:49: error: alias '$p' names an instance of 'Plain', which has no key "
              "properties");
    EXPECT_EQ(compileError(classes + "instance of N { Next = null; };"),
              "test.mof:3:1: error: key property 'Id' of the instance of 'N' has no value");
    EXPECT_EQ(compileError("class K { [Key] K REF Other; };\n"
                           "instance of K as $a { Other = $b; };\n"
                           "instance of K as $b { Other = $a; };"),
              "test.mof:3:1: error: the keys of aliases '$b' refer to each other in a loop");
    EXPECT_EQ(compileError("class A { string P; }; class B { object O; };\n"
                           "instance of B { O = instance of A as $e { }; };"),
              "test.mof:2:21: error: an embedded instance cannot have an alias");
}

TEST(MofCheckerTest, AFileWithAnErrorStoresAndKeepsNothing) {
    MemoryTarget target;
    mof::Compiler compiler(target);
    EXPECT_THROW(compiler.compileText("one.mof",
                                      "Qualifier Q : ToSubclass;\nclass A {};\nclass B : A { "
                                      "uint8 P = 300; };",
                                      "root"),
                 mof::MofError);
    EXPECT_TRUE(target.classes.empty());
    EXPECT_TRUE(target.qualifiers.empty());
    // Neither A nor Q's flavors survive the failed file.
    EXPECT_EQ(compileError("class C : A {};", target),
              "test.mof:1:1: error: superclass 'A' of class 'C' does not exist in namespace "
              "'root\\cimv2'");
    compiler.compileText("two.mof", "class A {};\n[Q] class C : A {};", "root");
    ASSERT_EQ(target.classes.size(), 2u);
    EXPECT_EQ(target.classes[1].qualifiers[0].flavors, mof::kUndeclaredFlavors);
    // A later file sees the classes of an earlier one.
    compiler.compileText("three.mof", "class D : C {};", "root");
    EXPECT_EQ(target.classes.size(), 3u);
    EXPECT_EQ(compiler.counts().files, 2u);
    EXPECT_EQ(compiler.counts().classes, 3u);
}

TEST(MofCheckerTest, AStoreRefusalNamesTheStatement) {
    MemoryTarget target;
    target.refuse = "B";
    mof::Compiler compiler(target);
    try {
        compiler.compileText("s.mof", "class A {};\n  class B {};", "root");
        FAIL();
    } catch (const mof::MofError& e) {
        EXPECT_STREQ(e.what(), "s.mof:2:3: error: cannot store class B: WBEM_E_FAILED "
                               "(0x80041001)");
    }
    EXPECT_EQ(target.classes.size(), 1u);
}

} // namespace
