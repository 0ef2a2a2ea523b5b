#include "Folder.h"

#include <iomanip>
#include <regex>
#include <sstream>

using DEZE::log_ofstream;

class LogStreamTest : public FolderTest {
protected:
    // The switches read from a configuration file holding `text`.
    std::pair<int, int> switches(const std::string& text) {
        const std::wstring config = path(L"log.config");
        write(config, text);
        log_ofstream log(narrowPath(L"unused.log"), DEZE::make_string(config));
        return {log.isLoggingEnabled(), log.isTraceEnabled()};
    }
    static long long sizeOf(const std::wstring& name) {
        const std::string bytes = read(name);
        return bytes == "<missing>" ? -1 : static_cast<long long>(bytes.size());
    }
};

TEST_F(LogStreamTest, SwitchesComeFromTheConfigurationFile) {
    using Pair = std::pair<int, int>;
    EXPECT_EQ(switches("log.cpa = on\ntrace.cpa=off\n"), Pair(1, 0));
    EXPECT_EQ(switches("  trace.cpa\t=\ton  \r\nlog.cpa=on"), Pair(1, 1));
    EXPECT_EQ(switches("# written on Windows\r\nlog.cpa=on\r\ntrace.cpa=on\r\n"), Pair(1, 1));
    EXPECT_EQ(switches("log.cpa on\nlog.cpax = on\ntrace.cpa = On\n# log.cpa = on\n"), Pair(0, 0));
    EXPECT_EQ(switches("log.cpa=on\nlog.cpa=off\n"), Pair(0, 0));
    EXPECT_EQ(switches("log.cpa=on\nlog.cpa=onward\ntrace.cpa=on\n"), Pair(0, 1));
    // A line longer than the reader's buffer is taken cut, and reading ends there.
    EXPECT_EQ(switches("log.cpa=on" + std::string(1100, ' ') + "\ntrace.cpa=on\n"), Pair(1, 0));

    log_ofstream missing(narrowPath(L"unused.log"), narrowPath(L"missing.config"));
    EXPECT_EQ(missing.isLoggingEnabled(), 0);
    EXPECT_EQ(missing.isTraceEnabled(), 0);
}

TEST_F(LogStreamTest, AppendsAndRotatesPastFourMebibytes) {
    const std::wstring name = path(L"agent.log");
    const std::wstring rotated = path(L"_agent.log");
    write(name, std::string(0x400000 - 1, 'a'));
    log_ofstream log(DEZE::make_string(name), narrowPath(L"none.config"));
    log.open();
    log << 'b';
    log.close();
    EXPECT_EQ(sizeOf(name), 0x400000); // exactly 4 MiB stays
    EXPECT_EQ(sizeOf(rotated), -1);

    log.open();
    log << 'c';
    log.close();
    EXPECT_EQ(sizeOf(name), -1);
    EXPECT_EQ(sizeOf(rotated), 0x400001);

    // The next rotation replaces the earlier one.
    write(name, std::string(0x400000, 'd'));
    log.open();
    log << "ef";
    log.close();
    EXPECT_EQ(sizeOf(rotated), 0x400002);
    EXPECT_EQ(read(rotated).substr(0x400000), "ef");

    log.open();
    log << "fresh";
    log.close();
    EXPECT_EQ(read(name), "fresh");
}

TEST_F(LogStreamTest, NamesTooLongForThePathPiecesAreNotRotated) {
    // 259 characters in all: past the runtime's 255 for a path piece, within MAX_PATH, so that
    // every host stores the file.
    ASSERT_LT(m_folder.size() + 1 + 4, 256u);
    const std::wstring last =
        std::wstring(MAX_PATH - 1 - (m_folder.size() + 1) - 4, L'n') + L".log";
    const std::wstring name = path(last);
    ASSERT_EQ(name.size(), MAX_PATH - 1u);
    write(name, std::string(0x400000, 'a'));
    ASSERT_EQ(sizeOf(name), 0x400000);
    log_ofstream log(DEZE::make_string(name), narrowPath(L"none.config"));
    log.open();
    log << "more";
    log.close();
    EXPECT_EQ(sizeOf(name), 0x400004);
    EXPECT_FALSE(DEZE::File::exists(path(L"_" + last)));
}

