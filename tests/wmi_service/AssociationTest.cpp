// The operations handle's associators and references against the embedded WMI service: the
// query texts it sends are answered, keyword by keyword, with objects that can be read again.
#include <zudava/zudava.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using DEZE::WmiClass;
using DEZE::WmiConnectionFactory;
using DEZE::WmiContext;
using DEZE::WmiException;
using DEZE::WmiHandle;
using DEZE::WmiInstance;
using DEZE::WmiObjectEnumeration;
using DEZE::WmiObjectPath;
using DEZE::WmiProperty;
using DEZE::WmiQualifier;
using DEZE::WmiString;

namespace {

const wchar_t kNameSpace[] = L"root\\default";

std::wstring text(const _bstr_t& value) {
    return !value ? std::wstring() : std::wstring(static_cast<const wchar_t*>(value));
}

WmiObjectPath path(const std::wstring& relative) {
    return WmiObjectPath(_bstr_t((std::wstring(kNameSpace) + L":" + relative).c_str()));
}

WmiString name(const wchar_t* value) {
    return WmiString(_bstr_t(value), false);
}

const WmiString none(_bstr_t(), false);

// Zv_Station(Name) linked by Zv_Track(From, To) and, once, by Zv_Ferry(From, To); stored once
// for the whole program (the repository outlives each test).
class Associations : public testing::Test {
protected:
    static void SetUpTestSuite() {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        {
            WmiContext context;
            WmiHandle handle;
            WmiClass station(kNameSpace, L"Zv_Station", L"");
            station.setProperty(WmiProperty(L"Name", _variant_t(L""), CIM_STRING, nullptr));
            station.getProperty(L"Name").setQualifier(WmiQualifier(L"key", _variant_t(true), 0));
            handle.createClass(context, path(L"Zv_Station"), station);
            // The object model puts properties without a type, which a new reference property
            // needs: the associations are defined through the services themselves.
            IWbemServices* services = WmiConnectionFactory::create(kNameSpace).getServices();
            for (const wchar_t* association : {L"Zv_Track", L"Zv_Ferry"})
                defineAssociation(services, association);
            for (const wchar_t* station_ : {L"Ash", L"Birch", L"Cedar", L"Dune"}) {
                WmiInstance instance(kNameSpace, L"Zv_Station");
                instance.setProperty(
                    WmiProperty(L"Name", _variant_t(station_), CIM_STRING, nullptr));
                handle.createInstance(context, path(L"Zv_Station"), instance);
            }
            connect(handle, context, L"Zv_Track", L"Ash", L"Birch");
            connect(handle, context, L"Zv_Track", L"Ash", L"Cedar");
            connect(handle, context, L"Zv_Track", L"Cedar", L"Ash");
            connect(handle, context, L"Zv_Ferry", L"Ash", L"Dune");
        }
        WmiConnectionFactory::reset();
        CoUninitialize();
    }

    static void defineAssociation(IWbemServices* services, const wchar_t* className) {
        IWbemClassObject* cls = nullptr;
        ASSERT_EQ(S_OK, services->GetObject(nullptr, 0, nullptr, &cls, nullptr));
        _variant_t name(className), yes(true), declared(L"ref:Zv_Station");
        EXPECT_EQ(S_OK, cls->Put(L"__CLASS", 0, &name, 0));
        IWbemQualifierSet* qualifiers = nullptr;
        EXPECT_EQ(S_OK, cls->GetQualifierSet(&qualifiers));
        EXPECT_EQ(S_OK, qualifiers->Put(L"Association", &yes, 0));
        qualifiers->Release();
        for (const wchar_t* end : {L"From", L"To"}) {
            EXPECT_EQ(S_OK, cls->Put(end, 0, nullptr, CIM_REFERENCE));
            EXPECT_EQ(S_OK, cls->GetPropertyQualifierSet(end, &qualifiers));
            EXPECT_EQ(S_OK, qualifiers->Put(L"key", &yes, 0));
            EXPECT_EQ(S_OK, qualifiers->Put(L"CIMTYPE", &declared, 0));
            qualifiers->Release();
        }
        EXPECT_EQ(S_OK, services->PutClass(cls, WBEM_FLAG_CREATE_ONLY, nullptr, nullptr));
        cls->Release();
    }

    static void connect(WmiHandle& handle, WmiContext& context, const wchar_t* className,
                        const wchar_t* from, const wchar_t* to) {
        WmiInstance link(kNameSpace, className);
        const std::wstring fromPath = std::wstring(L"Zv_Station.Name=\"") + from + L"\"";
        const std::wstring toPath = std::wstring(L"Zv_Station.Name=\"") + to + L"\"";
        link.setProperty(WmiProperty(L"From", _variant_t(fromPath.c_str()), CIM_STRING, nullptr));
        link.setProperty(WmiProperty(L"To", _variant_t(toPath.c_str()), CIM_STRING, nullptr));
        handle.createInstance(context, path(className), link);
    }

    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        context = std::make_unique<WmiContext>();
    }
    void TearDown() override {
        context.reset();
        WmiConnectionFactory::reset();
        CoUninitialize();
    }

