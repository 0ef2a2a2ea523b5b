#include "Parser.h"

#include "Lexer.h"
#include "MofError.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace mof {

namespace {

// Deeper than any real schema nests its includes; stops a file that includes itself in a loop.
constexpr int kMaxIncludeDepth = 64;
// Embedded instances nest no deeper than this, so that a hostile text cannot exhaust the stack.
constexpr int kMaxEmbedding = 32;

using Token = Lexer::Token;

bool isWord(const Lexer& lexer, const char* keyword) {
    return lexer.kind() == Token::Identifier && equalsNoCase(lexer.word(), keyword);
}

std::string quoted(std::string_view text) {
    return "'" + std::string(text) + "'";
}

[[noreturn]] void expected(const Lexer& lexer, const std::string& what) {
    lexer.fail("expected " + what + ", found " + quoted(lexer.spelling()));
}

void expectPunct(Lexer& lexer, char c, const char* context) {
    if (!lexer.isPunct(c))
        expected(lexer, quoted(std::string(1, c)) + " " + context);
    lexer.next();
}

std::string expectName(Lexer& lexer, const char* what) {
    if (lexer.kind() != Token::Identifier)
        expected(lexer, what);
    std::string name(lexer.word());
    lexer.next();
    return name;
}

Position here(const Lexer& lexer, uint32_t file) {
    return Position{file, lexer.line(), lexer.column()};
}

struct FlavorSpelling {
    const char* name;
    FlavorWord word;
};

constexpr FlavorSpelling kFlavors[] = {
    {"EnableOverride", FlavorWord::EnableOverride},
    {"DisableOverride", FlavorWord::DisableOverride},
    {"ToSubclass", FlavorWord::ToSubclass},
    {"NotToSubclass", FlavorWord::NotToSubclass},
    {"Restricted", FlavorWord::Restricted},
    {"ToInstance", FlavorWord::ToInstance},
    {"NotToInstance", FlavorWord::NotToInstance},
    {"Translatable", FlavorWord::Translatable},
    {"Amended", FlavorWord::Amended},
};

bool flavorWord(std::string_view name, FlavorWord& word) {
    for (const FlavorSpelling& spelling : kFlavors)
        if (equalsNoCase(name, spelling.name)) {
            word = spelling.word;
            return true;
        }
    return false;
}

struct ScopeSpelling {
    const char* name;
    uint16_t scope;
};

constexpr ScopeSpelling kScopes[] = {
    {"class", kScopeClass},           {"association", kScopeAssociation},
    {"indication", kScopeIndication}, {"property", kScopeProperty},
    {"reference", kScopeReference},   {"method", kScopeMethod},
    {"parameter", kScopeParameter},   {"any", kScopeAny},
};

std::string directoryOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool isAbsolute(const std::string& path) {
    return (!path.empty() && (path[0] == '/' || path[0] == '\\')) ||
           (path.size() > 1 && path[1] == ':');
}

// "\\\\server\\root\\cimv2" and "//./root/cimv2" name the namespace root\cimv2 (only the local
// machine is reachable through one service); a name without a server is relative to the current
// namespace.
std::string namespaceFrom(std::string name, const std::string& current) {
    for (char& c : name)
        if (c == '/')
            c = '\\';
    if (name.size() >= 2 && name[0] == '\\' && name[1] == '\\') {
        const size_t server = name.find('\\', 2);
        return server == std::string::npos ? std::string() : name.substr(server + 1);
    }
    if (!name.empty() && name[0] == '\\')
        return name.substr(1);
    return current.empty() ? name : current + "\\" + name;
}

} // namespace

struct Parser::FileState {
    std::string path;
    std::string nameSpace;
    uint32_t classFlags = kCreateOrUpdate;
    uint32_t instanceFlags = kCreateOrUpdate;
};

Parser::Parser(Reader reader) : m_reader(reader ? std::move(reader) : Reader(&Parser::readFile)) {}

bool Parser::readFile(const std::string& path, std::string& contents, std::string& error) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    contents.clear();
    char buffer[65536];
    size_t read = 0;
    while ((read = std::fread(buffer, 1, sizeof buffer, file.get())) > 0)
        contents.append(buffer, read);
    if (std::ferror(file.get())) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

