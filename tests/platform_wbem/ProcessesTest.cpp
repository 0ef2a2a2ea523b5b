// The repository shared by processes: concurrent writers lose nothing, a killed writer loses
// nothing that it was told was stored, a class changed in one process is seen by the next call
// in another, and a file that is no repository is refused and left as it was.
#include "WbemTesting.h"

#ifndef _WIN32
#include <sqlite3.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

extern char** environ;

using namespace wbem_testing;

namespace {

// ---- The child processes: this program again, told by its environment what to do.

constexpr const char* kRole = "ZUDAVA_WBEM_TEST_ROLE";

IWbemServicesPtr childConnect(const char* nameSpace) {
    IWbemLocatorPtr locator;
    if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                reinterpret_cast<void**>(&locator))))
        _exit(10);
    IWbemServicesPtr services;
    if (FAILED(locator->ConnectServer(_bstr_t(nameSpace), nullptr, nullptr, nullptr, 0, nullptr,
                                      nullptr, &services)))
        _exit(11);
    return services;
}

// put <namespace> <first id> <count>: stores Item instances one call each and writes each id
// to standard output once its call has returned success.
int childPut(char** argv) {
    IWbemServicesPtr services = childConnect(argv[0]);
    const long first = std::atol(argv[1]);
    const long count = std::atol(argv[2]);
    IWbemClassObjectPtr cls;
    if (FAILED(services->GetObject(_bstr_t(L"Item"), 0, nullptr, &cls, nullptr)))
        return 12;
    for (long id = first; id < first + count; ++id) {
        IWbemClassObjectPtr instance;
        if (FAILED(cls->SpawnInstance(0, &instance)))
            return 13;
        _variant_t value(id);
        instance->Put(L"Id", 0, &value, 0);
        const HRESULT hr = services->PutInstance(instance, WBEM_FLAG_CREATE_ONLY, nullptr, nullptr);
        if (hr != S_OK) {
            std::fprintf(stderr, "PutInstance %ld: 0x%08x\n", id, static_cast<unsigned>(hr));
            return 14;
        }
        const std::string line = std::to_string(id) + "\n";
        if (write(1, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
            return 15;
    }
    return 0;
}

// addProperty <namespace> <class> <property>: adds a string property to a stored class.
int childAddProperty(char** argv) {
    IWbemServicesPtr services = childConnect(argv[0]);
    IWbemClassObjectPtr cls;
    if (FAILED(services->GetObject(_bstr_t(argv[1]), 0, nullptr, &cls, nullptr)))
        return 12;
    _variant_t value(L"added elsewhere");
    if (FAILED(cls->Put(_bstr_t(argv[2]), 0, &value, CIM_STRING)))
        return 13;
    return FAILED(services->PutClass(cls, WBEM_FLAG_UPDATE_ONLY, nullptr, nullptr)) ? 14 : 0;
}

// replaceClass <namespace> <class> <superclass> <property>: deletes the class if stored and
// stores it anew below the superclass, with one string property.
int childReplaceClass(char** argv) {
    IWbemServicesPtr services = childConnect(argv[0]);
    const HRESULT gone = services->DeleteClass(_bstr_t(argv[1]), 0, nullptr, nullptr);
    if (FAILED(gone) && gone != WBEM_E_NOT_FOUND)
        return 12;
    IWbemClassObjectPtr parent, cls;
    if (FAILED(services->GetObject(_bstr_t(argv[2]), 0, nullptr, &parent, nullptr)) ||
        FAILED(parent->SpawnDerivedClass(0, &cls)))
        return 13;
    _variant_t name(argv[1]), value(L"added elsewhere");
    if (FAILED(cls->Put(L"__CLASS", 0, &name, 0)) ||
        FAILED(cls->Put(_bstr_t(argv[3]), 0, &value, CIM_STRING)))
        return 14;
    return FAILED(services->PutClass(cls, WBEM_FLAG_CREATE_ONLY, nullptr, nullptr)) ? 15 : 0;
}

// Runs before the test program's main when this process is a child.
const bool g_childRan = [] {
    const char* role = std::getenv(kRole);
    if (!role)
        return false;
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    std::ifstream argsFile(std::getenv("ZUDAVA_WBEM_TEST_ARGS"));
    std::vector<std::string> words{std::istream_iterator<std::string>(argsFile), {}};
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(&word[0]);
    argv.push_back(nullptr);
    int code = 9;
    if (std::strcmp(role, "put") == 0)
        code = childPut(argv.data());
    else if (std::strcmp(role, "addProperty") == 0)
        code = childAddProperty(argv.data());
    else if (std::strcmp(role, "replaceClass") == 0)
        code = childReplaceClass(argv.data());
    _exit(code);
}();

// A child process running one role, its standard output on a pipe.
class Child {
public:
    Child(const char* role, const std::vector<std::string>& args) {
        static int serial = 0;
        m_argsFile = std::string(std::getenv("ZUDAVA_STATE_DIR")) + "/child-args-" +
                     std::to_string(++serial);
        {
            std::ofstream out(m_argsFile);
            for (const std::string& arg : args)
                out << arg << "\n";
        }
        int pipeFds[2];
        EXPECT_EQ(0, pipe(pipeFds));
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e)
            env.emplace_back(*e);
        env.push_back(std::string(kRole) + "=" + role);
        env.push_back("ZUDAVA_WBEM_TEST_ARGS=" + m_argsFile);
        std::vector<char*> envp;
        for (std::string& e : env)
            envp.push_back(&e[0]);
        envp.push_back(nullptr);
        char self[] = "/proc/self/exe";
        char* argv[] = {self, nullptr};
        EXPECT_EQ(0, posix_spawn(&m_pid, "/proc/self/exe", &actions, nullptr, argv, envp.data()));
        posix_spawn_file_actions_destroy(&actions);
        close(pipeFds[1]);
        m_out = fdopen(pipeFds[0], "r");
    }
    ~Child() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_out)
            std::fclose(m_out);
        std::remove(m_argsFile.c_str());
    }

    // The next line the child wrote, or false at its end.
    bool readLine(std::string& line) {
        char buffer[64];
        if (!std::fgets(buffer, sizeof buffer, m_out))
            return false;
        line = buffer;
        return true;
    }
    int wait() {
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }
    void killNow() {
        kill(m_pid, SIGKILL);
        wait();
    }

