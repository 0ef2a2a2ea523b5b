// The WQL grammar, in one place:
//
//   query      := select | related
//   select     := SELECT ( '*' | name { ',' name } ) FROM name
//                 [ WITHIN number ] [ WHERE condition ] [ WITHIN number ]
//   related    := ( ASSOCIATORS | REFERENCES ) OF '{' path '}' [ WHERE { keyword [ '=' value ] } ]
//   condition  := conjunct { OR conjunct }
//   conjunct   := negation { AND negation }
//   negation   := NOT negation | '(' condition ')' | test
//   test       := property operator literal | literal operator property
//               | property IS [ NOT ] NULL | property [ NOT ] LIKE string | property ISA class
//   property   := name { '.' name }
//   literal    := string | number | TRUE | FALSE | NULL
//
// Keywords and names compare without regard to case. Strings take single or double quotes and a
// backslash escapes the next character. The WHERE keywords of ASSOCIATORS OF are AssocClass,
// ResultClass, Role, ResultRole, RequiredAssocQualifier, RequiredQualifier, ClassDefsOnly,
// SchemaOnly and KeysOnly; REFERENCES OF takes ResultClass, Role, RequiredQualifier and the three
// flags. Values may be quoted or bare.
#include "wql.h"

#include "names.h"

#include <oleauto.h>

#include <cmath>
#include <cstdlib>
#include <cwchar>
#include <optional>

