// The session file: what it keeps survives a write and a read, entries it cannot use are left out
// and named, text that is no session is refused, and where the file goes.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "SessionFile.h"

namespace {

namespace fs = std::filesystem;

ProgramSession Sample() {
    ProgramSession s;
    s.program = "/home/ann/blink/main.ihx";
    s.breakpoints = {{"main.c", 12, "", -1, true}, {"", 0, "square", -1, false}, {"", 0, "", 0x0123, true}};
    SessionDataBreakpoint byName;
    byName.variable = "helper.c:hidden";
    byName.stop = "changes";
    SessionDataBreakpoint byAddress;
    byAddress.memory = "xram";
    byAddress.address = 0x1234;
    byAddress.stop = "equals";
    byAddress.value = 0x55;
    byAddress.enabled = false;
    s.dataBreakpoints = {byName, byAddress};
    s.sourceFolders = {"/home/ann/blink/src", "/tmp/\xC3\xA9t\xC3\xA9"};
    s.watchExpanded = {"origin", "origin/inner", "main.p"};
    s.logicSignals = {"P1.0", "main.c:tick.n"};
    s.windows = {{"Disassembly", 0, 0, 420, 300, "normal"}, {"Watch", -5, 310, 500, 200, "maximized"}};
    return s;
}

TEST(SessionFile, KeepsEverythingThroughAWriteAndARead) {
    const ProgramSession s = Sample();
    const SessionReadResult r = ReadSessionText(SessionText(s));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.problems.empty());
    EXPECT_EQ(r.session, s);
    // Addresses are written as the program's own hexadecimal texts.
    EXPECT_NE(SessionText(s).find("\"0123h\""), std::string::npos);
    EXPECT_NE(SessionText(s).find("\"1234h\""), std::string::npos);
}

TEST(SessionFile, LeavesOutWhatItCannotUseAndSaysWhat) {
    const SessionReadResult r = ReadSessionText(R"({
      "corvamat-session": 3, "future": {"kept": "elsewhere"},
      "breakpoints": [{"file": "main.c", "line": 7}, {"file": "main.c"}, {"line": 3}, 17,
                      {"address": "10000h"}, {"address": "FFFFh", "enabled": false}],
      "dataBreakpoints": [{"variable": "total"}, {"memory": "eeprom", "address": "10h"},
                          {"address": "80h", "stop": "equals"}, {"memory": "sfr", "address": "90h", "stop": "equals", "value": "FEh"}],
      "sourceFolders": ["src", 5, ""],
      "watchExpanded": "origin",
      "windows": [{"window": "Watch", "x": 1, "y": 2, "width": 0, "height": 5},
                  {"window": "Source", "x": 1, "y": 2, "width": 30, "height": 50, "state": "minimized"},
                  {"window": "Ports", "x": "1", "y": 2, "width": 30, "height": 50}]
    })");
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.session.breakpoints.size(), 2u);
    EXPECT_EQ(r.session.breakpoints[0].line, 7u);
    EXPECT_EQ(r.session.breakpoints[1].address, 0xFFFF);
    EXPECT_FALSE(r.session.breakpoints[1].enabled);
    ASSERT_EQ(r.session.dataBreakpoints.size(), 2u);
    EXPECT_EQ(r.session.dataBreakpoints[0].stop, "write");
    EXPECT_EQ(r.session.dataBreakpoints[1].value, 0xFE);
    EXPECT_EQ(r.session.sourceFolders, std::vector<std::string>{"src"});
    EXPECT_TRUE(r.session.watchExpanded.empty());
    ASSERT_EQ(r.session.windows.size(), 1u);
    EXPECT_EQ(r.session.windows[0].state, "minimized");
    // Four code breakpoints, two data breakpoints, two folders, the Watch list, two windows.
    EXPECT_EQ(r.problems.size(), 11u);
}

TEST(SessionFile, RefusesTextThatIsNoSession) {
    for (const char* text : {"", "{\"corvamat-session\": 1,\n  \"breakpoints\": [}", "[]", "{\"breakpoints\": []}",
                             "{\"corvamat-session\": \"one\"}", "{\"corvamat-session\": -1}"}) {
        const SessionReadResult r = ReadSessionText(text);
        EXPECT_FALSE(r.ok) << text;
        EXPECT_FALSE(r.error.empty());
    }
    EXPECT_NE(ReadSessionText("{\"corvamat-session\": 1,\n  \"breakpoints\": [}").error.find("line 2"), std::string::npos);
    EXPECT_FALSE(ReadSessionText(std::string(kMaxSessionFileSize + 1, ' ')).ok);
}

TEST(SessionFile, BesideTheProgramOrUnderTheConfigurationFolder) {
    const fs::path dir = fs::temp_directory_path() / ("corvamat-session-" + std::to_string(::getpid()));
    fs::create_directories(dir / "prog");
    const std::string program = (dir / "prog" / "main.ihx").string();
    const std::string config = (dir / "config").string();
    EXPECT_EQ(SessionPathBeside(program), (dir / "prog" / "main.corvamat-session").string());
    EXPECT_EQ(FindSessionFile(program, config), "");
    EXPECT_EQ(SessionWritePath(program, config), SessionPathBeside(program));

    // A folder that cannot be written (a read-only file system refuses the superuser too): the
    // configuration folder, with a name of its own for each program path.
    const std::string readOnly = "/proc/self/main.ihx";
    const std::string elsewhere = SessionWritePath(readOnly, config);
    EXPECT_EQ(elsewhere.rfind(config + "/sessions/main-", 0), 0u) << elsewhere;
    EXPECT_NE(SessionPathInConfig("/other/main.ihx", config), elsewhere);

    std::string error;
    ASSERT_TRUE(SaveSessionFile(elsewhere, Sample(), &error)) << error;  // creates the folders
    EXPECT_EQ(FindSessionFile(readOnly, config), elsewhere);
    bool missing = true;
    EXPECT_EQ(LoadSessionFile(elsewhere, &missing).session, Sample());
    EXPECT_FALSE(missing);
    ASSERT_TRUE(SaveSessionFile(SessionPathBeside(program), ProgramSession(), &error)) << error;
    EXPECT_EQ(FindSessionFile(program, config), SessionPathBeside(program));
    // Something that is no regular file is neither read nor written.
    fs::create_directory(dir / "prog" / "odd.corvamat-session");
    EXPECT_FALSE(LoadSessionFile((dir / "prog" / "odd.corvamat-session").string()).ok);
    EXPECT_NE(SessionWritePath((dir / "prog" / "odd.ihx").string(), config), (dir / "prog" / "odd.corvamat-session").string());
    fs::remove_all(dir);
}

}  // namespace