private:
    pid_t m_pid = 0;
    FILE* m_out = nullptr;
    std::string m_argsFile;
};

class WbemProcesses : public WbemTest {
protected:
    void SetUp() override {
        WbemTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(defineClass(L"Item", nullptr, {{L"Id", CIM_SINT32, true}}));
    }

    std::string nameSpace() const { return narrow(m_path); }

    std::set<long> storedIds() {
        IEnumWbemClassObjectPtr enumerator;
        EXPECT_EQ(S_OK, m_services->CreateInstanceEnum(_bstr_t(L"Item"), WBEM_FLAG_FORWARD_ONLY,
                                                       nullptr, &enumerator));
        std::set<long> ids;
        for (const auto& o : drain(enumerator))
            ids.insert(get(o, L"Id").lVal);
        return ids;
    }

    static std::string repositoryFile() {
        return std::string(std::getenv("ZUDAVA_STATE_DIR")) + "/repository.sqlite";
    }
};

TEST_F(WbemProcesses, TwoProcessesStoringAtOnceLoseNothing) {
    constexpr long kEach = 10000;
    Child first("put", {nameSpace(), "0", std::to_string(kEach)});
    Child second("put", {nameSpace(), std::to_string(kEach), std::to_string(kEach)});
    EXPECT_EQ(0, first.wait());
    EXPECT_EQ(0, second.wait());
    const std::set<long> ids = storedIds();
    EXPECT_EQ(static_cast<size_t>(2 * kEach), ids.size());
    if (!ids.empty()) {
        EXPECT_EQ(0, *ids.begin());
        EXPECT_EQ(2 * kEach - 1, *ids.rbegin());
    }
}