std::string Parser::toUtf8(std::string bytes) {
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return bytes.substr(3);
    if (bytes.size() < 2)
        return bytes;
    const unsigned char first = static_cast<unsigned char>(bytes[0]);
    const unsigned char second = static_cast<unsigned char>(bytes[1]);
    const bool little = first == 0xFF && second == 0xFE;
    if (!little && !(first == 0xFE && second == 0xFF))
        return bytes;
    std::string text;
    text.reserve(bytes.size() / 2);
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        const unsigned char a = static_cast<unsigned char>(bytes[i]);
        const unsigned char b = static_cast<unsigned char>(bytes[i + 1]);
        appendUnit(text, static_cast<char16_t>(little ? (b << 8 | a) : (a << 8 | b)));
    }
    return text;
}

Unit Parser::parseFile(const std::string& path, const std::string& nameSpace) {
    std::string bytes;
    std::string error;
    if (!m_reader(path, bytes, error))
        throw MofError(path, 0, 0, "cannot read the file: " + error);
    return parseText(path, std::move(bytes), nameSpace);
}

Unit Parser::parseText(const std::string& fileName, std::string text,
                       const std::string& nameSpace) {
    Unit unit;
    unit.files.push_back(fileName);
    unit.sources.push_back(toUtf8(std::move(text)));
    FileState state;
    state.path = fileName;
    state.nameSpace = nameSpace;
    parseSource(unit, 0, state, 0);
    return unit;
}

void Parser::parseSource(Unit& unit, uint32_t fileIndex, FileState& state, int depth) {
    Lexer lexer(unit.sources[fileIndex], unit.files[fileIndex]);
    while (lexer.kind() != Token::End) {
        if (lexer.isPunct('#')) {
            parsePragma(lexer, unit, state, depth);
            continue;
        }
        if (lexer.isPunct(';')) { // a stray ';' between statements is harmless
            lexer.next();
            continue;
        }
        const Position position = here(lexer, fileIndex);
        QualifierList qualifiers;
        if (lexer.isPunct('['))
            qualifiers = parseQualifierList(lexer, fileIndex);
        if (isWord(lexer, "class")) {
            parseClass(lexer, unit, state, fileIndex, std::move(qualifiers), position);
        } else if (isWord(lexer, "instance")) {
            unit.statements.emplace_back(
                parseInstance(lexer, state, fileIndex, std::move(qualifiers), position));
            expectPunct(lexer, ';', "after the instance");
        } else if (isWord(lexer, "qualifier") && qualifiers.empty()) {
            parseQualifierDeclaration(lexer, unit, state, fileIndex);
        } else {
            expected(lexer, qualifiers.empty() ? "'class', 'instance of', 'qualifier' or '#pragma'"
                                               : "'class' or 'instance of' after qualifiers");
        }
    }
}

