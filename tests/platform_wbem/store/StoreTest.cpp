// The repository's storage below the COM interfaces: schema, cascades, keys, creation order, the
// class generation other processes see, and files that are not repositories.
#include "store.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace {

using zp::wbem::Blob;
using zp::wbem::ClassRow;
using zp::wbem::RepositoryStore;
using zp::wbem::RowId;
using zp::wbem::StoreError;
using zp::wbem::Transaction;

std::string scratchFile(const char* name) {
    const std::string file = zp::wbem::machineStateFolder() + "/" + name;
    std::remove(file.c_str());
    std::remove((file + "-wal").c_str());
    std::remove((file + "-shm").c_str());
    return file;
}

std::string contentOf(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class RepositoryStoreTest : public testing::Test {
protected:
    RepositoryStore m_store{scratchFile("store.sqlite")};

    RowId makeNamespace(const std::wstring& name) {
        return m_store.write([&](Transaction& t) { return t.createNamespace(name); });
    }
    RowId makeClass(RowId ns, const std::wstring& name, RowId superclass = 0) {
        return m_store.write([&](Transaction& t) {
            ClassRow row;
            row.nameSpace = ns;
            row.name = name;
            row.superclass = superclass;
            row.definition = Blob{1, 2, 3};
            return t.insertClass(row);
        });
    }
    RowId makeInstance(RowId cls, const std::wstring& key) {
        return m_store.write([&](Transaction& t) {
            return t.insertInstance(cls, cls, key, Blob{9}, {{L"Ref", L"target"}});
        });
    }
};

TEST_F(RepositoryStoreTest, NamesKeepTheirCaseAndMatchWithoutIt) {
    const RowId ns = makeNamespace(L"Root\\CimV2");
    makeClass(ns, L"My_Class\u00C9");
    m_store.read([&](Transaction& t) {
        ASSERT_TRUE(t.findNamespace(L"ROOT\\cimv2"));
        EXPECT_EQ(t.findNamespace(L"root\\CIMV2")->name, L"Root\\CimV2");
        const auto found = t.findClass(ns, L"my_class\u00E9");
        ASSERT_TRUE(found);
        EXPECT_EQ(found->name, L"My_Class\u00C9");
        EXPECT_EQ(found->definition, (Blob{1, 2, 3}));
        EXPECT_FALSE(t.findClass(ns, L"My_Class"));
    });
}

TEST_F(RepositoryStoreTest, DeletingANamespaceTakesItsChildrenAndContentButNotItsSiblings) {
    makeNamespace(L"root");
    const RowId a = makeNamespace(L"root\\a");
    makeNamespace(L"root\\a\\b");
    makeNamespace(L"root\\ab");
    const RowId cls = makeClass(a, L"C");
    makeInstance(cls, L"k=1");
    m_store.write([](Transaction& t) { t.deleteNamespace(L"ROOT\\A"); });
    m_store.read([&](Transaction& t) {
        EXPECT_FALSE(t.findNamespace(L"root\\a"));
        EXPECT_FALSE(t.findNamespace(L"root\\a\\b"));
        EXPECT_TRUE(t.findNamespace(L"root\\ab"));
        EXPECT_TRUE(t.findNamespace(L"root"));
        EXPECT_FALSE(t.classById(cls));
        EXPECT_FALSE(t.findInstance(cls, L"k=1"));
    });
}

TEST_F(RepositoryStoreTest, DeletingAClassTakesDerivedClassesInstancesAndReferences) {
    const RowId ns = makeNamespace(L"root");
    const RowId base = makeClass(ns, L"Base");
    const RowId derived = makeClass(ns, L"Derived", base);
    const RowId other = makeClass(ns, L"Other");
    makeInstance(derived, L"k=1");
    makeInstance(other, L"k=1");
    m_store.read([&](Transaction& t) {
        EXPECT_TRUE(t.hasChildClasses(base));
        EXPECT_FALSE(t.hasChildClasses(derived));
        EXPECT_TRUE(t.hasInstances(derived));
        EXPECT_EQ(t.referrers(ns, L"target").size(), 2u);
    });
    m_store.write([&](Transaction& t) { t.deleteClass(base); });
    m_store.read([&](Transaction& t) {
        EXPECT_FALSE(t.classById(derived));
        EXPECT_TRUE(t.classById(other));
        ASSERT_EQ(t.referrers(ns, L"target").size(), 1u);
        EXPECT_EQ(t.referrers(ns, L"target")[0].classId, other);
    });
}

TEST_F(RepositoryStoreTest, AKeyIsUniqueWithinItsKeyRootAndAFailedWriteLeavesNothing) {
    const RowId ns = makeNamespace(L"root");
    const RowId cls = makeClass(ns, L"C");
    makeInstance(cls, L"k=1");
    EXPECT_THROW(m_store.write([&](Transaction& t) {
        t.insertInstance(cls, cls, L"k=2", Blob{}, {});
        t.insertInstance(cls, cls, L"k=1", Blob{}, {});
    }),
                 StoreError);
    m_store.read([&](Transaction& t) {
        EXPECT_FALSE(t.findInstance(cls, L"k=2")); // rolled back with the failing insert
        EXPECT_EQ(t.countInstances(cls), 1u);
    });
}

TEST_F(RepositoryStoreTest, InstancesComeInCreationOrderInBatchesAndKeepTheirPlaceWhenUpdated) {
    const RowId ns = makeNamespace(L"root");
    const RowId a = makeClass(ns, L"A");
    const RowId b = makeClass(ns, L"B", a);
    const RowId c = makeClass(ns, L"C");
    std::vector<RowId> expected;
    for (int i = 0; i < 10; ++i) {
        expected.push_back(makeInstance(i % 2 ? a : b, L"k=" + std::to_wstring(i)));
        makeInstance(c, L"k=" + std::to_wstring(i));
    }
    m_store.write([&](Transaction& t) { t.updateInstance(expected[0], b, Blob{7}, {}); });
    std::vector<RowId> seen;
    RowId after = 0;
    for (;;) {
        const auto batch = m_store.read([&](Transaction& t) {
            return t.instances({a, b}, after, 3);
        });
        if (batch.empty())
            break;
        EXPECT_LE(batch.size(), 3u);
        for (const auto& row : batch)
            seen.push_back(row.id);
        after = batch.back().id;
    }
    EXPECT_EQ(seen, expected);
    const auto onlyA = m_store.read([&](Transaction& t) { return t.instances({a}, 0, 100); });
    EXPECT_EQ(onlyA.size(), 5u);
}

TEST_F(RepositoryStoreTest, TheClassGenerationMovesForEveryConnectionWhenAClassChangesOrGoes) {
    RepositoryStore other(m_store.file()); // another process's view: its own connections
    const RowId ns = makeNamespace(L"root");
    auto generation = [](RepositoryStore& store) {
        return store.read([](Transaction& t) { return t.classGeneration(); });
    };
    const auto before = generation(other);
    // Adding a class (or instances) changes no class a cache may hold: the generation stays.
    const RowId c = makeClass(ns, L"C");
    const RowId d = makeClass(ns, L"D", c);
    makeInstance(c, L"k=1");
    EXPECT_EQ(before, generation(other));
    EXPECT_EQ(before, generation(m_store));

    m_store.write([&](Transaction& t) { t.updateClass(c, Blob{4, 5}); });
    const auto afterUpdate = generation(other);
    EXPECT_NE(before, afterUpdate);
    EXPECT_EQ(afterUpdate, generation(m_store));
    makeInstance(c, L"k=2");
    EXPECT_EQ(afterUpdate, generation(other));

    m_store.write([&](Transaction& t) { t.deleteClass(d); });
    const auto afterDelete = generation(other);
    EXPECT_NE(afterUpdate, afterDelete);
    EXPECT_NE(before, afterDelete);
    EXPECT_EQ(afterDelete, generation(m_store));
    // A class added where one went may take its id again; the deletion already moved on.
    makeClass(ns, L"D", c);
    EXPECT_EQ(afterDelete, generation(other));
}

TEST(RepositoryStoreFile, AFileThatIsNoDatabaseIsRefusedAndLeftUntouched) {
    const std::string file = scratchFile("text.sqlite");
    const std::string text(4096, 'x');
    std::ofstream(file, std::ios::binary) << text;
    try {
        RepositoryStore store(file);
        FAIL() << "opened a text file";
    } catch (const StoreError& e) {
        EXPECT_EQ(e.kind(), StoreError::Kind::NotARepository);
        EXPECT_NE(std::string(e.what()).find(file), std::string::npos) << e.what();
    }
    EXPECT_EQ(contentOf(file), text);
}

TEST(RepositoryStoreFile, ADatabaseOfAnotherKindIsRefusedAndLeftUntouched) {
    const std::string file = scratchFile("other.sqlite");
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "CREATE TABLE t(x); INSERT INTO t VALUES(1)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    const std::string before = contentOf(file);
    try {
        RepositoryStore store(file);
        FAIL() << "opened a foreign database";
    } catch (const StoreError& e) {
        EXPECT_EQ(e.kind(), StoreError::Kind::NotARepository);
        EXPECT_NE(std::string(e.what()).find("left untouched"), std::string::npos) << e.what();
    }
    EXPECT_EQ(contentOf(file), before);
}

TEST(RepositoryStoreFile, ADamagedRepositoryFailsCleanly) {
    const std::string file = scratchFile("damaged.sqlite");
    {
        RepositoryStore store(file);
        const RowId ns = store.write([](Transaction& t) { return t.createNamespace(L"root"); });
        for (int i = 0; i < 200; ++i) {
            store.write([&](Transaction& t) {
                ClassRow row;
                row.nameSpace = ns;
                row.name = L"C" + std::to_wstring(i);
                row.definition = Blob(500, 0x55);
                t.insertClass(row);
            });
        }
    }
    { // checkpoint and leave WAL mode so that the damage below is in the main file
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
        sqlite3_exec(db, "PRAGMA journal_mode = DELETE", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    std::string bytes = contentOf(file);
    ASSERT_GT(bytes.size(), 8192u);
    for (std::size_t i = 4096; i < bytes.size(); i += 7)
        bytes[i] = static_cast<char>(0xA5);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
    bool failed = false;
    try {
        RepositoryStore store(file);
        store.read([](Transaction& t) {
            const auto ns = t.findNamespace(L"root");
            if (ns)
                t.allClasses(ns->id);
        });
    } catch (const StoreError& e) {
        failed = true;
        EXPECT_NE(e.kind(), StoreError::Kind::Unavailable) << e.what();
    }
    EXPECT_TRUE(failed);
}

} // namespace