TEST_F(WbemProcesses, AKilledWriterLosesNothingItWasToldWasStored) {
    Child writer("put", {nameSpace(), "0", "1000000"});
    std::set<long> reported;
    std::string line;
    while (reported.size() < 300 && writer.readLine(line))
        reported.insert(std::atol(line.c_str()));
    writer.killNow();
    // Whatever the pipe still held was also reported before the kill.
    while (writer.readLine(line))
        reported.insert(std::atol(line.c_str()));
    ASSERT_GE(reported.size(), 300u);
    const std::set<long> stored = storedIds();
    for (long id : reported)
        ASSERT_TRUE(stored.count(id)) << "lost " << id;
    // At most the one call under way when the kill came was stored without being reported.
    EXPECT_LE(stored.size(), reported.size() + 1);

    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK,
              sqlite3_open_v2(repositoryFile().c_str(), &db, SQLITE_OPEN_READONLY, nullptr));
    sqlite3_stmt* check = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr));
    ASSERT_EQ(SQLITE_ROW, sqlite3_step(check));
    EXPECT_STREQ("ok", reinterpret_cast<const char*>(sqlite3_column_text(check, 0)));
    sqlite3_finalize(check);
    sqlite3_close(db);
}

TEST_F(WbemProcesses, AClassChangedInAnotherProcessIsSeenByTheNextCall) {
    IWbemClassObjectPtr before = object(L"Item");
    EXPECT_EQ(status(WBEM_E_NOT_FOUND), before->Get(L"Colour", 0, nullptr, nullptr, nullptr));
    Child changer("addProperty", {nameSpace(), "Item", "Colour"});
    ASSERT_EQ(0, changer.wait());
    EXPECT_EQ(L"added elsewhere", text(object(L"Item"), L"Colour"));
    IWbemClassObjectPtr instance = spawn(L"Item");
    EXPECT_EQ(L"added elsewhere", text(instance, L"Colour"));
}

// The per-process class cache outlives this process's own new classes, so it must still notice
// what another process changed and what an update here changed.
TEST_F(WbemProcesses, TheClassCacheFollowsChangesMadeHereAndElsewhere) {
    ASSERT_TRUE(defineClass(L"Part", L"Item", {}));
    ASSERT_TRUE(object(L"Part"));
    Child changer("addProperty", {nameSpace(), "Item", "Colour"});
    ASSERT_EQ(0, changer.wait());
    ASSERT_TRUE(defineClass(L"Piece", L"Part", {}));
    EXPECT_EQ(L"added elsewhere", text(object(L"Piece"), L"Colour"));
    EXPECT_EQ(L"added elsewhere", text(object(L"Part"), L"Colour"));

    IWbemClassObjectPtr part = object(L"Part");
    _variant_t size(L"set here");
    ASSERT_EQ(S_OK, part->Put(L"Size", 0, &size, CIM_STRING));
    ASSERT_EQ(S_OK, m_services->PutClass(part, WBEM_FLAG_UPDATE_ONLY, nullptr, nullptr));
    EXPECT_EQ(L"set here", text(object(L"Piece"), L"Size"));
    ASSERT_TRUE(defineClass(L"Bit", L"Piece", {}));
    EXPECT_EQ(L"set here", text(object(L"Bit"), L"Size"));
    EXPECT_EQ(L"added elsewhere", text(spawn(L"Bit"), L"Colour"));
}

