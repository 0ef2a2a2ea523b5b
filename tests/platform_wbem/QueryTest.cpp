// ExecQuery in WQL over the repository: SELECT with its conditions and property lists, the class
// queries of meta_class, the query flags, and ASSOCIATORS OF / REFERENCES OF with their keywords.
#include "WbemTesting.h"

#include <algorithm>
#include <cstdint>
#include <thread>

using namespace wbem_testing;

namespace {

_COM_SMARTPTR_TYPEDEF(IWbemObjectSink, __uuidof(IWbemObjectSink));

constexpr LONG kQueryFlags = WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY;

class WbemQuery : public WbemTest {
protected:
    // Part: Id (key), Name, Size, Active; Gear derives from it with Teeth.
    void defineParts() {
        ASSERT_TRUE(defineClass(L"Part", nullptr,
                                {{L"Id", CIM_SINT32, true},
                                 {L"Name", CIM_STRING},
                                 {L"Size", CIM_UINT32},
                                 {L"Active", CIM_BOOLEAN}}));
        ASSERT_TRUE(defineClass(L"Gear", L"Part", {{L"Teeth", CIM_SINT32}}));
    }

    void addPart(const wchar_t* className, long id, const wchar_t* name, std::uint32_t size,
                 bool active) {
        IWbemClassObjectPtr part = spawn(className);
        ASSERT_TRUE(part);
        set(part, L"Id", _variant_t(id));
        if (name)
            set(part, L"Name", _variant_t(name));
        _variant_t uint32; // WMI carries uint32 in VT_I4
        uint32.vt = VT_I4;
        uint32.lVal = static_cast<LONG>(size);
        set(part, L"Size", uint32);
        set(part, L"Active", _variant_t(active));
        ASSERT_EQ(S_OK, put(part));
    }

    // Ids 1..6: bolt, nut, washer (null name), Gear 4 "spur gear", Gear 5 "Bevel", 6 "[x]".
    void addParts() {
        defineParts();
        addPart(L"Part", 1, L"bolt", 10, true);
        addPart(L"Part", 2, L"nut", 20, false);
        addPart(L"Part", 3, nullptr, 30, true);
        addPart(L"Gear", 4, L"spur gear", 40, true);
        addPart(L"Gear", 5, L"Bevel", 4000000000, false);
        addPart(L"Part", 6, L"[x]", 60, true);
    }

    HRESULT query(const std::wstring& text, std::vector<IWbemClassObjectPtr>& objects,
                  LONG flags = kQueryFlags, const wchar_t* language = L"WQL") {
        objects.clear();
        IEnumWbemClassObjectPtr enumerator;
        const HRESULT hr = m_services->ExecQuery(_bstr_t(language), _bstr_t(text.c_str()), flags,
                                                 nullptr, &enumerator);
        if (SUCCEEDED(hr))
            objects = drain(enumerator);
        return hr;
    }

    // The values of one property of every result, as text ("null" for none).
    std::vector<std::wstring> select(const std::wstring& text, const wchar_t* property = L"Id",
                                     LONG flags = kQueryFlags) {
        std::vector<IWbemClassObjectPtr> objects;
        const HRESULT hr = query(text, objects, flags);
        EXPECT_EQ(S_OK, hr) << narrow(text);
        std::vector<std::wstring> values;
        for (const auto& object : objects) {
            const _variant_t value = get(object, property);
            if (value.vt == VT_NULL)
                values.push_back(L"null");
            else
                values.push_back(static_cast<const wchar_t*>(_bstr_t(value)));
        }
        return values;
    }

