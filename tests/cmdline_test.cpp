// The command line: its messages and checks in order, values, precedence over the stored settings, and
// hostile lines.
#include "support.h"
#include "config/cmdline.h"

namespace {

using ::testing::IsEmpty;

struct LineCase {
    const char* line;
    std::vector<std::string> stored; // name=value pairs put in the registry first
    std::vector<std::string> boxes;  // message texts expected, in order
    int result;
};

class CommandLine : public ProgramTest {
  protected:
    int Parse(const char* line) {
        StartupValues();
        return ParseCommandLine(line);
    }
    static void StoreAll(const std::vector<std::string>& pairs) {
        for (const std::string& pair : pairs) {
            size_t equals = pair.find('=');
            Store(pair.substr(0, equals), pair.substr(equals + 1));
        }
    }
};

TEST_F(CommandLine, MessagesAndResults) {
    const std::string tooMany = "Too many options specified";
    const std::string warnAlone = "The '/w' option can only be\nused with '/a' or '/t'";
    const std::string warnBigger = "Warning time is bigger than\ntimeout value";
    const std::string forced = "Screensaver cannot be forced";
    const std::string notStarted = "Timer not started (Invalid time ?)";
    const LineCase cases[] = {
        {"", {}, {}, 1},
        {"/e:s /e:b", {}, {tooMany}, 0},
        {"/e:s /e:s", {}, {}, 1},
        {"/x:s/f:f", {}, {forced}, 1},
        {"/t:60 /a", {}, {tooMany}, 0},
        {"/a", {"TimerFlag=1"}, {tooMany}, 0},
        {"/w:5", {}, {warnAlone}, 0},
        {"/w:5 /t:60", {}, {}, 1},
        {"/t:5 /w:10", {}, {warnBigger}, 0},
        {"/t:10 /w:10", {}, {}, 1},
        {"/a:250000", {}, {notStarted}, 0},
        {"", {"AtFlag=1", "AtValue=236000"}, {notStarted}, 0},
        {"/a:235959", {}, {}, 1},
        {"/a:2300000", {}, {notStarted}, 0},
        {"/w:1000000 /t:60", {}, {}, 1},
        // The first failing check wins: two exit types are reported before the warning combination.
        {"/e:s /x:h /w:5", {}, {tooMany}, 0},
        // Forcing the screensaver is reported, then the time of day is checked.
        {"/x:s /f:f /a:990000", {}, {forced, notStarted}, 0},
    };
    for (const LineCase& c : cases) {
        sim::reset();
        std::memset(&Settings, 0, sizeof Settings);
        StoreAll(c.stored);
        for (size_t i = 0; i < c.boxes.size(); i++)
            sim::expectBox(c.boxes[i], IDOK);
        EXPECT_EQ(Parse(c.line), c.result) << "line: " << c.line;
        EXPECT_EQ(BoxTexts(), c.boxes) << "line: " << c.line;
        for (const sim::MessageBoxCall& box : sim::boxes()) {
            EXPECT_EQ(box.style, (UINT)ErrorBoxStyle) << box.text;
            EXPECT_FALSE(box.caption.has_value()) << box.text;
            EXPECT_EQ(box.owner, nullptr) << box.text;
            EXPECT_EQ(box.beep, std::optional<UINT>(MB_ICONEXCLAMATION)) << box.text;
        }
    }
}

TEST_F(CommandLine, TwoExitTypesAreRejectedBeforeTheRegistryIsRead) {
    sim::expectBox("Too many options specified", IDOK);
    EXPECT_EQ(Parse("/e:s /e:b"), 0);
    EXPECT_THAT(sim::regCalls(), IsEmpty());
}

TEST_F(CommandLine, ScreensaverWithForceGoesOnWithForceOff) {
    sim::expectBox("Screensaver cannot be forced", IDOK);
    EXPECT_EQ(Parse("/x:s/f:f"), 1);
    EXPECT_EQ(Settings.ExitType, IDM_SCREENSAVER);
    EXPECT_EQ(Settings.ForceFlag, 0);
}

struct ValueCase {
    const char* line;
    UINT32 timeoutSeconds;
    const char* timerValue;
    UINT32 warnSeconds;
    const char* warnValue;
};

TEST_F(CommandLine, TimeoutAndWarningValues) {
    const ValueCase cases[] = {
        {"/t:0", 30, "0", 0, "10"},
        {"/t:-5", 30, "-5", 0, "10"},
        {"/t:999999", 999999, "999999", 0, "10"},
        {"/t:abc", 30, "abc", 0, "10"},
        {"/t60", 60, "60", 0, "10"},
        {"/w:5 /t:60", 60, "60", 5, "5"},
        {"/w:0 /t:60", 60, "60", 10, "0"},
        {"/t", 30, "30", 0, "10"},
        {"/t: /w:", 30, "30", 10, "10"},
        // A value too long for its field is out of range: cut, it would be another number.
        {"/t:1234567", 30, "30", 0, "10"},
        {"/t:1000000", 30, "30", 0, "10"},
        {"/t:9999999 /w:12345678", 30, "30", 10, "10"},
        {"/w:1000000 /t:60", 60, "60", 10, "10"},
        // Eleven words: the value in the eleventh is never read, its option still counts.
        {"a b c d e f g h i j /t:45", 30, "30", 0, "10"},
        {"a b c d e f g h i /t:45", 45, "45", 0, "10"},
    };
    for (const ValueCase& c : cases) {
        std::memset(&Settings, 0, sizeof Settings);
        EXPECT_EQ(Parse(c.line), 1) << c.line;
        EXPECT_EQ(Settings.TimerFlag, 1) << c.line;
        EXPECT_EQ(Settings.TimeoutSeconds, c.timeoutSeconds) << c.line;
        EXPECT_STREQ(Settings.TimerValue, c.timerValue) << c.line;
        EXPECT_EQ(Settings.WarnSeconds, c.warnSeconds) << c.line;
        EXPECT_STREQ(Settings.WarnValue, c.warnValue) << c.line;
        EXPECT_STREQ(Settings.AtValue, "230000") << c.line;
    }
}

TEST_F(CommandLine, HotkeyLetter) {
    const struct {
        const char* line;
        const char* stored;
        const char* hotKey;
    } cases[] = {
        {"/h:q", nullptr, "Q"}, {"/h:1", nullptr, "X"},      {"/h", "k", "K"},      {"/h:", nullptr, "X"},
        {"/h:h", "m", "M"},     {"/h:qwerty", nullptr, "Q"}, {"/hz", nullptr, "Z"}, {"", "7", "7"},
    };
    for (const auto& c : cases) {
        sim::reset();
        std::memset(&Settings, 0, sizeof Settings);
        if (c.stored)
            Store("HotKey", c.stored);
        EXPECT_EQ(Parse(c.line), 1) << c.line;
        EXPECT_STREQ(Settings.HotKey, c.hotKey) << c.line;
    }
}

TEST_F(CommandLine, OptionsSwitchSettingsOn) {
    EXPECT_EQ(Parse("/E:P /F:F /F:D /F:E /F:B /F:C /F:H /N"), 1)
        << "upper case reaches the parser lower-cased";
    EXPECT_EQ(Settings.ExitType, IDM_SHUTDOWN) << "the parser itself matches lower case only";
    std::memset(&Settings, 0, sizeof Settings);
    EXPECT_EQ(Parse("/e:p /f:f /f:d /f:e /f:b /f:c /f:h /n"), 1);
    EXPECT_EQ(Settings.ExitType, IDM_POWEROFF);
    EXPECT_EQ(Settings.ForceFlag, 1);
    EXPECT_EQ(Settings.ClickFlag, 0);
    EXPECT_EQ(Settings.EjectFlag, 1);
    EXPECT_EQ(Settings.BlockFlag, 1);
    EXPECT_EQ(Settings.ConfirmFlag, 1);
    EXPECT_EQ(Settings.HideIconFlag, 1);
    EXPECT_EQ(Settings.RunOnceFlag, 1);
}

TEST_F(CommandLine, EachExitTypeOption) {
    const struct {
        const char* line;
        INT32 exitType;
    } cases[] = {{"/e:s", 10}, {"/e:b", 20}, {"/e:r", 30}, {"/e:d", 50}, {"/e:l", 40},
                 {"/e:p", 70}, {"/x:h", 60}, {"/x:s", 80}, {"/x:r", 90}};
    for (const auto& c : cases) {
        std::memset(&Settings, 0, sizeof Settings);
        EXPECT_EQ(Parse(c.line), 1) << c.line;
        EXPECT_EQ(Settings.ExitType, c.exitType) << c.line;
    }
}

TEST_F(CommandLine, PrecedenceStartupThenRegistryThenLine) {
    Store("ExitType", "20");
    Store("ConfirmFlag", "1");
    Store("TimerValue", "45");
    EXPECT_EQ(Parse("/t"), 1);
    EXPECT_EQ(Settings.ExitType, IDM_REBOOT) << "stored over start-up";
    EXPECT_EQ(Settings.ConfirmFlag, 1);
    EXPECT_EQ(Settings.TimeoutSeconds, 45u) << "stored text converted by the line's /t";
    EXPECT_EQ(Settings.ClickFlag, 1) << "start-up value kept where nothing is stored";

    std::memset(&Settings, 0, sizeof Settings);
    EXPECT_EQ(Parse("/e:l /t:90"), 1);
    EXPECT_EQ(Settings.ExitType, IDM_LOGOFF) << "line over stored";
    EXPECT_EQ(Settings.TimeoutSeconds, 90u);

    std::memset(&Settings, 0, sizeof Settings);
    EXPECT_EQ(Parse("/z /e:r"), 1);
    EXPECT_EQ(Settings.ExitType, IDM_RESTART);
    EXPECT_EQ(Settings.ConfirmFlag, 0) << "/z ignores the stored settings";
}

TEST_F(CommandLine, StoredOnCannotBeSwitchedOffButZSkipsIt) {
    Store("BlockFlag", "1");
    EXPECT_EQ(Parse("/e:s"), 1);
    EXPECT_EQ(Settings.BlockFlag, 1);
    std::memset(&Settings, 0, sizeof Settings);
    size_t callsBefore = sim::regCalls().size();
    EXPECT_EQ(Parse("/z"), 1);
    EXPECT_EQ(Settings.BlockFlag, 0);
    EXPECT_EQ(sim::regCalls().size(), callsBefore) << "/z reads nothing from the registry";
}

// The parser finds the time good; start-up arms it once the main window, which owns the timers, is there.
TEST_F(CommandLine, TimeOfDayIsWorkedOutAtOnce) {
    sim::setLocalTime(22, 59, 30);
    EXPECT_EQ(Parse("/a:230000"), 1);
    EXPECT_EQ(Settings.TimerActive, 0u);
    EXPECT_EQ(Settings.ExitDelayMs, 30000);
    std::memset(&Settings, 0, sizeof Settings);
    EXPECT_EQ(Parse("/a:23:30:00"), 1) << "the value stops at the first separator";
    EXPECT_STREQ(Settings.AtValue, "23");
}

TEST_F(CommandLine, TheLineIsNotModified) {
    char line[] = "/e:b /t:30 /w:5 /h:q";
    std::string before = line;
    EXPECT_EQ(Parse(line), 1);
    EXPECT_EQ(std::string(line), before);
}

// Lines a shortcut or a script could hold: nothing crashes, every field stays terminated within its
// capacity, neighbouring fields are untouched, and the exit type is one of the nine or the stored one.
TEST_F(CommandLine, HostileLines) {
    std::vector<std::string> lines = {
        std::string(5000, 'x'),
        "/t:" + std::string(300, '9'),
        "/a:" + std::string(300, '1'),
        "/h:" + std::string(300, 'q') + " /w:" + std::string(40, '5') + " /t:" + std::string(40, '7'),
        std::string(100, ' ') + "/t:12" + std::string(100, ' '),
        "/t:\t5",
        "/t:+0000042",
        "/w/t/h/a/n/z",
        "/e:s/e:s/e:s/e:s/e:s/e:s/e:s/e:s/e:s/e:s/e:s/e:s",
        "////////:::::::tttt",
        "/t:4294967295",
        "/t:-2147483648 /w:2147483647",
        "\xff\xfe/h:\xe9",
        "/e:d " + std::string(2000, '/'),
    };
    for (const std::string& line : lines) {
        sim::reset();
        std::memset(&Settings, 0, sizeof Settings);
        sim::expectBox([](const sim::MessageBoxCall&) { return IDOK; });
        sim::expectBox([](const sim::MessageBoxCall&) { return IDOK; });
        StartupValues();
        ParseCommandLine(line.c_str());
        sim::discardScripts();
        std::string shown = line.substr(0, 40);
        EXPECT_TRUE(Terminated(Settings.TimerValue, sizeof Settings.TimerValue)) << shown;
        EXPECT_TRUE(Terminated(Settings.WarnValue, sizeof Settings.WarnValue)) << shown;
        EXPECT_TRUE(Terminated(Settings.AtValue, sizeof Settings.AtValue)) << shown;
        EXPECT_TRUE(Terminated(Settings.HotKey, sizeof Settings.HotKey)) << shown;
        EXPECT_LE(std::strlen(Settings.HotKey), 1u) << shown;
        EXPECT_EQ(Settings.NumberText[0], 0) << shown;
        EXPECT_EQ(Settings.WarningText[0], 0) << shown;
        EXPECT_EQ(Settings.ExitType % 10, 0) << shown;
        EXPECT_TRUE(Settings.ExitType >= 10 && Settings.ExitType <= 90) << shown;
        EXPECT_THAT(sim::requests(), IsEmpty()) << shown << ": the parser itself never asks for an exit";
    }
}

TEST(DecimalConversion, Table) {
    const struct {
        const char* text;
        INT32 value;
    } cases[] = {
        {"", 0},
        {"abc", 0},
        {"42", 42},
        {"  \t\n\v\f\r42x", 42},
        {"+7", 7},
        {"-5", -5},
        {"+-3", 0},
        {"- 3", 0},
        {"0042x", 42},
        {"999999", 999999},
        {"2147483647", 2147483647},
        {"4294967295", -1},
        {"12 34", 12},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecimalValue(c.text), c.value) << '"' << c.text << '"';
}

} // namespace