// A class another process adds is no change to any class cached here, yet it must be found
// here at once, as must one deleted and stored anew there (possibly under the same row id).
TEST_F(WbemProcesses, ClassesAddedOrReplacedElsewhereAreSeenByTheNextCall) {
    ASSERT_TRUE(defineClass(L"Part", L"Item", {}));
    ASSERT_TRUE(object(L"Part"));
    IWbemClassObjectPtr missing;
    EXPECT_EQ(status(WBEM_E_NOT_FOUND),
              m_services->GetObject(_bstr_t(L"Piece"), 0, nullptr, &missing, nullptr));

    Child adder("replaceClass", {nameSpace(), "Piece", "Part", "Colour"});
    ASSERT_EQ(0, adder.wait());
    IWbemClassObjectPtr piece = object(L"Piece");
    ASSERT_TRUE(piece);
    EXPECT_EQ(L"Part", text(piece, L"__SUPERCLASS"));
    EXPECT_EQ(L"added elsewhere", text(piece, L"Colour"));
    IEnumWbemClassObjectPtr children;
    ASSERT_EQ(S_OK,
              m_services->CreateClassEnum(_bstr_t(L"Part"), WBEM_FLAG_SHALLOW, nullptr, &children));
    const auto found = drain(children);
    ASSERT_EQ(1u, found.size());
    EXPECT_EQ(L"Piece", text(found[0], L"__CLASS"));

    Child replacer("replaceClass", {nameSpace(), "Piece", "Item", "Shade"});
    ASSERT_EQ(0, replacer.wait());
    piece = object(L"Piece");
    ASSERT_TRUE(piece);
    EXPECT_EQ(L"Item", text(piece, L"__SUPERCLASS"));
    EXPECT_EQ(L"added elsewhere", text(piece, L"Shade"));
    EXPECT_EQ(status(WBEM_E_NOT_FOUND), piece->Get(L"Colour", 0, nullptr, nullptr, nullptr));
}

// A state folder of its own for one test, with a repository file made by the test.
class StateFolder {
public:
    explicit StateFolder(const std::string& content) {
        m_saved = std::getenv("ZUDAVA_STATE_DIR");
        m_folder = m_saved + "/other-machine";
        std::filesystem::create_directories(m_folder);
        m_file = m_folder + "/repository.sqlite";
        std::ofstream(m_file, std::ios::binary) << content;
        setenv("ZUDAVA_STATE_DIR", m_folder.c_str(), 1);
    }
    ~StateFolder() { setenv("ZUDAVA_STATE_DIR", m_saved.c_str(), 1); }
    std::string content() const {
        std::ifstream in(m_file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    std::string m_saved, m_folder, m_file;
};

TEST(WbemRepositoryFile, AFileThatIsNoRepositoryGivesACriticalErrorAndIsLeftAsItWas) {
    ComScope com;
    IWbemLocatorPtr locator;
    locator.Attach(makeLocator().Detach());
    std::string garbage(8192, '\0');
    for (std::size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<char>(i * 7 + 3);
    StateFolder folder(garbage);
    IWbemServicesPtr services;
    EXPECT_EQ(status(WBEM_E_CRITICAL_ERROR), connect(locator, L"root\\cimv2", services));
    EXPECT_EQ(status(WBEM_E_CRITICAL_ERROR), connect(locator, L"root\\cimv2", services));
    EXPECT_EQ(garbage, folder.content());
}

TEST(WbemRepositoryFile, ADatabaseOfAnotherKindIsLeftAsItWas) {
    ComScope com;
    IWbemLocatorPtr locator;
    locator.Attach(makeLocator().Detach());
    StateFolder folder("");
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(SQLITE_OK,
                  sqlite3_open(
                      (std::string(std::getenv("ZUDAVA_STATE_DIR")) + "/repository.sqlite").c_str(),
                      &db));
        sqlite3_exec(db, "CREATE TABLE notes(text); INSERT INTO notes VALUES('mine')", nullptr,
                     nullptr, nullptr);
        sqlite3_close(db);
    }
    const std::string before = folder.content();
    IWbemServicesPtr services;
    EXPECT_EQ(status(WBEM_E_CRITICAL_ERROR), connect(locator, L"root", services));
    EXPECT_EQ(before, folder.content());
}

} // namespace
#endif