void Parser::parsePragma(Lexer& lexer, Unit& unit, FileState& state, int depth) {
    lexer.next();
    if (!isWord(lexer, "pragma"))
        expected(lexer, "'pragma' after '#'");
    lexer.next();
    const uint32_t line = lexer.line();
    const uint32_t column = lexer.column();
    const std::string name = lowered(expectName(lexer, "a pragma name"));
    if (name == "autorecover")
        return;
    // Every other pragma takes a parenthesised list of strings, names or numbers.
    expectPunct(lexer, '(', ("after #pragma " + name).c_str());
    std::vector<std::string> arguments;
    std::vector<std::pair<uint32_t, uint32_t>> places;
    while (!lexer.isPunct(')')) {
        places.emplace_back(lexer.line(), lexer.column());
        if (lexer.kind() == Token::String) {
            std::string text = std::move(lexer.text());
            lexer.next();
            while (lexer.kind() == Token::String) {
                text += lexer.text();
                lexer.next();
            }
            arguments.push_back(std::move(text));
        } else if (lexer.kind() == Token::Identifier) {
            arguments.emplace_back(lexer.word());
            lexer.next();
        } else if (lexer.kind() == Token::Integer && !lexer.negative()) {
            arguments.push_back(std::to_string(lexer.magnitude()));
            lexer.next();
        } else {
            expected(lexer, "a string in #pragma " + name);
        }
        if (!lexer.isPunct(','))
            break;
        lexer.next();
    }
    expectPunct(lexer, ')', ("after the arguments of #pragma " + name).c_str());
    auto single = [&]() -> const std::string& {
        if (arguments.size() != 1)
            lexer.failAt(line, column, "#pragma " + name + " takes one string");
        return arguments[0];
    };

    if (name == "include") {
        std::string file = single();
        for (char& c : file)
            if (c == '\\')
                c = '/';
        const std::string path = isAbsolute(file) ? file : directoryOf(state.path) + file;
        if (depth + 1 >= kMaxIncludeDepth)
            lexer.failAt(line, column, "includes nest too deeply (a file includes itself?)");
        std::string bytes;
        std::string error;
        if (!m_reader(path, bytes, error))
            lexer.failAt(line, column, "cannot read included file " + quoted(path) + ": " + error);
        const uint32_t index = static_cast<uint32_t>(unit.files.size());
        unit.files.push_back(path);
        unit.sources.push_back(toUtf8(std::move(bytes)));
        // The included file starts with this file's namespace and flags; what it changes stays
        // inside it.
        FileState included = state;
        included.path = path;
        parseSource(unit, index, included, depth + 1);
    } else if (name == "namespace") {
        state.nameSpace = namespaceFrom(single(), state.nameSpace);
        if (state.nameSpace.empty())
            lexer.failAt(line, column, "invalid namespace " + quoted(arguments[0]));
    } else if (name == "classflags" || name == "instanceflags") {
        uint32_t flags = 0;
        for (size_t i = 0; i < arguments.size(); ++i) {
            const std::string flag = lowered(arguments[i]);
            if (flag == "updateonly")
                flags |= kUpdateOnly;
            else if (flag == "createonly")
                flags |= kCreateOnly;
            else if (flag == "safeupdate" && name == "classflags")
                flags |= kSafeUpdate;
            else if (flag == "forceupdate" && name == "classflags")
                flags |= kForceUpdate;
            else if (!flag.empty() && flag.find_first_not_of("0123456789") == std::string::npos &&
                     flag.size() < 10)
                flags |= static_cast<uint32_t>(std::stoul(flag));
            else
                lexer.failAt(places[i].first, places[i].second,
                             "unknown flag " + quoted(arguments[i]) + " in #pragma " + name);
        }
        if ((flags & kUpdateOnly) && (flags & kCreateOnly))
            lexer.failAt(line, column,
                         "#pragma " + name + ": updateonly and createonly exclude each other");
        if ((flags & kSafeUpdate) && (flags & kForceUpdate))
            lexer.failAt(line, column,
                         "#pragma " + name + ": safeupdate and forceupdate exclude each other");
        (name == "classflags" ? state.classFlags : state.instanceFlags) = flags;
    } else if (name == "locale" || name == "source") {
        // The locale names the language of the text; a source names another machine, and only
        // the local service is reachable. Both change nothing here.
    } else {
        lexer.failAt(line, column, "unknown pragma " + quoted(name));
    }
}

std::vector<FlavorWord> Parser::parseFlavorWords(Lexer& lexer, bool parenthesised) {
    std::vector<FlavorWord> words;
    for (;;) {
        FlavorWord word;
        if (lexer.kind() != Token::Identifier || !flavorWord(lexer.word(), word))
            expected(lexer, "a flavor (EnableOverride, DisableOverride, ToSubclass, "
                            "NotToSubclass, Restricted, ToInstance, NotToInstance, "
                            "Translatable or Amended)");
        words.push_back(word);
        lexer.next();
        if (parenthesised) {
            if (!lexer.isPunct(','))
                return words;
            lexer.next();
        } else if (lexer.kind() != Token::Identifier) {
            return words;
        }
    }
}