    HRESULT status(const std::wstring& text, const wchar_t* language = L"WQL") {
        std::vector<IWbemClassObjectPtr> objects;
        return query(text, objects, kQueryFlags, language);
    }
};

using Texts = std::vector<std::wstring>;

// ---- Errors

TEST_F(WbemQuery, RefusesOtherLanguagesMalformedQueriesAndUnknownNames) {
    addParts();
    EXPECT_EQ(S_OK, status(L"SELECT * FROM Part", L"wql"));
    EXPECT_EQ(wbem_testing::status(WBEM_E_INVALID_QUERY_TYPE),
              status(L"SELECT * FROM Part", L"SQL"));
    EXPECT_EQ(wbem_testing::status(WBEM_E_INVALID_QUERY_TYPE), status(L"SELECT * FROM Part", L""));
    for (const wchar_t* bad :
         {L"", L"SELECT", L"SELECT * Part", L"SELECT * FROM", L"SELECT * FROM Part WHERE",
          L"SELECT * FROM Part WHERE Name = 'open", L"SELECT * FROM Part WHERE Size = 1x",
          L"SELECT * FROM Part WHERE (Size = 1", L"SELECT * FROM Part WHERE Size == 1",
          L"SELECT * FROM Part WITHIN 5", L"DELETE FROM Part",
          L"ASSOCIATORS OF {Part.Id=1} WHERE Colour = Red", L"ASSOCIATORS OF Part.Id=1",
          L"REFERENCES OF {Part.Id=1} WHERE AssocClass = X",
          // Names the class does not have, in the list or the condition.
          L"SELECT Colour FROM Part", L"SELECT * FROM Part WHERE Colour = 'red'",
          L"SELECT * FROM Part WHERE Teeth = 3", L"SELECT Name FROM meta_class"})
        EXPECT_EQ(wbem_testing::status(WBEM_E_INVALID_QUERY), status(bad)) << narrow(bad);
    EXPECT_EQ(wbem_testing::status(WBEM_E_INVALID_CLASS), status(L"SELECT * FROM NoSuchClass"));
    EXPECT_EQ(wbem_testing::status(WBEM_E_INVALID_CLASS), status(L"SELECT Id FROM NoSuchClass"));
    IEnumWbemClassObjectPtr enumerator;
    EXPECT_EQ(wbem_testing::status(WBEM_E_INVALID_PARAMETER),
              m_services->ExecQuery(_bstr_t(L"WQL"), _bstr_t(L"SELECT * FROM Part"), 0, nullptr,
                                    nullptr));
    EXPECT_EQ(wbem_testing::status(WBEM_E_INVALID_PARAMETER),
              m_services->ExecQuery(_bstr_t(L"WQL"), nullptr, 0, nullptr, &enumerator));
}

// ---- SELECT

TEST_F(WbemQuery, SelectsInstancesOfDerivedClassesInCreationOrder) {
    addParts();
    EXPECT_EQ((Texts{L"1", L"2", L"3", L"4", L"5", L"6"}), select(L"SELECT * FROM Part"));
    EXPECT_EQ((Texts{L"4", L"5"}), select(L"select * from GEAR"));
    EXPECT_EQ((Texts{L"1", L"2", L"3", L"6"}),
              select(L"SELECT * FROM Part WHERE __CLASS = 'Part'"));
    EXPECT_EQ((Texts{L"4", L"5"}), select(L"SELECT * FROM Part WHERE __THIS ISA 'Gear'"));
    EXPECT_EQ((Texts{L"1", L"2", L"3", L"6"}),
              select(L"SELECT * FROM Part WHERE NOT __THIS ISA \"Gear\""));
    EXPECT_EQ(Texts{}, select(L"SELECT * FROM Part WHERE __CLASS = 'Other'"));
    EXPECT_EQ((Texts{L"Gear", L"Gear"}), select(L"SELECT * FROM Gear", L"__CLASS"));
}

TEST_F(WbemQuery, ComparesNumbersAtTheirBoundaries) {
    addParts();
    EXPECT_EQ(Texts{L"2"}, select(L"SELECT * FROM Part WHERE Size = 20"));
    EXPECT_EQ(Texts{L"2"}, select(L"SELECT * FROM Part WHERE 20 = Size"));
    EXPECT_EQ((Texts{L"1", L"2"}), select(L"SELECT * FROM Part WHERE Size <= 20"));
    EXPECT_EQ(Texts{L"1"}, select(L"SELECT * FROM Part WHERE Size < 20"));
    EXPECT_EQ(Texts{L"1"}, select(L"SELECT * FROM Part WHERE 20 > Size"));
    EXPECT_EQ((Texts{L"5", L"6"}), select(L"SELECT * FROM Part WHERE Size >= 60"));
    EXPECT_EQ(Texts{L"5"}, select(L"SELECT * FROM Part WHERE Size > 60"));
    EXPECT_EQ((Texts{L"1", L"3", L"4", L"5", L"6"}),
              select(L"SELECT * FROM Part WHERE Size <> 20"));
    EXPECT_EQ((Texts{L"1", L"3", L"4", L"5", L"6"}),
              select(L"SELECT * FROM Part WHERE Size != 20"));
    // Unsigned 32-bit values above the signed range compare by value, also against hex and text.
    EXPECT_EQ(Texts{L"5"}, select(L"SELECT * FROM Part WHERE Size = 4000000000"));
    EXPECT_EQ(Texts{L"5"}, select(L"SELECT * FROM Part WHERE Size = 0xEE6B2800"));
    EXPECT_EQ(Texts{L"5"}, select(L"SELECT * FROM Part WHERE Size > 2147483647"));
    EXPECT_EQ(Texts{L"1"}, select(L"SELECT * FROM Part WHERE Size = '10'"));
    EXPECT_EQ(Texts{L"1"}, select(L"SELECT * FROM Part WHERE Size = 10.0"));
    EXPECT_EQ(Texts{}, select(L"SELECT * FROM Part WHERE Id < -2147483648"));
}

TEST_F(WbemQuery, CombinesConditionsWithNullsUnknownRatherThanFalse) {
    addParts();
    EXPECT_EQ((Texts{L"1", L"3", L"4"}),
              select(L"SELECT * FROM Part WHERE Active = TRUE AND Size < 50"));
    EXPECT_EQ((Texts{L"2", L"5"}), select(L"SELECT * FROM Part WHERE Active = false"));
    EXPECT_EQ((Texts{L"1", L"2", L"6"}),
              select(L"SELECT * FROM Part WHERE Size < 15 OR Name = 'NUT' OR Id = 6"));
    EXPECT_EQ((Texts{L"1", L"6"}),
              select(L"SELECT * FROM Part WHERE (Id = 1 OR Id = 6 OR Id = 2) AND NOT (Active = "
                     L"FALSE)"));
    EXPECT_EQ(Texts{L"3"}, select(L"SELECT * FROM Part WHERE Name IS NULL"));
    EXPECT_EQ(Texts{L"3"}, select(L"SELECT * FROM Part WHERE Name = NULL"));
    EXPECT_EQ(5u, select(L"SELECT * FROM Part WHERE Name IS NOT NULL").size());
    // A null name is neither equal nor unequal to a text, and NOT keeps that unknown.
    EXPECT_EQ(5u, select(L"SELECT * FROM Part WHERE Name <> 'x'").size());
    EXPECT_EQ((Texts{L"1", L"2", L"4", L"5", L"6"}),
              select(L"SELECT * FROM Part WHERE NOT Name = 'x'"));
    EXPECT_EQ((Texts{L"4", L"5"}), select(L"SELECT * FROM Gear WHERE Teeth IS NULL"));
}

TEST_F(WbemQuery, MatchesTextWithLikePatternsAndEscapedQuotes) {
    addParts();
    EXPECT_EQ((Texts{L"4", L"5"}), select(L"SELECT * FROM Part WHERE Name LIKE '%e%'"));
    EXPECT_EQ(Texts{L"1"}, select(L"SELECT * FROM Part WHERE Name LIKE 'B_lt'"));
    EXPECT_EQ((Texts{L"1", L"5"}), select(L"SELECT * FROM Part WHERE Name LIKE '[a-c]%'"));
    EXPECT_EQ((Texts{L"2", L"4", L"6"}), select(L"SELECT * FROM Part WHERE Name LIKE '[^a-c]%'"));
    EXPECT_EQ(Texts{L"6"}, select(L"SELECT * FROM Part WHERE Name LIKE '[[]x]'"));
    EXPECT_EQ((Texts{L"1", L"2", L"4", L"5"}),
              select(L"SELECT * FROM Part WHERE NOT Name LIKE '[[]%'"));
    addPart(L"Part", 7, L"it's \"quoted\"", 70, true);
    EXPECT_EQ(Texts{L"7"}, select(L"SELECT * FROM Part WHERE Name = 'it\\'s \"quoted\"'"));
    EXPECT_EQ(Texts{L"7"}, select(L"SELECT * FROM Part WHERE Name = \"it's \\\"quoted\\\"\""));
}

TEST_F(WbemQuery, APropertyListLimitsWhatTheObjectsCarry) {
    addParts();
    std::vector<IWbemClassObjectPtr> objects;
    ASSERT_EQ(S_OK, query(L"SELECT Name, Size FROM Part WHERE Id = 4", objects));
    ASSERT_EQ(1u, objects.size());
    IWbemClassObject* gear = objects[0];
    EXPECT_EQ(L"spur gear", text(gear, L"Name"));
    EXPECT_EQ(40, get(gear, L"Size").lVal);
    EXPECT_EQ(L"Gear", text(gear, L"__CLASS"));
    EXPECT_EQ(2, get(gear, L"__GENUS").lVal);
    EXPECT_EQ(2, get(gear, L"__PROPERTY_COUNT").lVal);
    _variant_t other;
    EXPECT_EQ(wbem_testing::status(WBEM_E_NOT_FOUND),
              gear->Get(L"Active", 0, &other, nullptr, nullptr));
    EXPECT_EQ(wbem_testing::status(WBEM_E_NOT_FOUND),
              gear->Get(L"Id", 0, &other, nullptr, nullptr));
    // Without its keys an object cannot say where it lives.
    EXPECT_EQ(VT_NULL, get(gear, L"__PATH").vt);
    EXPECT_EQ(VT_NULL, get(gear, L"__RELPATH").vt);
    EXPECT_EQ(VT_NULL, get(gear, L"__SERVER").vt);

    // Asking for the path, or for locatable objects, brings the keys and the location.
    for (const auto& [text_, flags] :
         {std::make_pair(L"SELECT Name, __PATH FROM Part WHERE Id = 4", kQueryFlags),
          std::make_pair(L"SELECT Name FROM Part WHERE Id = 4",
                         kQueryFlags | WBEM_FLAG_ENSURE_LOCATABLE)}) {
        ASSERT_EQ(S_OK, query(text_, objects, flags)) << narrow(text_);
        ASSERT_EQ(1u, objects.size());
        EXPECT_EQ(4, get(objects[0], L"Id").lVal);
        EXPECT_EQ(L"\\\\" + text(objects[0], L"__SERVER") + L"\\" + m_path + L":Gear.Id=4",
                  text(objects[0], L"__PATH"));
        EXPECT_EQ(m_path, text(objects[0], L"__NAMESPACE"));
        EXPECT_EQ(wbem_testing::status(WBEM_E_NOT_FOUND),
                  objects[0]->Get(L"Size", 0, &other, nullptr, nullptr));
    }
    // SELECT * keeps everything, path included.
    ASSERT_EQ(S_OK, query(L"SELECT * FROM Gear WHERE Id = 5", objects));
    EXPECT_EQ(5, get(objects[0], L"__PROPERTY_COUNT").lVal);
    EXPECT_EQ(m_path + L":Gear.Id=5",
              text(objects[0], L"__PATH").substr(3 + text(objects[0], L"__SERVER").size()));
}

TEST_F(WbemQuery, MetaClassSelectsClassDefinitions) {
    addParts();
    ASSERT_TRUE(defineClass(L"Spur", L"Gear", {}));
    EXPECT_EQ(Texts{L"Gear"},
              select(L"SELECT * FROM meta_class WHERE __CLASS = 'gear'", L"__CLASS"));
    EXPECT_EQ((Texts{L"Gear"}),
              select(L"SELECT * FROM meta_class WHERE __SUPERCLASS = 'Part'", L"__CLASS"));
    EXPECT_EQ((Texts{L"Part", L"Gear", L"Spur"}),
              select(L"SELECT * FROM meta_class WHERE __THIS ISA 'Part'", L"__CLASS"));
    EXPECT_EQ((Texts{L"1"}),
              select(L"SELECT * FROM meta_class WHERE __CLASS = 'Spur'", L"__GENUS"));
    const Texts all = select(L"SELECT * FROM meta_class", L"__CLASS");
    EXPECT_NE(all.end(), std::find(all.begin(), all.end(), L"__NAMESPACE"));
    EXPECT_NE(all.end(), std::find(all.begin(), all.end(), L"Spur"));
}

// ---- Flags and enumeration

TEST_F(WbemQuery, EnumerationsFollowTheirFlags) {
    addParts();
    const _bstr_t wql(L"WQL"), text_(L"SELECT * FROM Part WHERE Active = TRUE");
    IEnumWbemClassObjectPtr forward;
    ASSERT_EQ(S_OK, m_services->ExecQuery(wql, text_, kQueryFlags, nullptr, &forward));
    IWbemClassObject* objects[8] = {};
    ULONG returned = 0;
    EXPECT_EQ(wbem_testing::status(WBEM_S_FALSE), forward->Next(kInfinite, 8, objects, &returned));
    EXPECT_EQ(4u, returned);
    for (ULONG i = 0; i < returned; ++i)
        objects[i]->Release();
    EXPECT_EQ(wbem_testing::status(WBEM_E_INVALID_OPERATION), forward->Reset());

    // Without WBEM_FLAG_FORWARD_ONLY an enumeration starts again and clones where it stands.
    IEnumWbemClassObjectPtr again;
    ASSERT_EQ(S_OK, m_services->ExecQuery(wql, text_, 0, nullptr, &again));
    ASSERT_EQ(S_OK, again->Next(kInfinite, 1, objects, &returned));
    objects[0]->Release();
    IEnumWbemClassObjectPtr copy;
    ASSERT_EQ(S_OK, again->Clone(&copy));
    EXPECT_EQ(3u, drain(copy).size());
    EXPECT_EQ(3u, drain(again).size());
    ASSERT_EQ(S_OK, again->Reset());
    EXPECT_EQ(4u, drain(again).size());

    // A prototype is the shape of the results: one class object, nothing run.
    std::vector<IWbemClassObjectPtr> prototype;
    ASSERT_EQ(S_OK, query(L"SELECT Name FROM Part WHERE Id = 99", prototype,
                          kQueryFlags | WBEM_FLAG_PROTOTYPE));
    ASSERT_EQ(1u, prototype.size());
    EXPECT_EQ(1, get(prototype[0], L"__GENUS").lVal);
    EXPECT_EQ(L"Part", text(prototype[0], L"__CLASS"));
    EXPECT_EQ(1, get(prototype[0], L"__PROPERTY_COUNT").lVal);
}

TEST_F(WbemQuery, QueriesRunOnManyThreadsWhileInstancesAreAdded) {
    addParts();
    IEnumWbemClassObjectPtr first;
    ASSERT_EQ(S_OK, m_services->ExecQuery(_bstr_t(L"WQL"),
                                          _bstr_t(L"SELECT Name FROM Part WHERE Id <= 6"), 0,
                                          nullptr, &first));
    IEnumWbemClassObjectPtr second;
    ASSERT_EQ(S_OK, first->Clone(&second));
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    // Two clones share the reduced classes of their property list.
    for (IEnumWbemClassObject* enumerator : {first.GetInterfacePtr(), second.GetInterfacePtr()}) {
        threads.emplace_back([enumerator, &wrong] {
            ComScope com;
            if (drain(enumerator).size() != 6)
                ++wrong;
        });
    }
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([this, &wrong] {
            ComScope com;
            for (int i = 0; i < 20; ++i) {
                IEnumWbemClassObjectPtr enumerator;
                if (FAILED(m_services->ExecQuery(_bstr_t(L"WQL"),
                                                 _bstr_t(L"SELECT * FROM Gear WHERE Size > 30"),
                                                 kQueryFlags, nullptr, &enumerator)) ||
                    drain(enumerator).size() != 2)
                    ++wrong;
            }
        });
    }
    for (long id = 100; id < 140; ++id)
        addPart(L"Part", id, L"late", 1, true);
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(0, wrong.load());
    EXPECT_EQ(40u, select(L"SELECT * FROM Part WHERE Name = 'late'").size());
}