namespace zp::wbem::wql {

namespace {

int compareIgnoringCase(const std::wstring& a, const std::wstring& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const wchar_t x = foldChar(a[i]), y = foldChar(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// ---------------------------------------------------------------------------------------------
// Tokens

enum class TokenKind { End, Name, String, Number, Symbol, Braced };

struct Token {
    TokenKind kind = TokenKind::End;
    std::wstring text; // Name: as written; String: unescaped; Symbol: the operator; Braced: inside
    Literal number;    // Number
    size_t offset = 0;
};

bool isNameStart(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || c == L'_' || c >= 0x80;
}

bool isNameChar(wchar_t c) {
    return isNameStart(c) || (c >= L'0' && c <= L'9');
}

bool isDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

bool isHexDigit(wchar_t c) {
    return isDigit(c) || (foldChar(c) >= L'A' && foldChar(c) <= L'F');
}

struct SyntaxError {
    size_t offset;
    std::wstring what;
};

class Lexer {
public:
    explicit Lexer(const wchar_t* text) : m_text(text) {}

    // The next token. `braced` reads the text between '{' and its '}' as one token, since an
    // object path has its own grammar (quotes protect braces inside key values).
    Token next() {
        skipBlanks();
        Token token;
        token.offset = m_at;
        const wchar_t c = m_text[m_at];
        if (c == 0)
            return token;
        if (isNameStart(c)) {
            const size_t start = m_at;
            while (isNameChar(m_text[m_at]))
                ++m_at;
            token.kind = TokenKind::Name;
            token.text.assign(m_text + start, m_at - start);
            return token;
        }
        if (c == L'\'' || c == L'"')
            return quoted(token);
        if (isDigit(c) || ((c == L'-' || c == L'+' || c == L'.') && startsNumber()))
            return number(token);
        if (c == L'{')
            return braced(token);
        static const wchar_t* const twoUnit[] = {L"<>", L"!=", L"<=", L">="};
        for (const wchar_t* symbol : twoUnit) {
            if (c == symbol[0] && m_text[m_at + 1] == symbol[1]) {
                m_at += 2;
                token.kind = TokenKind::Symbol;
                token.text = symbol;
                return token;
            }
        }
        if (std::wcschr(L"=<>(),*.", c) != nullptr) {
            ++m_at;
            token.kind = TokenKind::Symbol;
            token.text.assign(1, c);
            return token;
        }
        throw SyntaxError{m_at, L"unexpected character"};
    }

private:
    void skipBlanks() {
        while (m_text[m_at] == L' ' || m_text[m_at] == L'\t' || m_text[m_at] == L'\r' ||
               m_text[m_at] == L'\n')
            ++m_at;
    }

    bool startsNumber() const {
        size_t at = m_at;
        if (m_text[at] == L'-' || m_text[at] == L'+')
            ++at;
        if (m_text[at] == L'.')
            ++at;
        return isDigit(m_text[at]);
    }

    Token& quoted(Token& token) {
        const wchar_t quote = m_text[m_at++];
        token.kind = TokenKind::String;
        for (;;) {
            wchar_t c = m_text[m_at];
            if (c == 0)
                throw SyntaxError{token.offset, L"unterminated string"};
            ++m_at;
            if (c == quote)
                return token;
            if (c == L'\\') {
                c = m_text[m_at];
                if (c == 0)
                    throw SyntaxError{token.offset, L"unterminated string"};
                ++m_at;
            }
            token.text += c;
        }
    }

    Token& number(Token& token) {
        const size_t start = m_at;
        Literal& value = token.number;
        if (m_text[m_at] == L'-' || m_text[m_at] == L'+')
            value.negative = m_text[m_at++] == L'-';
        token.kind = TokenKind::Number;
        if (m_text[m_at] == L'0' && (m_text[m_at + 1] == L'x' || m_text[m_at + 1] == L'X')) {
            m_at += 2;
            if (!isHexDigit(m_text[m_at]))
                throw SyntaxError{start, L"bad number"};
            value.kind = Literal::Kind::Integer;
            for (; isHexDigit(m_text[m_at]); ++m_at) {
                const wchar_t d = foldChar(m_text[m_at]);
                const unsigned digit = isDigit(d) ? d - L'0' : d - L'A' + 10;
                if (value.magnitude > (UINT64_MAX >> 4))
                    throw SyntaxError{start, L"number out of range"};
                value.magnitude = (value.magnitude << 4) | digit;
            }
        } else {
            bool real = false;
            const size_t digits = m_at;
            while (isDigit(m_text[m_at]))
                ++m_at;
            if (m_text[m_at] == L'.') {
                real = true;
                ++m_at;
                while (isDigit(m_text[m_at]))
                    ++m_at;
            }
            if (m_text[m_at] == L'e' || m_text[m_at] == L'E') {
                size_t at = m_at + 1;
                if (m_text[at] == L'-' || m_text[at] == L'+')
                    ++at;
                if (isDigit(m_text[at])) {
                    real = true;
                    m_at = at;
                    while (isDigit(m_text[m_at]))
                        ++m_at;
                }
            }
            const std::wstring text(m_text + digits, m_at - digits);
            if (real) {
                value.kind = Literal::Kind::Real;
                value.real = std::wcstod(text.c_str(), nullptr);
                if (value.negative)
                    value.real = -value.real;
            } else {
                value.kind = Literal::Kind::Integer;
                for (const wchar_t d : text) {
                    const uint64_t digit = static_cast<uint64_t>(d - L'0');
                    if (value.magnitude > (UINT64_MAX - digit) / 10)
                        throw SyntaxError{start, L"number out of range"};
                    value.magnitude = value.magnitude * 10 + digit;
                }
            }
        }
        if (value.kind == Literal::Kind::Integer && value.negative &&
            value.magnitude > uint64_t{1} << 63)
            throw SyntaxError{start, L"number out of range"};
        if (isNameChar(m_text[m_at]))
            throw SyntaxError{start, L"bad number"};
        return token;
    }

    Token& braced(Token& token) {
        const size_t start = ++m_at;
        wchar_t quote = 0;
        for (;; ++m_at) {
            const wchar_t c = m_text[m_at];
            if (c == 0)
                throw SyntaxError{token.offset, L"expected '}'"};
            if (quote != 0) {
                if (c == L'\\' && m_text[m_at + 1] != 0)
                    ++m_at;
                else if (c == quote)
                    quote = 0;
            } else if (c == L'"' || c == L'\'') {
                quote = c;
            } else if (c == L'}') {
                break;
            }
        }
        token.kind = TokenKind::Braced;
        token.text.assign(m_text + start, m_at - start);
        ++m_at;
        const size_t first = token.text.find_first_not_of(L" \t\r\n");
        const size_t last = token.text.find_last_not_of(L" \t\r\n");
        token.text = first == std::wstring::npos ? std::wstring()
                                                 : token.text.substr(first, last - first + 1);
        return token;
    }

    const wchar_t* m_text;
    size_t m_at = 0;
};

// ---------------------------------------------------------------------------------------------
// Parser

class Parser {
public:
    explicit Parser(const wchar_t* text) : m_lexer(text) { advance(); }

    void query(Query& query) {
        if (keyword(L"SELECT"))
            select(query);
        else if (keyword(L"ASSOCIATORS"))
            related(query, Query::Kind::Associators);
        else if (keyword(L"REFERENCES"))
            related(query, Query::Kind::References);
        else
            fail(L"expected SELECT, ASSOCIATORS or REFERENCES");
        if (m_token.kind != TokenKind::End)
            fail(L"unexpected text after the query");
    }

private:
    void advance() { m_token = m_lexer.next(); }

    [[noreturn]] void fail(const wchar_t* what) const { throw SyntaxError{m_token.offset, what}; }

    bool isKeyword(const wchar_t* word) const {
        return m_token.kind == TokenKind::Name && sameName(m_token.text, word);
    }

    bool keyword(const wchar_t* word) {
        if (!isKeyword(word))
            return false;
        advance();
        return true;
    }

    void expectKeyword(const wchar_t* word, const wchar_t* what) {
        if (!keyword(word))
            fail(what);
    }

    bool symbol(const wchar_t* text) {
        if (m_token.kind != TokenKind::Symbol || m_token.text != text)
            return false;
        advance();
        return true;
    }

    bool isReserved() const {
        static const wchar_t* const words[] = {
            L"SELECT", L"FROM", L"WHERE", L"AND",         L"OR",         L"NOT",
            L"IS",     L"NULL", L"ISA",   L"LIKE",        L"TRUE",       L"FALSE",
            L"WITHIN", L"OF",   L"GROUP", L"ASSOCIATORS", L"REFERENCES", L"HAVING"};
        for (const wchar_t* word : words)
            if (isKeyword(word))
                return true;
        return false;
    }

    std::wstring name(const wchar_t* what) {
        if (m_token.kind != TokenKind::Name || isReserved())
            fail(what);
        std::wstring text = std::move(m_token.text);
        advance();
        return text;
    }

    void select(Query& query) {
        query.kind = Query::Kind::Select;
        if (!symbol(L"*")) {
            do
                query.properties.push_back(name(L"expected a property name or '*'"));
            while (symbol(L","));
        }
        expectKeyword(L"FROM", L"expected FROM");
        query.className = name(L"expected a class name");
        within(query);
        if (keyword(L"WHERE"))
            query.where = condition();
        within(query);
    }

    void within(Query& query) {
        if (!keyword(L"WITHIN"))
            return;
        if (query.hasWithin)
            fail(L"WITHIN given twice");
        const Literal value = literalNumber();
        query.hasWithin = true;
        query.withinSeconds =
            value.kind == Literal::Kind::Real
                ? value.real
                : static_cast<double>(value.magnitude) * (value.negative ? -1 : 1);
        if (!(query.withinSeconds > 0) || !std::isfinite(query.withinSeconds))
            throw SyntaxError{m_lastOffset, L"WITHIN needs a positive number of seconds"};
    }

    Literal literalNumber() {
        if (m_token.kind != TokenKind::Number)
            fail(L"expected a number");
        m_lastOffset = m_token.offset;
        Literal value = m_token.number;
        advance();
        return value;
    }

    void related(Query& query, Query::Kind kind) {
        query.kind = kind;
        expectKeyword(L"OF", L"expected OF");
        if (m_token.kind != TokenKind::Braced)
            fail(L"expected '{' and an object path");
        if (m_token.text.empty())
            fail(L"empty object path");
        query.objectPath = std::move(m_token.text);
        advance();
        if (!keyword(L"WHERE"))
            return;
        const bool associators = kind == Query::Kind::Associators;
        if (m_token.kind == TokenKind::End)
            fail(L"expected a keyword after WHERE");
        while (m_token.kind != TokenKind::End) {
            if (m_token.kind != TokenKind::Name)
                fail(L"expected a keyword");
            struct Valued {
                const wchar_t* word;
                std::wstring Query::*field;
                bool associatorsOnly;
            };
            static const Valued valued[] = {
                {L"AssocClass", &Query::assocClass, true},
                {L"ResultClass", &Query::resultClass, false},
                {L"Role", &Query::role, false},
                {L"ResultRole", &Query::resultRole, true},
                {L"RequiredAssocQualifier", &Query::requiredAssocQualifier, true},
                {L"RequiredQualifier", &Query::requiredQualifier, false},
            };
            struct Flag {
                const wchar_t* word;
                bool Query::*field;
            };
            static const Flag flags[] = {{L"ClassDefsOnly", &Query::classDefsOnly},
                                         {L"SchemaOnly", &Query::schemaOnly},
                                         {L"KeysOnly", &Query::keysOnly}};
            bool known = false;
            for (const Valued& entry : valued) {
                if (!isKeyword(entry.word))
                    continue;
                if (entry.associatorsOnly && !associators)
                    fail(L"keyword not allowed in REFERENCES OF");
                if (!(query.*entry.field).empty())
                    fail(L"keyword given twice");
                advance();
                if (!symbol(L"="))
                    fail(L"expected '='");
                if (m_token.kind != TokenKind::Name && m_token.kind != TokenKind::String)
                    fail(L"expected a value");
                if (m_token.text.empty())
                    fail(L"empty value");
                query.*entry.field = std::move(m_token.text);
                advance();
                known = true;
                break;
            }
            for (const Flag& entry : flags) {
                if (known || !isKeyword(entry.word))
                    continue;
                if (query.*entry.field)
                    fail(L"keyword given twice");
                query.*entry.field = true;
                advance();
                known = true;
            }
            if (!known)
                fail(L"unknown keyword");
        }
        if (query.classDefsOnly && query.schemaOnly)
            throw SyntaxError{0, L"ClassDefsOnly and SchemaOnly exclude each other"};
    }

    std::unique_ptr<Condition> condition() {
        std::unique_ptr<Condition> left = conjunct();
        while (keyword(L"OR"))
            left = joined(Condition::Kind::Or, std::move(left), conjunct());
        return left;
    }

    std::unique_ptr<Condition> conjunct() {
        std::unique_ptr<Condition> left = negation();
        while (keyword(L"AND"))
            left = joined(Condition::Kind::And, std::move(left), negation());
        return left;
    }

    static std::unique_ptr<Condition> joined(Condition::Kind kind, std::unique_ptr<Condition> a,
                                             std::unique_ptr<Condition> b) {
        auto node = std::make_unique<Condition>();
        node->kind = kind;
        node->left = std::move(a);
        node->right = std::move(b);
        return node;
    }

    std::unique_ptr<Condition> negated(std::unique_ptr<Condition> inner) {
        auto node = std::make_unique<Condition>();
        node->kind = Condition::Kind::Not;
        node->left = std::move(inner);
        return node;
    }

    std::unique_ptr<Condition> negation() {
        if (++m_depth > 200)
            fail(L"condition nested too deeply");
        std::unique_ptr<Condition> result;
        if (keyword(L"NOT")) {
            result = negated(negation());
        } else if (symbol(L"(")) {
            result = condition();
            if (!symbol(L")"))
                fail(L"expected ')'");
        } else {
            result = test();
        }
        --m_depth;
        return result;
    }

    std::optional<Operator> comparison() {
        static const struct {
            const wchar_t* text;
            Operator op;
        } operators[] = {{L"=", Operator::Equal},          {L"<>", Operator::NotEqual},
                         {L"!=", Operator::NotEqual},      {L"<", Operator::Less},
                         {L">", Operator::Greater},        {L"<=", Operator::LessOrEqual},
                         {L">=", Operator::GreaterOrEqual}};
        for (const auto& entry : operators)
            if (symbol(entry.text))
                return entry.op;
        return std::nullopt;
    }

    static Operator mirrored(Operator op) {
        switch (op) {
        case Operator::Less:
            return Operator::Greater;
        case Operator::Greater:
            return Operator::Less;
        case Operator::LessOrEqual:
            return Operator::GreaterOrEqual;
        case Operator::GreaterOrEqual:
            return Operator::LessOrEqual;
        default:
            return op;
        }
    }

    bool atLiteral() const {
        return m_token.kind == TokenKind::String || m_token.kind == TokenKind::Number ||
               isKeyword(L"TRUE") || isKeyword(L"FALSE") || isKeyword(L"NULL");
    }

    Literal literal() {
        Literal value;
        if (m_token.kind == TokenKind::String) {
            value.kind = Literal::Kind::String;
            value.text = std::move(m_token.text);
        } else if (m_token.kind == TokenKind::Number) {
            value = m_token.number;
        } else if (isKeyword(L"TRUE") || isKeyword(L"FALSE")) {
            value.kind = Literal::Kind::Boolean;
            value.boolean = isKeyword(L"TRUE");
        } else if (isKeyword(L"NULL")) {
            value.kind = Literal::Kind::Null;
        } else {
            fail(L"expected a value");
        }
        advance();
        return value;
    }

    std::vector<std::wstring> property() {
        std::vector<std::wstring> path;
        path.push_back(name(L"expected a property name"));
        while (symbol(L"."))
            path.push_back(name(L"expected a property name after '.'"));
        return path;
    }

    std::unique_ptr<Condition> test() {
        auto node = std::make_unique<Condition>();
        if (atLiteral()) {
            node->literal = literal();
            const std::optional<Operator> op = comparison();
            if (!op)
                fail(L"expected a comparison operator");
            node->op = mirrored(*op);
            node->property = property();
            return node;
        }
        node->property = property();
        if (keyword(L"IS")) {
            node->kind = keyword(L"NOT") ? Condition::Kind::IsNotNull : Condition::Kind::IsNull;
            expectKeyword(L"NULL", L"expected NULL");
            return node;
        }
        if (keyword(L"ISA")) {
            node->op = Operator::Isa;
            node->literal.kind = Literal::Kind::String;
            if (m_token.kind == TokenKind::String)
                node->literal.text = std::move(m_token.text);
            else if (m_token.kind == TokenKind::Name && !isReserved())
                node->literal.text = std::move(m_token.text);
            else
                fail(L"expected a class name after ISA");
            advance();
            return node;
        }
        const bool notLike = keyword(L"NOT");
        if (keyword(L"LIKE")) {
            node->op = Operator::Like;
            if (m_token.kind != TokenKind::String)
                fail(L"expected a pattern string after LIKE");
            node->literal = literal();
            return notLike ? negated(std::move(node)) : std::move(node);
        }
        if (notLike)
            fail(L"expected LIKE after NOT");
        const std::optional<Operator> op = comparison();
        if (!op)
            fail(L"expected a comparison operator");
        node->op = *op;
        node->literal = literal();
        return node;
    }

    Lexer m_lexer;
    Token m_token;
    size_t m_lastOffset = 0;
    int m_depth = 0;
};

// ---------------------------------------------------------------------------------------------
// Evaluation

enum class Truth { False, True, Unknown };

Truth negate(Truth t) {
    return t == Truth::Unknown ? t : (t == Truth::True ? Truth::False : Truth::True);
}

// A VARIANT that clears itself.
struct Value {
    VARIANT v;
    CIMTYPE type = CIM_EMPTY;
    Value() { VariantInit(&v); }
    ~Value() { VariantClear(&v); }
    Value(const Value&) = delete;
    Value& operator=(const Value&) = delete;
};

// Reads the property at `path` of `object` into `value`. False when a step is missing or is not
// an embedded object.
bool read(IWbemClassObject* object, const std::vector<std::wstring>& path, Value& value) {
    IWbemClassObject* current = object;
    current->AddRef();
    bool found = false;
    for (size_t i = 0; i < path.size(); ++i) {
        VariantClear(&value.v);
        if (FAILED(current->Get(path[i].c_str(), 0, &value.v, &value.type, nullptr)))
            break;
        if (i + 1 == path.size()) {
            found = true;
            break;
        }
        IWbemClassObject* inner = nullptr;
        if (V_VT(&value.v) != VT_UNKNOWN || V_UNKNOWN(&value.v) == nullptr ||
            FAILED(V_UNKNOWN(&value.v)->QueryInterface(IID_IWbemClassObject,
                                                       reinterpret_cast<void**>(&inner))))
            break;
        current->Release();
        current = inner;
    }
    current->Release();
    return found;
}

bool isNull(const Value& value) {
    return V_VT(&value.v) == VT_NULL || V_VT(&value.v) == VT_EMPTY;
}

// A number for comparison: whole numbers exactly (sign and magnitude cover both 64-bit
// ranges), or a real.
struct Number {
    bool real = false;
    bool negative = false;
    uint64_t magnitude = 0;
    double value = 0;

    void setWhole(int64_t v) {
        negative = v < 0;
        magnitude = negative ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    }
    void setWhole(uint64_t v) { magnitude = v; }
    double asReal() const {
        if (real)
            return value;
        const double m = static_cast<double>(magnitude);
        return negative ? -m : m;
    }
};

int compareWhole(const Number& a, const Number& b) {
    const bool aNeg = a.negative && a.magnitude != 0, bNeg = b.negative && b.magnitude != 0;
    if (aNeg != bNeg)
        return aNeg ? -1 : 1;
    const int order = a.magnitude < b.magnitude ? -1 : (a.magnitude > b.magnitude ? 1 : 0);
    return aNeg ? -order : order;
}

std::optional<Number> numberFromText(const std::wstring& text) {
    Lexer lexer(text.c_str());
    try {
        const Token token = lexer.next();
        if (token.kind != TokenKind::Number || lexer.next().kind != TokenKind::End)
            return std::nullopt;
        Number n;
        if (token.number.kind == Literal::Kind::Real) {
            n.real = true;
            n.value = token.number.real;
        } else {
            n.negative = token.number.negative;
            n.magnitude = token.number.magnitude;
        }
        return n;
    } catch (const SyntaxError&) {
        return std::nullopt;
    }
}

std::optional<Number> numberOf(const Literal& literal) {
    Number n;
    switch (literal.kind) {
    case Literal::Kind::Integer:
        n.negative = literal.negative;
        n.magnitude = literal.magnitude;
        return n;
    case Literal::Kind::Real:
        n.real = true;
        n.value = literal.real;
        return n;
    case Literal::Kind::Boolean:
        n.magnitude = literal.boolean ? 1 : 0;
        return n;
    case Literal::Kind::String:
        return numberFromText(literal.text);
    default:
        return std::nullopt;
    }
}

// The number a property holds, read by its CIM type: WMI carries unsigned 32-bit values in VT_I4,
// 64-bit ones as text, and char16 in VT_I2.
std::optional<Number> numberOf(const Value& value) {
    const VARIANT& v = value.v;
    const CIMTYPE type = value.type & ~CIM_FLAG_ARRAY;
    Number n;
    switch (V_VT(&v)) {
    case VT_BOOL:
        n.magnitude = V_BOOL(&v) ? 1 : 0;
        return n;
    case VT_UI1:
        n.setWhole(uint64_t{V_UI1(&v)});
        return n;
    case VT_I1:
        n.setWhole(int64_t{V_I1(&v)});
        return n;
    case VT_I2:
        if (type == CIM_CHAR16 || type == CIM_UINT16)
            n.setWhole(uint64_t{static_cast<uint16_t>(V_I2(&v))});
        else
            n.setWhole(int64_t{V_I2(&v)});
        return n;
    case VT_UI2:
        n.setWhole(uint64_t{V_UI2(&v)});
        return n;
    case VT_I4:
        if (type == CIM_UINT32)
            n.setWhole(uint64_t{static_cast<uint32_t>(V_I4(&v))});
        else
            n.setWhole(int64_t{V_I4(&v)});
        return n;
    case VT_UI4:
        n.setWhole(uint64_t{V_UI4(&v)});
        return n;
    case VT_INT:
        n.setWhole(int64_t{V_INT(&v)});
        return n;
    case VT_UINT:
        n.setWhole(uint64_t{V_UINT(&v)});
        return n;
    case VT_I8:
        n.setWhole(static_cast<int64_t>(V_I8(&v)));
        return n;
    case VT_UI8:
        n.setWhole(static_cast<uint64_t>(V_UI8(&v)));
        return n;
    case VT_R4:
        n.real = true;
        n.value = V_R4(&v);
        return n;
    case VT_R8:
        n.real = true;
        n.value = V_R8(&v);
        return n;
    case VT_BSTR:
        return V_BSTR(&v) ? numberFromText(std::wstring(V_BSTR(&v), SysStringLen(V_BSTR(&v))))
                          : std::nullopt;
    default:
        return std::nullopt;
    }
}

Truth ordered(int order, Operator op) {
    bool result = false;
    switch (op) {
    case Operator::Equal:
        result = order == 0;
        break;
    case Operator::NotEqual:
        result = order != 0;
        break;
    case Operator::Less:
        result = order < 0;
        break;
    case Operator::Greater:
        result = order > 0;
        break;
    case Operator::LessOrEqual:
        result = order <= 0;
        break;
    case Operator::GreaterOrEqual:
        result = order >= 0;
        break;
    default:
        return Truth::Unknown;
    }
    return result ? Truth::True : Truth::False;
}

Truth compareNumbers(const Number& a, const Number& b, Operator op) {
    if (!a.real && !b.real)
        return ordered(compareWhole(a, b), op);
    const double x = a.asReal(), y = b.asReal();
    if (std::isnan(x) || std::isnan(y))
        return Truth::Unknown;
    return ordered(x < y ? -1 : (x > y ? 1 : 0), op);
}

bool holdsText(const Value& value) {
    const CIMTYPE type = value.type;
    return V_VT(&value.v) == VT_BSTR &&
           (type == CIM_STRING || type == CIM_DATETIME || type == CIM_REFERENCE);
}

std::wstring textOf(const Value& value) {
    const BSTR text = V_BSTR(&value.v);
    return text ? std::wstring(text, SysStringLen(text)) : std::wstring();
}

// Whether `object` is of class `name` or derives from it.
Truth isa(IWbemClassObject* object, const std::wstring& name) {
    Value cls;
    if (SUCCEEDED(object->Get(L"__CLASS", 0, &cls.v, nullptr, nullptr)) &&
        V_VT(&cls.v) == VT_BSTR && compareIgnoringCase(textOf(cls), name) == 0)
        return Truth::True;
    return object->InheritsFrom(name.c_str()) == WBEM_S_NO_ERROR ? Truth::True : Truth::False;
}

Truth evaluateIsa(const Condition& test, IWbemClassObject* object) {
    if (test.property.size() == 1 && sameName(test.property[0], L"__THIS"))
        return isa(object, test.literal.text);
    Value value;
    if (!read(object, test.property, value) || V_VT(&value.v) != VT_UNKNOWN ||
        V_UNKNOWN(&value.v) == nullptr)
        return Truth::Unknown;
    IWbemClassObject* inner = nullptr;
    if (FAILED(V_UNKNOWN(&value.v)->QueryInterface(IID_IWbemClassObject,
                                                   reinterpret_cast<void**>(&inner))))
        return Truth::Unknown;
    const Truth result = isa(inner, test.literal.text);
    inner->Release();
    return result;
}

Truth evaluateCompare(const Condition& test, IWbemClassObject* object) {
    if (test.op == Operator::Isa)
        return evaluateIsa(test, object);
    Value value;
    const bool found = read(object, test.property, value);
    const Literal& literal = test.literal;
    if (literal.kind == Literal::Kind::Null) {
        // `= NULL` and `<> NULL` read as IS NULL and IS NOT NULL.
        if (!found || (test.op != Operator::Equal && test.op != Operator::NotEqual))
            return Truth::Unknown;
        return isNull(value) == (test.op == Operator::Equal) ? Truth::True : Truth::False;
    }
    if (!found || isNull(value) || (value.type & CIM_FLAG_ARRAY) != 0)
        return Truth::Unknown;
    if (test.op == Operator::Like) {
        if (!holdsText(value))
            return Truth::Unknown;
        return like(textOf(value), literal.text) ? Truth::True : Truth::False;
    }
    if (holdsText(value) && literal.kind == Literal::Kind::String)
        return ordered(compareIgnoringCase(textOf(value), literal.text), test.op);
    const std::optional<Number> a = numberOf(value);
    const std::optional<Number> b = numberOf(literal);
    if (!a || !b)
        return Truth::Unknown;
    return compareNumbers(*a, *b, test.op);
}

Truth evaluate(const Condition& condition, IWbemClassObject* object) {
    switch (condition.kind) {
    case Condition::Kind::And: {
        const Truth a = evaluate(*condition.left, object);
        if (a == Truth::False)
            return a;
        const Truth b = evaluate(*condition.right, object);
        return b == Truth::False ? b : (a == Truth::True && b == Truth::True ? b : Truth::Unknown);
    }
    case Condition::Kind::Or: {
        const Truth a = evaluate(*condition.left, object);
        if (a == Truth::True)
            return a;
        const Truth b = evaluate(*condition.right, object);
        return b == Truth::True ? b : (a == Truth::False && b == Truth::False ? b : Truth::Unknown);
    }
    case Condition::Kind::Not:
        return negate(evaluate(*condition.left, object));
    case Condition::Kind::IsNull:
    case Condition::Kind::IsNotNull: {
        Value value;
        if (!read(object, condition.property, value))
            return Truth::Unknown;
        return isNull(value) == (condition.kind == Condition::Kind::IsNull) ? Truth::True
                                                                            : Truth::False;
    }
    case Condition::Kind::Compare:
        return evaluateCompare(condition, object);
    }
    return Truth::Unknown;
}

// Matches one bracketed set at pattern[p] (just past '['); sets `end` past its ']'. A '[' without
// its ']' is an ordinary character.
std::optional<bool> inSet(const std::wstring& pattern, size_t p, wchar_t c, size_t& end) {
    const bool complement = p < pattern.size() && pattern[p] == L'^';
    if (complement)
        ++p;
    bool hit = false;
    bool first = true;
    for (; p < pattern.size(); ++p) {
        if (pattern[p] == L']' && !first) {
            end = p + 1;
            return hit != complement;
        }
        first = false;
        wchar_t low = foldChar(pattern[p]), high = low;
        if (p + 2 < pattern.size() && pattern[p + 1] == L'-' && pattern[p + 2] != L']') {
            high = foldChar(pattern[p + 2]);
            p += 2;
        }
        if (foldChar(c) >= low && foldChar(c) <= high)
            hit = true;
    }
    return std::nullopt;
}

} // namespace

HRESULT parse(const wchar_t* text, Query& query, std::wstring& error) {
    if (text == nullptr) {
        error = L"no query";
        return WBEM_E_INVALID_QUERY;
    }
    try {
        Query parsed;
        Parser(text).query(parsed);
        query = std::move(parsed);
        return WBEM_S_NO_ERROR;
    } catch (const SyntaxError& e) {
        error = L"column " + std::to_wstring(e.offset + 1) + L": " + e.what;
        return WBEM_E_INVALID_QUERY;
    }
}

bool matches(const Condition& condition, IWbemClassObject* object) {
    return evaluate(condition, object) == Truth::True;
}

bool like(const std::wstring& text, const std::wstring& pattern) {
    // Greedy matching with one back-tracking point: the last '%' seen.
    size_t t = 0, p = 0;
    size_t starP = std::wstring::npos, starT = 0;
    while (t < text.size()) {
        bool step = false;
        size_t next = p + 1;
        if (p < pattern.size()) {
            const wchar_t c = pattern[p];
            if (c == L'%') {
                starP = p++;
                starT = t;
                continue;
            }
            if (c == L'_') {
                step = true;
            } else if (c == L'[') {
                size_t end = 0;
                const std::optional<bool> hit = inSet(pattern, p + 1, text[t], end);
                if (hit) {
                    step = *hit;
                    next = end;
                } else {
                    step = text[t] == L'[';
                }
            } else {
                step = foldChar(c) == foldChar(text[t]);
            }
        }
        if (step) {
            ++t;
            p = next;
        } else if (starP != std::wstring::npos) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'%')
        ++p;
    return p == pattern.size();
}

} // namespace zp::wbem::wql