void Parser::parseQualifierDeclaration(Lexer& lexer, Unit& unit, const FileState& state,
                                       uint32_t fileIndex) {
    QualifierDeclaration declaration;
    declaration.position = here(lexer, fileIndex);
    declaration.nameSpace = state.nameSpace;
    lexer.next();
    declaration.name = expectName(lexer, "a qualifier name");
    expectPunct(lexer, ':', "after the qualifier name");
    FlavorWord word;
    if (lexer.kind() == Token::Identifier && flavorWord(lexer.word(), word)) {
        declaration.flavorsOnly = true;
        declaration.flavorWords = parseFlavorWords(lexer, false);
        expectPunct(lexer, ';', "after the qualifier's flavors");
        unit.statements.emplace_back(std::move(declaration));
        return;
    }
    if (lexer.kind() != Token::Identifier)
        expected(lexer, "the qualifier's type");
    const auto type = typeFromName(lexer.word());
    if (!type || *type == Type::Object)
        lexer.fail("unknown qualifier type " + quoted(lexer.word()));
    declaration.type = *type;
    lexer.next();
    if (lexer.isPunct('[')) {
        lexer.next();
        declaration.isArray = true;
        if (lexer.kind() == Token::Integer) {
            if (lexer.negative() || lexer.magnitude() == 0 || lexer.magnitude() > UINT32_MAX)
                lexer.fail("invalid array size " + quoted(lexer.spelling()));
            declaration.arraySize = static_cast<uint32_t>(lexer.magnitude());
            lexer.next();
        }
        expectPunct(lexer, ']', "after the array size");
    }
    if (lexer.isPunct('=')) {
        lexer.next();
        declaration.hasDefault = true;
        declaration.defaultValue = parseValue(lexer, state, fileIndex);
    }
    bool sawScope = false;
    bool sawFlavor = false;
    while (lexer.isPunct(',')) {
        lexer.next();
        if (isWord(lexer, "scope") && !sawScope) {
            sawScope = true;
            lexer.next();
            expectPunct(lexer, '(', "after Scope");
            for (;;) {
                bool known = false;
                if (lexer.kind() == Token::Identifier)
                    for (const ScopeSpelling& scope : kScopes)
                        if (equalsNoCase(lexer.word(), scope.name)) {
                            declaration.scopes |= scope.scope;
                            known = true;
                        }
                if (!known)
                    expected(lexer, "a scope (class, association, indication, property, "
                                    "reference, method, parameter or any)");
                lexer.next();
                if (!lexer.isPunct(','))
                    break;
                lexer.next();
            }
            expectPunct(lexer, ')', "after the scopes");
        } else if (isWord(lexer, "flavor") && !sawFlavor) {
            sawFlavor = true;
            lexer.next();
            expectPunct(lexer, '(', "after Flavor");
            declaration.flavorWords = parseFlavorWords(lexer, true);
            expectPunct(lexer, ')', "after the flavors");
        } else {
            expected(lexer, sawScope ? "Flavor(...)" : "Scope(...)");
        }
    }
    if (!sawScope)
        lexer.failAt(declaration.position.line, declaration.position.column,
                     "qualifier declaration " + quoted(declaration.name) + " has no Scope(...)");
    expectPunct(lexer, ';', "after the qualifier declaration");
    unit.statements.emplace_back(std::move(declaration));
}

QualifierList Parser::parseQualifierList(Lexer& lexer, uint32_t fileIndex) {
    QualifierList list;
    lexer.next(); // '['
    FileState none;
    for (;;) {
        Qualifier qualifier;
        qualifier.position = here(lexer, fileIndex);
        qualifier.name = expectName(lexer, "a qualifier name");
        if (lexer.isPunct('(')) {
            lexer.next();
            qualifier.hasValue = true;
            qualifier.value = parseValue(lexer, none, fileIndex);
            expectPunct(lexer, ')', "after the qualifier's value");
        } else if (lexer.isPunct('{')) {
            qualifier.hasValue = true;
            qualifier.value = parseValue(lexer, none, fileIndex);
        }
        if (lexer.isPunct(':')) {
            lexer.next();
            qualifier.flavorWords = parseFlavorWords(lexer, false);
        }
        list.push_back(std::move(qualifier));
        if (lexer.isPunct(']'))
            break;
        expectPunct(lexer, ',', "or ']' after a qualifier");
    }
    lexer.next();
    return list;
}

void Parser::parseClass(Lexer& lexer, Unit& unit, const FileState& state, uint32_t fileIndex,
                        QualifierList qualifiers, Position position) {
    ClassDeclaration declaration;
    declaration.nameSpace = state.nameSpace;
    declaration.classFlags = state.classFlags;
    declaration.qualifiers = std::move(qualifiers);
    declaration.position = position;
    lexer.next();
    declaration.name = expectName(lexer, "a class name");
    if (isWord(lexer, "as")) {
        lexer.next();
        if (lexer.kind() != Token::Alias)
            expected(lexer, "an alias ($name) after 'as'");
        declaration.alias = lexer.word();
        lexer.next();
    }
    if (lexer.isPunct(':')) {
        lexer.next();
        declaration.superclass = expectName(lexer, "a superclass name");
    }
    expectPunct(lexer, '{', ("to open class " + declaration.name).c_str());
    while (!lexer.isPunct('}')) {
        if (lexer.kind() == Token::End)
            expected(lexer, "'}' to close class " + declaration.name);
        parseFeature(lexer, declaration, fileIndex);
    }
    lexer.next();
    expectPunct(lexer, ';', ("after class " + declaration.name).c_str());
    unit.statements.emplace_back(std::move(declaration));
}