// A sink that keeps what it is given.
class Collector : public IWbemObjectSink {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IWbemObjectSink)) {
            *object = static_cast<IWbemObjectSink*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE Indicate(LONG count, IWbemClassObject** objects) override {
        for (LONG i = 0; i < count; ++i)
            received.push_back(text(objects[i], L"Name"));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetStatus(LONG, HRESULT hr, BSTR, IWbemClassObject*) override {
        result = hr;
        ++statuses;
        return S_OK;
    }
    std::atomic<ULONG> refs{1};
    std::vector<std::wstring> received;
    HRESULT result = E_FAIL;
    int statuses = 0;
};

TEST_F(WbemQuery, AsynchronousQueriesReportToTheirSink) {
    addParts();
    Collector sink;
    ASSERT_EQ(S_OK, m_services->ExecQueryAsync(_bstr_t(L"WQL"),
                                               _bstr_t(L"SELECT * FROM Part WHERE Size < 25"), 0,
                                               nullptr, &sink));
    EXPECT_EQ((Texts{L"bolt", L"nut"}), sink.received);
    EXPECT_EQ(S_OK, sink.result);
    EXPECT_EQ(1, sink.statuses);
    Collector failed;
    ASSERT_EQ(S_OK, m_services->ExecQueryAsync(_bstr_t(L"WQL"), _bstr_t(L"SELECT * FROM Nothing"),
                                               0, nullptr, &failed));
    EXPECT_EQ(wbem_testing::status(WBEM_E_INVALID_CLASS), failed.result);
    EXPECT_TRUE(failed.received.empty());
    EXPECT_EQ(1u, sink.refs.load());
}

TEST_F(WbemQuery, FiltersAcrossManyReadStepsWithoutLosingOrRepeating) {
    defineParts();
    // More instances than one read step holds, with matches at the edges of the steps.
    for (long id = 1; id <= 1100; ++id)
        addPart(L"Part", id, id % 512 == 0 || id % 512 == 1 ? L"edge" : L"inner",
                static_cast<std::uint32_t>(id), true);
    EXPECT_EQ((Texts{L"1", L"512", L"513", L"1024", L"1025"}),
              select(L"SELECT * FROM Part WHERE Name = 'edge'"));
    EXPECT_EQ(1100u, select(L"SELECT Id FROM Part").size());
    EXPECT_EQ(Texts{L"1100"}, select(L"SELECT * FROM Part WHERE Size > 1099"));
}

// ---- ASSOCIATORS OF and REFERENCES OF

class WbemAssociations : public WbemQuery {
protected:
    // Node(Name) linked by Link(Left, Right) associations; Holder(Owner: Node, Item: Thing) is a
    // marked association to Thing(Id), a class with a qualifier of its own.
    void SetUp() override {
        WbemQuery::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(defineClass(L"Node", nullptr, {{L"Name", CIM_STRING, true}}));
        ASSERT_TRUE(defineClass(L"Thing", nullptr, {{L"Id", CIM_SINT32, true}}));
        mark(L"Thing", L"Tagged");
        ASSERT_TRUE(defineAssociation(L"Link", {{L"Left", L"Node"}, {L"Right", L"Node"}}));
        ASSERT_TRUE(
            defineAssociation(L"Holder", {{L"Owner", L"Node"}, {L"Item", L"Thing"}}, L"Marked"));
        for (const wchar_t* name : {L"n1", L"n2", L"n3", L"n4"}) {
            IWbemClassObjectPtr node = spawn(L"Node");
            set(node, L"Name", _variant_t(name));
            ASSERT_EQ(S_OK, put(node));
        }
        IWbemClassObjectPtr thing = spawn(L"Thing");
        set(thing, L"Id", _variant_t(1L));
        ASSERT_EQ(S_OK, put(thing));
        link(L"Link", L"Left", L"Node.Name=\"n1\"", L"Right", L"Node.Name=\"n2\"");
        // References written in other forms still name the same objects.
        link(L"Link", L"Left", L"\\\\.\\" + m_path + L":Node.Name=\"n1\"", L"Right",
             L"NODE.name=\"n3\"");
        link(L"Link", L"Left", L"Node=\"n4\"", L"Right", m_path + L":Node.Name=\"n1\"");
        link(L"Holder", L"Owner", L"Node.Name=\"n1\"", L"Item", L"Thing.Id=1");
    }