    static std::vector<std::wstring> values(const WmiObjectEnumeration& objects,
                                            const wchar_t* property) {
        std::vector<std::wstring> result;
        while (objects.hasNext()) {
            const _variant_t value = objects.getNext().getProperty(property).getValue();
            result.push_back(V_VT(&value) == VT_BSTR ? text(V_BSTR(&value)) : L"?");
        }
        return result;
    }

    std::vector<std::wstring> associators(const wchar_t* station, const WmiString& assocClass,
                                          const WmiString& resultClass, const WmiString& role,
                                          const WmiString& resultRole) {
        return values(handle.associators(
                          *context, path(std::wstring(L"Zv_Station.Name=\"") + station + L"\""),
                          assocClass, resultClass, role, resultRole),
                      L"Name");
    }

    std::unique_ptr<WmiContext> context;
    WmiHandle handle;
};

using Names = std::vector<std::wstring>;

} // namespace

TEST_F(Associations, AssociatorsAnswerEveryCombinationOfNames) {
    EXPECT_EQ((Names{L"Birch", L"Cedar", L"Dune"}), associators(L"Ash", none, none, none, none));
    EXPECT_EQ((Names{L"Birch", L"Cedar"}),
              associators(L"Ash", name(L"Zv_Track"), none, none, none));
    // The text the handle sends for a class and a role: "... WHERE AssocClass = A Role = R".
    EXPECT_EQ((Names{L"Birch", L"Cedar"}),
              associators(L"Ash", name(L"Zv_Track"), none, name(L"From"), none));
    EXPECT_EQ(Names{L"Cedar"}, associators(L"Ash", name(L"Zv_Track"), none, name(L"To"), none));
    EXPECT_EQ(Names{L"Dune"}, associators(L"Ash", name(L"Zv_Ferry"), name(L"Zv_Station"),
                                          name(L"From"), name(L"To")));
    EXPECT_EQ(Names{}, associators(L"Ash", none, name(L"Zv_Track"), none, none));
    EXPECT_EQ(Names{L"Ash"}, associators(L"Dune", none, none, none, none));
    EXPECT_EQ(Names{}, associators(L"Dune", none, none, name(L"From"), none));
}

TEST_F(Associations, ReferencesGiveTheAssociationsByClassAndRole) {
    const WmiObjectPath ash = path(L"Zv_Station.Name=\"Ash\"");
    EXPECT_EQ((Names{L"Zv_Track", L"Zv_Track", L"Zv_Track", L"Zv_Ferry"}),
              values(handle.references(*context, ash, none, none), L"__CLASS"));
    EXPECT_EQ((Names{L"Zv_Track"}),
              values(handle.references(*context, ash, none, name(L"To")), L"__CLASS"));
    EXPECT_EQ((Names{L"Zv_Ferry"}),
              values(handle.references(*context, ash, name(L"Zv_Ferry"), none), L"__CLASS"));
    EXPECT_EQ((Names{L"Zv_Station.Name=\"Ash\""}),
              values(handle.references(*context, ash, name(L"Zv_Ferry"), name(L"From")), L"From"));
}

TEST_F(Associations, ResultsCarryTheirPathsAndReadAgain) {
    const WmiObjectEnumeration found =
        handle.associators(*context, path(L"Zv_Station.Name=\"Dune\""), none, none, none, none);
    ASSERT_TRUE(found.hasNext());
    const WmiInstance ash(found.getNext());
    const WmiObjectPath ashPath = ash.getPath();
    EXPECT_EQ(text(ashPath.getClassName()), L"Zv_Station");
    const WmiInstance again = handle.getInstance(*context, ashPath);
    const _variant_t name = again.getProperty(L"Name").getValue();
    EXPECT_EQ(text(V_BSTR(&name)), L"Ash");
    EXPECT_FALSE(found.hasNext());
}

TEST_F(Associations, FailuresRaiseTheQuerysStatus) {
    for (const bool references : {false, true}) {
        try {
            const WmiObjectPath missing = path(L"Zv_Station.Name=\"Nowhere\"");
            if (references)
                handle.references(*context, missing, none, none);
            else
                handle.associators(*context, missing, none, none, none, none);
            ADD_FAILURE() << "no WmiException";
        } catch (const WmiException& e) {
            EXPECT_EQ(e.getCode(), static_cast<long>(WBEM_E_NOT_FOUND));
            EXPECT_EQ(text(e.getMessage()), L"IWbemServices::ExecQuery() failed");
        }
    }
    try {
        handle.associators(*context, path(L"Zv_Nothing.Name=\"x\""), none, none, none, none);
        ADD_FAILURE() << "no WmiException";
    } catch (const WmiException& e) {
        EXPECT_EQ(e.getCode(), static_cast<long>(WBEM_E_INVALID_CLASS));
    }
}