void Parser::parseFeature(Lexer& lexer, ClassDeclaration& owner, uint32_t fileIndex) {
    QualifierList qualifiers;
    if (lexer.isPunct('['))
        qualifiers = parseQualifierList(lexer, fileIndex);
    if (lexer.kind() != Token::Identifier)
        expected(lexer, "a property or method in class " + owner.name);
    // type name | Class REF name | void name(...)
    const Position typePosition = here(lexer, fileIndex);
    const std::string typeWord(lexer.word());
    lexer.next();
    Type type = Type::None;
    std::string referenceClass;
    if (isWord(lexer, "ref")) {
        type = Type::Reference;
        referenceClass = typeWord;
        lexer.next();
    } else if (const auto known = typeFromName(typeWord)) {
        type = *known;
    } else if (!equalsNoCase(typeWord, "void")) {
        lexer.failAt(typePosition.line, typePosition.column, "unknown type " + quoted(typeWord));
    }
    const Position namePosition = here(lexer, fileIndex);
    std::string name = expectName(lexer, "a property or method name");
    if (lexer.isPunct('(')) {
        Method method;
        method.qualifiers = std::move(qualifiers);
        method.name = std::move(name);
        method.returnType = type;
        method.returnClass = std::move(referenceClass);
        method.position = namePosition;
        lexer.next();
        while (!lexer.isPunct(')')) {
            Property parameter;
            if (lexer.isPunct('['))
                parameter.qualifiers = parseQualifierList(lexer, fileIndex);
            if (lexer.kind() != Token::Identifier)
                expected(lexer, "a parameter of method " + method.name);
            const Position parameterType = here(lexer, fileIndex);
            const std::string parameterWord(lexer.word());
            lexer.next();
            if (isWord(lexer, "ref")) {
                parameter.type = Type::Reference;
                parameter.referenceClass = parameterWord;
                lexer.next();
            } else if (const auto known = typeFromName(parameterWord)) {
                parameter.type = *known;
            } else {
                lexer.failAt(parameterType.line, parameterType.column,
                             "unknown type " + quoted(parameterWord));
            }
            parameter.position = here(lexer, fileIndex);
            parameter.name = expectName(lexer, "a parameter name");
            if (lexer.isPunct('[')) {
                lexer.next();
                parameter.isArray = true;
                if (lexer.kind() == Token::Integer) {
                    if (lexer.negative() || lexer.magnitude() == 0 ||
                        lexer.magnitude() > UINT32_MAX)
                        lexer.fail("invalid array size " + quoted(lexer.spelling()));
                    parameter.arraySize = static_cast<uint32_t>(lexer.magnitude());
                    lexer.next();
                }
                expectPunct(lexer, ']', "after the array size");
            }
            method.parameters.push_back(std::move(parameter));
            if (lexer.isPunct(')'))
                break;
            expectPunct(lexer, ',', "or ')' after a parameter");
        }
        lexer.next();
        expectPunct(lexer, ';', ("after method " + method.name).c_str());
        owner.methods.push_back(std::move(method));
        return;
    }
    if (type == Type::None)
        lexer.failAt(typePosition.line, typePosition.column,
                     "property " + quoted(name) + " cannot be void");
    Property property;
    property.qualifiers = std::move(qualifiers);
    property.name = std::move(name);
    property.type = type;
    property.referenceClass = std::move(referenceClass);
    property.position = namePosition;
    if (lexer.isPunct('[')) {
        lexer.next();
        property.isArray = true;
        if (lexer.kind() == Token::Integer) {
            if (lexer.negative() || lexer.magnitude() == 0 || lexer.magnitude() > UINT32_MAX)
                lexer.fail("invalid array size " + quoted(lexer.spelling()));
            property.arraySize = static_cast<uint32_t>(lexer.magnitude());
            lexer.next();
        }
        expectPunct(lexer, ']', "after the array size");
    }
    if (lexer.isPunct('=')) {
        lexer.next();
        property.hasValue = true;
        FileState none;
        property.value = parseValue(lexer, none, fileIndex);
    }
    expectPunct(lexer, ';', ("after property " + property.name).c_str());
    owner.properties.push_back(std::move(property));
}

