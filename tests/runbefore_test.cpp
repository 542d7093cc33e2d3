// The list of programs run before the exit: its stored form and the runner.
#include "support.h"
#include "exit/runbefore_internal.h"

namespace {

using Strings = std::vector<std::string>;
using ::testing::IsEmpty;

class ProgramList : public ProgramTest {
  protected:
    static void SetEntries(const Strings& entries) {
        for (size_t i = 0; i < 4; i++)
            lstrcpyA(Settings.ProgramEntry[i], i < entries.size() ? entries[i].c_str() : "");
    }
    static Strings Entries() {
        Strings entries;
        for (const auto& entry : Settings.ProgramEntry)
            entries.push_back(entry);
        return entries;
    }
};

TEST_F(ProgramList, Join) {
    const struct {
        Strings entries;
        const char* joined;
    } cases[] = {
        {{"", "", "", ""}, ""},
        {{"c:\\tools\\backup.exe /q", "", "report.doc", ""}, "c:\\tools\\backup.exe /q;report.doc;"},
        {{"a.exe", "", "b.doc", ""}, "a.exe;b.doc;"},
        {{"", "", "", "d"}, "d;"},
        {{"a;b", "c", "", ""}, "a;b;c;"},
    };
    for (const auto& c : cases) {
        SetEntries(c.entries);
        JoinProgramList();
        EXPECT_STREQ(Settings.ProgramsToRun, c.joined);
    }
}

TEST_F(ProgramList, Split) {
    const struct {
        std::string stored;
        Strings entries;
    } cases[] = {
        {"", {"", "", "", ""}},
        {";;x.bat;;", {"x.bat", "", "", ""}},
        {"a;b;c;d;e", {"a", "b", "c", "d"}},
        {"a;b", {"a", "b", "", ""}},
        {"c:\\tools\\backup.exe /q;report.doc;", {"c:\\tools\\backup.exe /q", "report.doc", "", ""}},
        {"   ;", {"   ", "", "", ""}},
        // A token too long for an entry is never cut into a different command.
        {std::string(259, 'a') + ";b", {std::string(259, 'a'), "b", "", ""}},
        {std::string(260, 'a') + ";b", {"", "b", "", ""}},
        {"x;" + std::string(1000, 'l'), {"x", "", "", ""}},
    };
    for (const auto& c : cases) {
        SetEntries({"stale", "stale", "stale", "stale"});
        lstrcpyA(Settings.ProgramsToRun, c.stored.c_str());
        SplitProgramList();
        EXPECT_EQ(Entries(), c.entries) << c.stored.substr(0, 40);
    }
}

TEST_F(ProgramList, JoinSplitJoinIsStableAndFitsTheField) {
    // Four entries as long as a stored list can make them: the separators must not push past the field,
    // and no entry is lost for them.
    std::string full = std::string(255, 'a') + ";" + std::string(255, 'b') + ";" + std::string(255, 'c') +
                       ";" + std::string(255, 'd');
    ASSERT_EQ(full.size(), 1023u);
    lstrcpyA(Settings.ProgramsToRun, full.c_str());
    SplitProgramList();
    JoinProgramList();
    EXPECT_TRUE(Terminated(Settings.ProgramsToRun, sizeof Settings.ProgramsToRun));
    std::string once = Settings.ProgramsToRun;
    EXPECT_EQ(once, full) << "every entry kept; only the last separator is left out";
    SplitProgramList();
    JoinProgramList();
    EXPECT_EQ(std::string(Settings.ProgramsToRun), once);
}

TEST_F(ProgramList, ProgramExtension) {
    const struct {
        const char* text;
        bool program;
    } cases[] = {
        {"notepad.exe readme.txt", true},
        {"NOTEPAD.EXE", false},
        {"report.doc", false},
        {"c:\\x.exec\\a.txt", true},
        {"run.bat", true},
        {"x.com", true},
        {"old.pif", true},
        {"y.cmd", true},
        {"", false},
        {"exe", false},
        {".ex", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HasProgramExtension(c.text), c.program) << c.text;
}

TEST_F(ProgramList, RunsEachInTurnWaitingForItToEnd) {
    SetEntries({"notepad.exe readme.txt", "", "report.doc", "   "});
    Settings.MainWindow = (HWND)0x1234;
    sim::planProcess({true, 3000});
    sim::planProcess({true, 2000});
    sim::planProcess({false});
    RunProgramsBeforeExit();
    EXPECT_EQ(sim::requestStrings(), (Strings{"CreateProcessA(NULL,\"notepad.exe readme.txt\",0,0)",
                                              "ShellExecuteExA(64,\"report.doc\",NULL,NULL,NULL,1)",
                                              "ShellExecuteExA(64,\"   \",NULL,NULL,NULL,1)"}));
    const std::vector<sim::Request>& requests = sim::requests();
    EXPECT_EQ(requests[1].time - requests[0].time, 3000u) << "the second starts when the first has ended";
    EXPECT_EQ(requests[2].time - requests[1].time, 2000u);
    EXPECT_EQ(sim::openHandleCount(), 0);
}

TEST_F(ProgramList, AFailedStartIsSkippedAndAShellWithoutProcessReturnsAtOnce) {
    SetEntries({"missing.exe", "open.doc", "next.exe", ""});
    sim::planProcess({false});
    sim::ProcessPlan noProcess;
    noProcess.noProcess = true;
    sim::planProcess(noProcess);
    sim::planProcess({true, 10});
    RunProgramsBeforeExit();
    EXPECT_EQ(sim::requestStrings().size(), 3u);
    EXPECT_EQ(sim::requests().back().kind, "CreateProcessA");
    EXPECT_THAT(sim::boxes(), IsEmpty()) << "no message of the program's own";
}

TEST_F(ProgramList, EmptyListStartsNothing) {
    RunProgramsBeforeExit();
    EXPECT_THAT(sim::requests(), IsEmpty());
}

} // namespace