    // Gives a stored class a qualifier of its own.
    void mark(const wchar_t* className, const wchar_t* qualifier) {
        IWbemClassObjectPtr cls = object(className);
        ASSERT_TRUE(cls);
        IWbemQualifierSetPtr qualifiers;
        ASSERT_EQ(S_OK, cls->GetQualifierSet(&qualifiers));
        _variant_t yes(true);
        ASSERT_EQ(S_OK, qualifiers->Put(qualifier, &yes, 0));
        ASSERT_EQ(S_OK, m_services->PutClass(cls, WBEM_FLAG_UPDATE_ONLY, nullptr, nullptr));
    }

    struct Reference {
        const wchar_t* name;
        const wchar_t* target;
    };
    IWbemClassObjectPtr defineAssociation(const wchar_t* name,
                                          std::initializer_list<Reference> references,
                                          const wchar_t* marker = nullptr) {
        IWbemClassObjectPtr cls;
        EXPECT_EQ(S_OK, m_services->GetObject(nullptr, 0, nullptr, &cls, nullptr));
        set(cls, L"__CLASS", _variant_t(name));
        IWbemQualifierSetPtr qualifiers;
        EXPECT_EQ(S_OK, cls->GetQualifierSet(&qualifiers));
        _variant_t yes(true);
        EXPECT_EQ(S_OK, qualifiers->Put(L"Association", &yes, 0));
        if (marker) {
            EXPECT_EQ(S_OK, qualifiers->Put(marker, &yes, 0));
        }
        for (const Reference& reference : references) {
            EXPECT_EQ(S_OK, cls->Put(reference.name, 0, nullptr, CIM_REFERENCE));
            qualify(cls, reference.name, L"key");
            IWbemQualifierSetPtr own;
            EXPECT_EQ(S_OK, cls->GetPropertyQualifierSet(reference.name, &own));
            _variant_t declared((std::wstring(L"ref:") + reference.target).c_str());
            EXPECT_EQ(S_OK, own->Put(L"CIMTYPE", &declared, 0));
        }
        EXPECT_EQ(S_OK, m_services->PutClass(cls, WBEM_FLAG_CREATE_ONLY, nullptr, nullptr));
        return object(name);
    }

