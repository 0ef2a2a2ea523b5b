#include "Folder.h"

#include <algorithm>

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using DEZE::PropertyFile;
using Keys = std::vector<std::wstring>;

class PropertyFileTest : public FolderTest {
protected:
    // Loads `text`, lets `change` work on the file, saves, and returns the saved text.
    template <typename Change>
    std::string roundTrip(const std::string& text, Change change) {
        const std::wstring name = path(L"p.properties");
        write(name, text);
        PropertyFile file{DEZE::File::Path(name)};
        file.open(0x80000003); // binary: line ends byte for byte on every host
        change(file);
        file.close();
        return read(name);
    }
    std::string roundTrip(const std::string& text) {
        return roundTrip(text, [](PropertyFile&) {});
    }
};

TEST_F(PropertyFileTest, KeepsTheLayoutOfWhatItReads) {
    const std::string text = "# settings\nPort=5988\nname = x\n";
    EXPECT_EQ(roundTrip(text,
                        [](PropertyFile& file) {
                            EXPECT_EQ(file.enumerateKeys(),
                                      (Keys{L"#", L"\n", L"Port", L"\n", L"name ", L"\n"}));
                            EXPECT_EQ(file.getValue(L"port"), L"5988");
                            EXPECT_EQ(file.getValue(L"NAME "), L" x");
                            EXPECT_EQ(file.getValue(L"name"), L"");
                        }),
              text);
    EXPECT_EQ(roundTrip("a=1\n\n\nb=2"), "a=1\n\n\nb=2"); // no line feed at the end stays so
    EXPECT_EQ(roundTrip(""), "");
}

TEST_F(PropertyFileTest, OddLinesFollowFixedRules) {
    EXPECT_EQ(roundTrip("; note\n#text\n  # spaced  \n"), "# note\n#\n# spaced\n");
    EXPECT_EQ(roundTrip("=x\nnothing\n \t \na=b=c\n\tk\t=\tv\t\n"), "\n\n\na=b=c\nk\t=\tv\n");
    EXPECT_EQ(roundTrip(std::string("k\0ey=va\0lue\n", 12)), "k=va\n");
    roundTrip("a=b=c\n", [](PropertyFile& file) { EXPECT_EQ(file.getValue(L"a"), L"b=c"); });
}

TEST_F(PropertyFileTest, ChangesGoWhereUsersExpectThem) {
    EXPECT_EQ(roundTrip("a=1\nA=2\n",
                        [](PropertyFile& file) {
                            EXPECT_EQ(file.getValue(L"a"), L"1");
                            file.setValue(L"A", L"3");
                        }),
              "a=3\nA=2\n");
    EXPECT_EQ(roundTrip("a=1\nb=2\n", [](PropertyFile& file) { file.removeKey(L"A"); }), "\nb=2\n");
    EXPECT_EQ(roundTrip("a=1\n",
                        [](PropertyFile& file) {
                            file.setValue(L"b", L"2");
                            file.setValue(L"c", L"3");
                            file.createKey(L"d");
                            file.createKey(L"B");
                            file.removeKey(L"missing");
                        }),
              "a=1\nb=2\nc=3\nd=");
    EXPECT_EQ(roundTrip("a=1", [](PropertyFile& file) { file.setValue(L"b", L"2"); }), "a=1\nb=2");
}

TEST_F(PropertyFileTest, ReadOnlyModeNeverWrites) {
    const std::wstring name = path(L"r.properties");
    write(name, "a=1\n");
    {
        PropertyFile file{DEZE::File::Path(name)};
        file.open(0x1);
        file.setValue(L"a", L"2");
    }
    EXPECT_EQ(read(name), "a=1\n");

    PropertyFile file{DEZE::File::Path(name)};
    file.open(0x80000003);
    file.setValue(L"a", L"2");
    file.synchronize(); // saves and reloads
    EXPECT_EQ(read(name), "a=2\n");
    EXPECT_EQ(file.getValue(L"a"), L"2");
    file.close();

    // Text mode writes the host's line ends and reads them back as line feeds.
    FILE* text = nullptr;
    ASSERT_EQ(fopen_s(&text, narrowPath(L"text.txt").c_str(), "w"), 0);
    fputs("a=2\nb=3", text);
    fclose(text);
    const std::string hostText = read(path(L"text.txt"));
    file.open(0x3);
    file.setValue(L"b", L"3");
    file.close();
    EXPECT_EQ(read(name), hostText);
    file.open(0x1);
    EXPECT_EQ(file.enumerateKeys(), (Keys{L"a", L"\n", L"b"}));
}

// A file written on Windows reads the same on every host in text mode: CR LF is a line end, a CR
// elsewhere is text. Binary mode keeps every byte.
TEST_F(PropertyFileTest, TextModeReadsWindowsLineEnds) {
    const std::wstring name = path(L"crlf.properties");
    write(name, "supportedNamespaces=root\\cimv2\r\n# note\r\n\r\nodd=a\rb\r\nlast=1\r");
    PropertyFile file{DEZE::File::Path(name)};
    file.open(0x1);
    EXPECT_EQ(file.getValue(L"supportedNamespaces"), L"root\\cimv2");
    EXPECT_EQ(file.getValue(L"odd"), L"a\rb");
    EXPECT_EQ(file.getValue(L"last"), L"1\r");
    EXPECT_EQ(file.enumerateKeys(),
              (Keys{L"supportedNamespaces", L"\n", L"#", L"\n", L"\n", L"odd", L"\n", L"last"}));
    file.close();
    file.open(0x80000001);
    EXPECT_EQ(file.getValue(L"supportedNamespaces"), L"root\\cimv2\r");
}

#ifndef _WIN32
// A save that cannot be written whole (here: past the process's file size limit) throws, leaves the
// old file as it was and gives the lock back.
TEST_F(PropertyFileTest, FailedSaveKeepsTheOldFileAndGivesTheLockBack) {
    const std::wstring name = path(L"p.properties");
    write(name, "a=1\n");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit = {1000, 1000};
        setrlimit(RLIMIT_FSIZE, &limit);
        PropertyFile file{DEZE::File::Path(name)};
        file.open(0x3);
        file.setValue(L"a", std::wstring(5000, L'x'));
        try {
            file.close();
            _exit(1);
        } catch (const std::runtime_error& error) {
            if (std::string(error.what()) != "failed to write to file")
                _exit(2);
        }
        if (read(name) != "a=1\n")
            _exit(3);
        if (!finishesOnAnotherThread([&] { file.getValue(L"a"); }))
            _exit(4);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: no exception, 2: wrong message, 3: file changed, "
                                         "4: lock kept";
    EXPECT_EQ(read(name), "a=1\n");
}
#endif