TEST_F(LogStreamTest, CloseResetsTheStreamForTheNextOpen) {
    log_ofstream log(narrowPath(L"missing-folder\\x.log"), narrowPath(L"none.config"));
    log.open();
    log << std::hex << 42;
    EXPECT_TRUE(log.fail()); // the file did not open; nothing is reported
    log.close();
    EXPECT_TRUE(log.good());
    // Every bit of the base field is set, which formats in decimal.
    EXPECT_EQ(log.flags() & std::ios_base::basefield,
              std::ios_base::dec | std::ios_base::oct | std::ios_base::hex);
    std::ostringstream reference;
    reference.flags(log.flags());
    reference << 255;
    EXPECT_EQ(reference.str(), "255");
}

TEST_F(LogStreamTest, SetLogFileNameDerivesTheNextFile) {
    // A dot anywhere in the stored name cuts it, folders included, so the name is relative.
    const std::wstring base = relativePath(L"agent.log");
    log_ofstream log(DEZE::make_string(base), narrowPath(L"none.config"));
    EXPECT_FALSE(log.setLogFileName(""));
    EXPECT_TRUE(log.setLogFileName("one|two - ignored"));
    path(L"agent_one_two.log");
    log.open();
    log << "x";
    log.close();
    EXPECT_EQ(read(m_folder + L"\\agent_one_two.log"), "x");
    EXPECT_EQ(sizeOf(base), -1);
    // The name grows from the current one, cut at its first dot.
    EXPECT_TRUE(log.setLogFileName("three"));
    path(L"agent_one_two_three.log");
    log.open();
    log.close();
    EXPECT_EQ(sizeOf(m_folder + L"\\agent_one_two_three.log"), 0);
}

TEST(LogManipulators, PadWithZerosInTheStreamsBase) {
    std::ostringstream out;
    out << DEZE::timestamp;
    EXPECT_TRUE(std::regex_match(out.str(), std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{4})")))
        << out.str();
    out << std::setw(3) << 7;
    EXPECT_EQ(out.str().substr(24), "007"); // the fill stays '0'

    std::ostringstream hex;
    hex << std::hex << DEZE::pid << ' ' << DEZE::tid;
    std::ostringstream expected;
    expected << std::hex << std::setfill('0') << std::setw(4) << GetCurrentProcessId() << ' '
             << std::setw(4) << GetCurrentThreadId();
    EXPECT_EQ(hex.str(), expected.str());
}

TEST(LogInserters, WriteCharacterByCharacter) {
    std::ostringstream out;
    DEZE::operator<<(out << std::setw(4), std::string("ab"));
    EXPECT_EQ(out.str(), "   ab"); // the width pads the first character only
    const std::string long300(300, 'z');
    std::ostringstream whole;
    DEZE::operator<<(whole, long300);
    EXPECT_EQ(whole.str(), long300);
    std::ostringstream wide;
    DEZE::operator<<(wide, std::wstring{wchar_t(0x141), L'b', wchar_t(0xE9)});
    EXPECT_EQ(wide.str(), "Ab\xE9");
}

TEST_F(LogStreamTest, OneOpenStreamAtATimeInTheProcess) {
    const std::string config = narrowPath(L"none.config");
    const std::string first = narrowPath(L"first.log");
    const std::string second = narrowPath(L"second.log");
    log_ofstream a(first, config);
    a.open();
    a.open(); // re-entrant for the same thread, and each open needs its close
    std::promise<void> opened;
    std::thread other([&] {
        log_ofstream b(second, config);
        b.open();
        opened.set_value();
        b.close();
    });
    std::future<void> done = opened.get_future();
    EXPECT_EQ(done.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
    a.close();
    EXPECT_EQ(done.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
    a.close();
    EXPECT_EQ(done.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    other.join();

    // A stream destroyed while open gives the lock back.
    {
        log_ofstream dropped(first, config);
        dropped.open();
        dropped << "line";
    }
    EXPECT_TRUE(finishesOnAnotherThread([&] {
        log_ofstream b(second, config);
        b.open();
        b.close();
    }));
    EXPECT_EQ(read(DEZE::make_wstring(first)), "line");
}