    void link(const wchar_t* className, const wchar_t* role, const std::wstring& from,
              const wchar_t* resultRole, const std::wstring& to) {
        IWbemClassObjectPtr association = spawn(className);
        set(association, role, _variant_t(from.c_str()));
        set(association, resultRole, _variant_t(to.c_str()));
        ASSERT_EQ(S_OK, put(association));
    }

    // The __RELPATH of every result.
    Texts related(const std::wstring& text) { return select(text, L"__RELPATH"); }
};

TEST_F(WbemAssociations, AssociatorsFollowEveryReferenceToTheObject) {
    const Texts n1 = related(L"ASSOCIATORS OF {Node.Name=\"n1\"}");
    EXPECT_EQ((Texts{L"Node.Name=\"n2\"", L"Node.Name=\"n3\"", L"Node.Name=\"n4\"", L"Thing.Id=1"}),
              n1);
    // The path of the object may be written in any of its forms.
    EXPECT_EQ(n1, related(L"associators of {\\\\.\\" + m_path + L":node.name=\"n1\"}"));
    EXPECT_EQ(n1, related(L"ASSOCIATORS OF {Node=\"n1\"}"));
    EXPECT_EQ(Texts{L"Node.Name=\"n1\""}, related(L"ASSOCIATORS OF {Node.Name=\"n3\"}"));
    EXPECT_EQ(Texts{L"Node.Name=\"n1\""}, related(L"ASSOCIATORS OF {Thing.Id=1}"));
}

TEST_F(WbemAssociations, KeywordsNarrowTheAssociators) {
    EXPECT_EQ((Texts{L"Node.Name=\"n2\"", L"Node.Name=\"n3\"", L"Node.Name=\"n4\""}),
              related(L"ASSOCIATORS OF {Node.Name=\"n1\"} WHERE AssocClass = Link"));
    // Exactly as the operations handle writes it: bare values, one blank between keywords.
    EXPECT_EQ((Texts{L"Node.Name=\"n2\"", L"Node.Name=\"n3\""}),
              related(L"ASSOCIATORS OF {Node.Name=\"n1\"} WHERE AssocClass = Link Role = Left"));
    EXPECT_EQ(Texts{L"Node.Name=\"n4\""},
              related(L"ASSOCIATORS OF {Node.Name=\"n1\"} WHERE Role = 'Right'"));
    EXPECT_EQ((Texts{L"Node.Name=\"n2\"", L"Node.Name=\"n3\""}),
              related(L"ASSOCIATORS OF {Node.Name=\"n1\"} WHERE ResultRole = \"Right\""));
    EXPECT_EQ(Texts{L"Thing.Id=1"},
              related(L"ASSOCIATORS OF {Node.Name=\"n1\"} WHERE ResultClass = Thing"));
    EXPECT_EQ(Texts{L"Thing.Id=1"},
              related(L"ASSOCIATORS OF {Node.Name=\"n1\"} WHERE RequiredAssocQualifier = Marked"));
    EXPECT_EQ(Texts{L"Thing.Id=1"},
              related(L"ASSOCIATORS OF {Node.Name=\"n1\"} WHERE RequiredQualifier = Tagged"));
    EXPECT_EQ(Texts{}, related(L"ASSOCIATORS OF {Node.Name=\"n1\"} WHERE AssocClass = Holder "
                               L"ResultClass = Node"));
    // Classes only: each class once.
    EXPECT_EQ((Texts{L"Node", L"Thing"}),
              related(L"ASSOCIATORS OF {Node.Name=\"n1\"} WHERE ClassDefsOnly"));
    EXPECT_EQ((Texts{L"1", L"1"}),
              select(L"ASSOCIATORS OF {Node.Name=\"n1\"} WHERE ClassDefsOnly", L"__GENUS"));
}

TEST_F(WbemAssociations, ReferencesGiveTheAssociationsThemselves) {
    const Texts all = select(L"REFERENCES OF {Node.Name=\"n1\"}", L"__CLASS");
    EXPECT_EQ((Texts{L"Link", L"Link", L"Link", L"Holder"}), all);
    EXPECT_EQ((Texts{L"Link"}),
              select(L"REFERENCES OF {Node.Name=\"n1\"} WHERE Role = Right", L"__CLASS"));
    EXPECT_EQ((Texts{L"Holder"}),
              select(L"REFERENCES OF {Node.Name=\"n1\"} WHERE ResultClass = Holder", L"__CLASS"));
    EXPECT_EQ(
        (Texts{L"Holder"}),
        select(L"REFERENCES OF {Node.Name=\"n1\"} WHERE RequiredQualifier = Marked", L"__CLASS"));
    EXPECT_EQ((Texts{L"Link", L"Holder"}),
              related(L"REFERENCES OF {Node.Name=\"n1\"} WHERE ClassDefsOnly"));
    // Keys only: the association's keys (its references here) and its path, nothing else.
    std::vector<IWbemClassObjectPtr> objects;
    ASSERT_EQ(S_OK, query(L"REFERENCES OF {Thing.Id=1} WHERE KeysOnly", objects));
    ASSERT_EQ(1u, objects.size());
    EXPECT_EQ(L"Node.Name=\"n1\"", text(objects[0], L"Owner"));
    EXPECT_FALSE(text(objects[0], L"__PATH").empty());
}

TEST_F(WbemAssociations, TheIndexFollowsChangesAndDeletions) {
    // Repointing an association moves it; deleting the far end drops it from the associators.
    std::vector<IWbemClassObjectPtr> holders;
    ASSERT_EQ(S_OK, query(L"REFERENCES OF {Thing.Id=1}", holders));
    ASSERT_EQ(1u, holders.size());
    IWbemClassObjectPtr holder = holders[0];
    // The references are the association's keys: a new owner makes a new instance.
    ASSERT_EQ(S_OK, m_services->DeleteInstance(_bstr_t(text(holder, L"__RELPATH").c_str()), 0,
                                               nullptr, nullptr));
    set(holder, L"Owner", _variant_t(L"Node.Name=\"n2\""));
    ASSERT_EQ(S_OK, put(holder));
    EXPECT_EQ(Texts{L"Node.Name=\"n2\""}, related(L"ASSOCIATORS OF {Thing.Id=1}"));
    EXPECT_EQ(Texts{}, related(L"ASSOCIATORS OF {Node.Name=\"n1\"} WHERE AssocClass = Holder"));
    ASSERT_EQ(S_OK, m_services->DeleteInstance(_bstr_t(L"Node.Name=\"n3\""), 0, nullptr, nullptr));
    EXPECT_EQ((Texts{L"Node.Name=\"n2\"", L"Node.Name=\"n4\""}),
              related(L"ASSOCIATORS OF {Node.Name=\"n1\"} WHERE AssocClass = Link"));
    // The association that still names n3 is a reference of it no more reachable from n3.
    EXPECT_EQ(wbem_testing::status(WBEM_E_NOT_FOUND), status(L"REFERENCES OF {Node.Name=\"n3\"}"));
}

TEST_F(WbemAssociations, RefusesWhatCannotBeAnswered) {
    EXPECT_EQ(wbem_testing::status(WBEM_E_NOT_FOUND), status(L"ASSOCIATORS OF {Node.Name=\"zz\"}"));
    EXPECT_EQ(wbem_testing::status(WBEM_E_INVALID_CLASS),
              status(L"ASSOCIATORS OF {Zz.Name=\"a\"}"));
    EXPECT_EQ(wbem_testing::status(WBEM_E_INVALID_OBJECT_PATH),
              status(L"ASSOCIATORS OF {Node.Name=}"));
    EXPECT_EQ(wbem_testing::status(WBEM_E_INVALID_QUERY),
              status(L"ASSOCIATORS OF {Node.Name=\"n1\"} WHERE SchemaOnly"));
    EXPECT_EQ(wbem_testing::status(WBEM_E_INVALID_QUERY),
              status(L"ASSOCIATORS OF {Node.Name=\"n1\"} WHERE ClassDefsOnly SchemaOnly"));
}

TEST_F(WbemAssociations, APathIntoAnotherNamespaceIsAnsweredThere) {
    IWbemServicesPtr root;
    ASSERT_EQ(S_OK, connect(m_locator, L"root", root));
    IEnumWbemClassObjectPtr enumerator;
    ASSERT_EQ(S_OK, root->ExecQuery(_bstr_t(L"WQL"),
                                    _bstr_t((L"ASSOCIATORS OF {" + m_path +
                                             L":Node.Name=\"n4\"} WHERE ResultRole = Right")
                                                .c_str()),
                                    kQueryFlags, nullptr, &enumerator));
    const std::vector<IWbemClassObjectPtr> found = drain(enumerator);
    ASSERT_EQ(1u, found.size());
    EXPECT_EQ(L"Node.Name=\"n1\"", text(found[0], L"__RELPATH"));
    EXPECT_EQ(m_path, text(found[0], L"__NAMESPACE"));
    EXPECT_EQ(wbem_testing::status(WBEM_E_INVALID_NAMESPACE),
              status(L"ASSOCIATORS OF {root\\nowhere:Node.Name=\"n1\"}"));
    EXPECT_EQ(wbem_testing::status(WBEM_E_INVALID_OBJECT_PATH),
              status(L"ASSOCIATORS OF {\\\\elsewhere\\" + m_path + L":Node.Name=\"n1\"}"));
}

TEST_F(WbemAssociations, ClassPathsAnswerFromTheSchema) {
    EXPECT_EQ((Texts{L"Node", L"Thing"}), related(L"ASSOCIATORS OF {Node} WHERE SchemaOnly"));
    EXPECT_EQ(Texts{L"Node"}, related(L"ASSOCIATORS OF {Thing} WHERE SchemaOnly"));
    EXPECT_EQ(Texts{L"Thing"}, related(L"ASSOCIATORS OF {Node} WHERE ResultRole = Item"));
    EXPECT_EQ((Texts{L"Link", L"Holder"}), related(L"REFERENCES OF {Node} WHERE SchemaOnly"));
    EXPECT_EQ(Texts{L"Holder"}, related(L"REFERENCES OF {Node} WHERE Role = Owner"));
    EXPECT_EQ(wbem_testing::status(WBEM_E_NOT_FOUND), status(L"REFERENCES OF {Nothing}"));
}

} // namespace
