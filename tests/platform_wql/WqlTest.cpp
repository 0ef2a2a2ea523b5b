// The WQL grammar and the evaluation of conditions, below the services interface.
#include "wql.h"

#include <oleauto.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using namespace zp::wbem::wql;

namespace {

Query parsed(const wchar_t* text) {
    Query query;
    std::wstring error;
    EXPECT_EQ(parse(text, query, error), WBEM_S_NO_ERROR) << text;
    return query;
}

std::wstring refused(const wchar_t* text) {
    Query query;
    query.className = L"untouched";
    std::wstring error;
    EXPECT_EQ(parse(text, query, error), WBEM_E_INVALID_QUERY) << text;
    EXPECT_EQ(query.className, L"untouched");
    return error;
}

// An object that answers Get, __CLASS and InheritsFrom: enough for conditions.
class FakeObject : public IWbemClassObject {
public:
    FakeObject(std::wstring cls, std::vector<std::wstring> ancestors = {})
        : m_class(std::move(cls)), m_ancestors(std::move(ancestors)) {}
    ~FakeObject() {
        for (auto& entry : m_values)
            VariantClear(&entry.second.first);
    }

    void set(const std::wstring& name, CIMTYPE type, const VARIANT& value) {
        VARIANT copy;
        VariantInit(&copy);
        VariantCopy(&copy, const_cast<VARIANT*>(&value));
        m_values[upper(name)] = {copy, type};
    }
    void setText(const std::wstring& name, const wchar_t* text, CIMTYPE type = CIM_STRING) {
        VARIANT v;
        V_VT(&v) = VT_BSTR;
        V_BSTR(&v) = SysAllocString(text);
        set(name, type, v);
        VariantClear(&v);
    }
    void setI4(const std::wstring& name, LONG value, CIMTYPE type = CIM_SINT32) {
        VARIANT v;
        V_VT(&v) = VT_I4;
        V_I4(&v) = value;
        set(name, type, v);
    }
    void setNull(const std::wstring& name, CIMTYPE type) {
        VARIANT v;
        V_VT(&v) = VT_NULL;
        set(name, type, v);
    }
    void setObject(const std::wstring& name, IWbemClassObject* object) {
        VARIANT v;
        V_VT(&v) = VT_UNKNOWN;
        V_UNKNOWN(&v) = object;
        set(name, CIM_OBJECT, v);
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IWbemClassObject)) {
            *out = static_cast<IWbemClassObject*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }

    HRESULT STDMETHODCALLTYPE Get(LPCWSTR name, LONG, VARIANT* value, CIMTYPE* type,
                                  LONG*) override {
        if (upper(name) == L"__CLASS") {
            V_VT(value) = VT_BSTR;
            V_BSTR(value) = SysAllocString(m_class.c_str());
            if (type)
                *type = CIM_STRING;
            return S_OK;
        }
        const auto found = m_values.find(upper(name));
        if (found == m_values.end())
            return WBEM_E_NOT_FOUND;
        VariantInit(value);
        VariantCopy(value, &found->second.first);
        if (type)
            *type = found->second.second;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE InheritsFrom(LPCWSTR ancestor) override {
        for (const auto& a : m_ancestors)
            if (upper(a) == upper(ancestor))
                return WBEM_S_NO_ERROR;
        return WBEM_S_FALSE;
    }

    HRESULT STDMETHODCALLTYPE GetQualifierSet(IWbemQualifierSet**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Put(LPCWSTR, LONG, VARIANT*, CIMTYPE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Delete(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNames(LPCWSTR, LONG, VARIANT*, SAFEARRAY**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE BeginEnumeration(LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Next(LONG, BSTR*, VARIANT*, CIMTYPE*, LONG*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE EndEnumeration() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPropertyQualifierSet(LPCWSTR, IWbemQualifierSet**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Clone(IWbemClassObject**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetObjectText(LONG, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SpawnDerivedClass(LONG, IWbemClassObject**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SpawnInstance(LONG, IWbemClassObject**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CompareTo(LONG, IWbemClassObject*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPropertyOrigin(LPCWSTR, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMethod(LPCWSTR, LONG, IWbemClassObject**,
                                        IWbemClassObject**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE PutMethod(LPCWSTR, LONG, IWbemClassObject*,
                                        IWbemClassObject*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE DeleteMethod(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE BeginMethodEnumeration(LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE NextMethod(LONG, BSTR*, IWbemClassObject**,
                                         IWbemClassObject**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE EndMethodEnumeration() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMethodQualifierSet(LPCWSTR, IWbemQualifierSet**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetMethodOrigin(LPCWSTR, BSTR*) override { return E_NOTIMPL; }

    ULONG references = 1;

private:
    static std::wstring upper(std::wstring s) {
        for (auto& c : s)
            if (c >= L'a' && c <= L'z')
                c = static_cast<wchar_t>(c - 32);
        return s;
    }
    std::wstring m_class;
    std::vector<std::wstring> m_ancestors;
    std::map<std::wstring, std::pair<VARIANT, CIMTYPE>> m_values;
};

bool holds(const wchar_t* where, IWbemClassObject* object) {
    const std::wstring text = std::wstring(L"SELECT * FROM C WHERE ") + where;
    const Query query = parsed(text.c_str());
    return query.where && matches(*query.where, object);
}

} // namespace

TEST(WqlSelect, TakesStarOrAPropertyListAndAnyLetterCase) {
    Query q = parsed(L"select * from Win32_Service");
    EXPECT_EQ(q.kind, Query::Kind::Select);
    EXPECT_TRUE(q.properties.empty());
    EXPECT_EQ(q.className, L"Win32_Service");
    EXPECT_EQ(q.where, nullptr);

    q = parsed(L"SELECT Name, __PATH ,State FROM\tX");
    EXPECT_EQ(q.properties, (std::vector<std::wstring>{L"Name", L"__PATH", L"State"}));
}

TEST(WqlSelect, ReadsEventQueriesWithWithinBeforeOrAfterWhere) {
    Query q = parsed(L"SELECT * FROM __InstanceCreationEvent WITHIN 5 WHERE TargetInstance ISA "
                     L"'Win32_Process'");
    EXPECT_TRUE(q.hasWithin);
    EXPECT_DOUBLE_EQ(q.withinSeconds, 5);
    ASSERT_NE(q.where, nullptr);
    EXPECT_EQ(q.where->op, Operator::Isa);
    EXPECT_EQ(q.where->property, (std::vector<std::wstring>{L"TargetInstance"}));
    EXPECT_EQ(q.where->literal.text, L"Win32_Process");

    q = parsed(L"SELECT * FROM E WHERE A = 1 WITHIN 0.5");
    EXPECT_DOUBLE_EQ(q.withinSeconds, 0.5);

    EXPECT_NE(refused(L"SELECT * FROM E WITHIN 0").find(L"positive"), std::wstring::npos);
    refused(L"SELECT * FROM E WITHIN 1 WHERE A = 1 WITHIN 2");
}

TEST(WqlSelect, ReadsLiteralsOfEveryKind) {
    const Query q =
        parsed(L"SELECT * FROM C WHERE a = 'it\\'s' OR b = \"say \\\"hi\\\"\" OR "
               L"c = -12 OR d = 0x1F OR e = 2.5e3 OR f = TRUE OR g = 18446744073709551615");
    std::vector<const Condition*> tests;
    std::vector<const Condition*> stack{q.where.get()};
    while (!stack.empty()) {
        const Condition* c = stack.back();
        stack.pop_back();
        if (c->kind == Condition::Kind::Or) {
            stack.push_back(c->right.get());
            stack.push_back(c->left.get());
        } else {
            tests.push_back(c);
        }
    }
    ASSERT_EQ(tests.size(), 7u);
    EXPECT_EQ(tests[0]->literal.text, L"it's");
    EXPECT_EQ(tests[1]->literal.text, L"say \"hi\"");
    EXPECT_TRUE(tests[2]->literal.negative);
    EXPECT_EQ(tests[2]->literal.magnitude, 12u);
    EXPECT_EQ(tests[3]->literal.magnitude, 31u);
    EXPECT_EQ(tests[4]->literal.kind, Literal::Kind::Real);
    EXPECT_DOUBLE_EQ(tests[4]->literal.real, 2500);
    EXPECT_EQ(tests[5]->literal.kind, Literal::Kind::Boolean);
    EXPECT_EQ(tests[6]->literal.magnitude, UINT64_MAX);
}

TEST(WqlSelect, RefusesMalformedTextWithItsColumn) {
    EXPECT_EQ(refused(L"SELECT * Win32_Service"), L"column 10: expected FROM");
    EXPECT_EQ(refused(L""), L"column 1: expected SELECT, ASSOCIATORS or REFERENCES");
    EXPECT_EQ(refused(L"SELECT * FROM C WHERE"), L"column 22: expected a property name");
    EXPECT_EQ(refused(L"SELECT * FROM C WHERE a = 'open"), L"column 27: unterminated string");
    refused(L"SELECT * FROM C WHERE a = 18446744073709551616");
    refused(L"SELECT * FROM C WHERE a = -9223372036854775809");
    refused(L"SELECT * FROM C WHERE a = 12abc");
    refused(L"SELECT * FROM C WHERE (a = 1");
    refused(L"SELECT * FROM C WHERE a = 1 b = 2");
    refused(L"SELECT * FROM C WHERE a");
    refused(L"SELECT * FROM C WHERE a = b");
    refused(L"SELECT * FROM C WHERE a IS 1");
    refused(L"SELECT * FROM C WHERE a NOT = 1");
    refused(L"SELECT * FROM C WHERE a LIKE 5");
    refused(L"SELECT , FROM C");
    refused(L"SELECT * FROM WHERE");
    refused(L"SELECT * FROM C extra");
    refused(L"SELECT * FROM C WHERE a = 1 #");
    std::wstring deep = L"SELECT * FROM C WHERE ";
    for (int i = 0; i < 100000; ++i)
        deep += L"NOT ";
    deep += L"a = 1";
    EXPECT_NE(refused(deep.c_str()).find(L"nested too deeply"), std::wstring::npos);

    Query query;
    std::wstring error;
    EXPECT_EQ(parse(nullptr, query, error), WBEM_E_INVALID_QUERY);
}

TEST(WqlRelated, ReadsEveryKeywordQuotedOrBare) {
    Query q = parsed(L"ASSOCIATORS OF {Win32_LogicalDisk.DeviceID=\"C:\"} WHERE AssocClass = "
                     L"Win32_SystemDevices Role = GroupComponent");
    EXPECT_EQ(q.kind, Query::Kind::Associators);
    EXPECT_EQ(q.objectPath, L"Win32_LogicalDisk.DeviceID=\"C:\"");
    EXPECT_EQ(q.assocClass, L"Win32_SystemDevices");
    EXPECT_EQ(q.role, L"GroupComponent");

    q = parsed(L"associators of { A.k=\"}{\" } where resultclass='B' resultrole = \"Dependent\" "
               L"requiredassocqualifier = Association RequiredQualifier = Key ClassDefsOnly");
    EXPECT_EQ(q.objectPath, L"A.k=\"}{\"");
    EXPECT_EQ(q.resultClass, L"B");
    EXPECT_EQ(q.resultRole, L"Dependent");
    EXPECT_EQ(q.requiredAssocQualifier, L"Association");
    EXPECT_EQ(q.requiredQualifier, L"Key");
    EXPECT_TRUE(q.classDefsOnly);

    q = parsed(L"REFERENCES OF {A=@} WHERE ResultClass = R Role = Antecedent KeysOnly SchemaOnly");
    EXPECT_EQ(q.kind, Query::Kind::References);
    EXPECT_EQ(q.objectPath, L"A=@");
    EXPECT_TRUE(q.keysOnly);
    EXPECT_TRUE(q.schemaOnly);
}

TEST(WqlRelated, RefusesWhatItsKeywordsDoNotAllow) {
    refused(L"REFERENCES OF {A=@} WHERE AssocClass = X");
    refused(L"REFERENCES OF {A=@} WHERE ResultRole = X");
    refused(L"ASSOCIATORS OF {A=@} WHERE Role = X Role = Y");
    refused(L"ASSOCIATORS OF {A=@} WHERE Colour = Red");
    refused(L"ASSOCIATORS OF {A=@} WHERE Role");
    refused(L"ASSOCIATORS OF {A=@} WHERE Role = ''");
    refused(L"ASSOCIATORS OF {A=@} WHERE");
    refused(L"ASSOCIATORS OF {A=@} WHERE ClassDefsOnly SchemaOnly");
    refused(L"ASSOCIATORS OF {} ");
    refused(L"ASSOCIATORS OF {A=\"open}");
    refused(L"ASSOCIATORS {A=@}");
}

TEST(WqlLike, MatchesRunsSingleCharactersAndSets) {
    EXPECT_TRUE(like(L"Win32_Service", L"win32[_]%"));
    EXPECT_FALSE(like(L"Win32Service", L"win32[_]%"));
    EXPECT_FALSE(like(L"Win32_Service", L"Win32"));
    EXPECT_TRUE(like(L"Win32_Service", L"%serv%"));
    EXPECT_TRUE(like(L"", L"%"));
    EXPECT_FALSE(like(L"", L"_"));
    EXPECT_TRUE(like(L"abc", L"a_c"));
    EXPECT_FALSE(like(L"ac", L"a_c"));
    EXPECT_TRUE(like(L"b", L"[a-c]"));
    EXPECT_TRUE(like(L"B", L"[a-c]"));
    EXPECT_FALSE(like(L"d", L"[a-c]"));
    EXPECT_TRUE(like(L"d", L"[^a-c]"));
    EXPECT_FALSE(like(L"a", L"[^a-c]"));
    EXPECT_TRUE(like(L"x]", L"[x]]"));
    EXPECT_TRUE(like(L"50%", L"50[%]"));
    EXPECT_FALSE(like(L"500", L"50[%]"));
    EXPECT_TRUE(like(L"[a", L"[a")); // an open set is an ordinary character
    EXPECT_TRUE(like(L"aaaaaaaaaaaaaaaaaaaaaaaaaaaaab", L"%a%a%a%a%a%b"));
    EXPECT_FALSE(like(L"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", L"%a%a%a%a%a%b"));
}

TEST(WqlEvaluation, ComparesTextWithoutCaseAndNumbersByValue) {
    FakeObject o(L"C");
    o.setText(L"Name", L"Alpha");
    o.setI4(L"Count", 7);
    o.setI4(L"Big", -1, CIM_UINT32); // WMI carries uint32 in VT_I4
    o.setText(L"Huge", L"18446744073709551615", CIM_UINT64);

    EXPECT_TRUE(holds(L"Name = 'ALPHA'", &o));
    EXPECT_TRUE(holds(L"name <> 'beta'", &o));
    EXPECT_TRUE(holds(L"Name < 'b'", &o));
    EXPECT_TRUE(holds(L"'b' > Name", &o));
    EXPECT_TRUE(holds(L"Count = 7 AND Count >= 7 AND Count <= 7 AND Count != 8", &o));
    EXPECT_TRUE(holds(L"Count = 7.0", &o));
    EXPECT_TRUE(holds(L"Count = '7'", &o));
    EXPECT_TRUE(holds(L"Big = 4294967295", &o));
    EXPECT_TRUE(holds(L"Huge = 0xFFFFFFFFFFFFFFFF", &o));
    EXPECT_TRUE(holds(L"Huge > 9223372036854775807", &o));
    EXPECT_FALSE(holds(L"Count > 7", &o));
    EXPECT_TRUE(holds(L"Name LIKE 'al%'", &o));
    EXPECT_TRUE(holds(L"Name NOT LIKE 'b%'", &o));
    EXPECT_TRUE(holds(L"NOT (Count = 1 OR Name = 'x') AND (Count = 7)", &o));
}

TEST(WqlEvaluation, NullAndMissingPropertiesAreUnknownNotFalse) {
    FakeObject o(L"C");
    o.setNull(L"Empty", CIM_STRING);
    o.setI4(L"Count", 7);

    EXPECT_TRUE(holds(L"Empty IS NULL", &o));
    EXPECT_FALSE(holds(L"Empty IS NOT NULL", &o));
    EXPECT_TRUE(holds(L"Empty = NULL", &o));
    EXPECT_TRUE(holds(L"Count <> NULL", &o));
    EXPECT_FALSE(holds(L"Empty = 'x'", &o));
    // Unknown stays unknown under NOT, so neither a test nor its negation matches.
    EXPECT_FALSE(holds(L"NOT Empty = 'x'", &o));
    EXPECT_FALSE(holds(L"Missing = 1", &o));
    EXPECT_FALSE(holds(L"NOT Missing = 1", &o));
    EXPECT_FALSE(holds(L"Missing IS NULL", &o));
    // Unknown OR true is true; unknown AND false is false.
    EXPECT_TRUE(holds(L"Empty = 'x' OR Count = 7", &o));
    EXPECT_TRUE(holds(L"NOT (Empty = 'x' AND Count = 8)", &o));
    // Values that cannot be compared are unknown too.
    EXPECT_FALSE(holds(L"Count = 'seven'", &o));
    EXPECT_FALSE(holds(L"NOT Count = 'seven'", &o));
}

TEST(WqlEvaluation, IsaFollowsEmbeddedObjectsAndTheObjectItself) {
    FakeObject target(L"Child", {L"Parent", L"Root"});
    target.setText(L"Name", L"inner");
    FakeObject event(L"__InstanceCreationEvent", {L"__InstanceOperationEvent", L"__Event"});
    event.setObject(L"TargetInstance", &target);

    EXPECT_TRUE(holds(L"TargetInstance ISA 'Parent'", &event));
    EXPECT_TRUE(holds(L"TargetInstance ISA \"child\"", &event));
    EXPECT_FALSE(holds(L"TargetInstance ISA 'Other'", &event));
    EXPECT_TRUE(holds(L"TargetInstance.Name = 'INNER'", &event));
    EXPECT_FALSE(holds(L"TargetInstance.Missing = 'x'", &event));
    EXPECT_FALSE(holds(L"TargetInstance.Name.Deeper = 'x'", &event));
    EXPECT_TRUE(holds(L"__THIS ISA '__Event'", &event));
    EXPECT_TRUE(holds(L"__CLASS = '__instancecreationevent'", &event));
    // Every reference the evaluation took has been given back.
    EXPECT_EQ(target.references, 2u); // its own and the one inside `event`
    EXPECT_EQ(event.references, 1u);
}