InstanceDeclaration Parser::parseInstance(Lexer& lexer, const FileState& state, uint32_t fileIndex,
                                          QualifierList qualifiers, Position position) {
    InstanceDeclaration declaration;
    declaration.nameSpace = state.nameSpace;
    declaration.instanceFlags = state.instanceFlags;
    declaration.qualifiers = std::move(qualifiers);
    declaration.position = position;
    lexer.next();
    if (!isWord(lexer, "of"))
        expected(lexer, "'of' after 'instance'");
    lexer.next();
    declaration.className = expectName(lexer, "a class name after 'instance of'");
    if (isWord(lexer, "as")) {
        lexer.next();
        if (lexer.kind() != Token::Alias)
            expected(lexer, "an alias ($name) after 'as'");
        declaration.alias = lexer.word();
        lexer.next();
    }
    expectPunct(lexer, '{', ("to open the instance of " + declaration.className).c_str());
    while (!lexer.isPunct('}')) {
        Property property;
        if (lexer.isPunct('['))
            property.qualifiers = parseQualifierList(lexer, fileIndex);
        property.position = here(lexer, fileIndex);
        if (lexer.kind() != Token::Identifier)
            expected(lexer, "a property name or '}' in the instance of " + declaration.className);
        property.name = lexer.word();
        lexer.next();
        expectPunct(lexer, '=', ("after property " + property.name).c_str());
        property.hasValue = true;
        property.value = parseValue(lexer, state, fileIndex);
        expectPunct(lexer, ';', ("after the value of " + property.name).c_str());
        declaration.properties.push_back(std::move(property));
    }
    lexer.next();
    return declaration;
}

Value Parser::parseValue(Lexer& lexer, const FileState& state, uint32_t fileIndex) {
    if (!lexer.isPunct('{'))
        return parseScalar(lexer, state, fileIndex);
    Value array;
    array.kind = Value::Kind::Array;
    array.position = here(lexer, fileIndex);
    lexer.next();
    while (!lexer.isPunct('}')) {
        Value element = parseScalar(lexer, state, fileIndex);
        array.elements.push_back(std::move(element));
        if (lexer.isPunct('}'))
            break;
        expectPunct(lexer, ',', "or '}' between array elements");
    }
    lexer.next();
    return array;
}

Value Parser::parseScalar(Lexer& lexer, const FileState& state, uint32_t fileIndex) {
    Value value;
    value.position = here(lexer, fileIndex);
    switch (lexer.kind()) {
    case Token::String:
        value.kind = Value::Kind::String;
        value.text = std::move(lexer.text());
        lexer.next();
        while (lexer.kind() == Token::String) { // "a" "b" is "ab"
            value.text += lexer.text();
            lexer.next();
        }
        return value;
    case Token::Integer:
        value.kind = Value::Kind::Integer;
        value.negative = lexer.negative() && lexer.magnitude() != 0;
        value.magnitude = lexer.magnitude();
        break;
    case Token::Real:
        value.kind = Value::Kind::Real;
        value.real = lexer.real();
        break;
    case Token::Char:
        value.kind = Value::Kind::Char;
        value.character = lexer.character();
        break;
    case Token::Alias:
        value.kind = Value::Kind::Alias;
        value.text = lexer.word();
        break;
    case Token::Identifier:
        if (isWord(lexer, "true") || isWord(lexer, "false")) {
            value.kind = Value::Kind::Boolean;
            value.boolean = isWord(lexer, "true");
            break;
        }
        if (isWord(lexer, "null"))
            break;
        if (isWord(lexer, "instance")) {
            if (m_embedding >= kMaxEmbedding)
                lexer.fail("embedded instances nest more than " + std::to_string(kMaxEmbedding) +
                           " deep");
            value.kind = Value::Kind::Instance;
            ++m_embedding;
            try {
                value.instance = std::make_shared<InstanceDeclaration>(
                    parseInstance(lexer, state, fileIndex, QualifierList(), value.position));
            } catch (...) {
                --m_embedding;
                throw;
            }
            --m_embedding;
            return value;
        }
        [[fallthrough]];
    default:
        expected(lexer, "a value");
    }
    lexer.next();
    return value;
}

} // namespace mof
