// The run-before-exit, registry, shortcut and about dialogs.
#include "support.h"
#include "app/tray.h"
#include "config/regdlg_internal.h"
#include "config/store.h"
#include "exit/runbefore.h"
#include "extras/shortcut.h"
#include <shlobj.h>

namespace {

using Strings = std::vector<std::string>;
using ::testing::IsEmpty;
using ::testing::SizeIs;

class Dialogs : public ProgramTest {
  protected:
    static void Open(int command, int dialogId, std::function<void(sim::Dialog&)> script,
                     const char* line = "") {
        sim::onDialog(dialogId, script);
        sim::whenIdle([command] { OnCommand(command); });
        sim::runProgram(line);
    }
};

const int Edits[] = {IDC_PROGRAM1, IDC_PROGRAM2, IDC_PROGRAM3, IDC_PROGRAM4};
const int Browses[] = {IDC_BROWSE1, IDC_BROWSE2, IDC_BROWSE3, IDC_BROWSE4};

TEST_F(Dialogs, RunBeforeOpensNormalisedAndEnabledByTheCheckBox) {
    Store("RunBeforeExit", "1");
    Store("ProgramsToRun", "a.exe;;b.doc;");
    Open(IDM_RUNBEFORE, IDD_RUNBEFORE, [](sim::Dialog& dialog) {
        EXPECT_EQ(dialog.caption(), "Run before exit");
        EXPECT_TRUE(dialog.checked(IDC_RUNBEFORE));
        EXPECT_EQ(dialog.text(IDC_PROGRAM1), "a.exe");
        EXPECT_EQ(dialog.text(IDC_PROGRAM2), "b.doc");
        EXPECT_EQ(dialog.text(IDC_PROGRAM3), "");
        dialog.click(IDC_RUNBEFORE);
        for (int id : Edits)
            EXPECT_FALSE(dialog.enabled(id)) << id;
        for (int id : Browses)
            EXPECT_FALSE(dialog.enabled(id)) << id;
        dialog.click(IDCANCEL);
    });
    EXPECT_EQ(Settings.RunBeforeExit, 0) << "the check box acts at once; Cancel keeps it";
}

TEST_F(Dialogs, RunBeforeOkReadsTheEditsOnlyWhileChecked) {
    Open(IDM_RUNBEFORE, IDD_RUNBEFORE, [](sim::Dialog& dialog) {
        EXPECT_FALSE(dialog.enabled(IDC_PROGRAM1));
        dialog.click(IDC_RUNBEFORE);
        dialog.type(IDC_PROGRAM1, "first.exe");
        dialog.type(IDC_PROGRAM3, std::string(300, 'x'));
        dialog.click(IDOK);
    });
    EXPECT_STREQ(Settings.ProgramEntry[0], "first.exe");
    EXPECT_STREQ(Settings.ProgramEntry[1], "");
    EXPECT_EQ(std::strlen(Settings.ProgramEntry[2]), 199u) << "an entry typed holds at most 199 characters";
    EXPECT_EQ(Settings.RunBeforeExit, 1);

    sim::Machine machine;
    std::memset(&Settings, 0, sizeof Settings);
    Store("RunBeforeExit", "1");
    Store("ProgramsToRun", "kept.exe;");
    Open(IDM_RUNBEFORE, IDD_RUNBEFORE, [](sim::Dialog& dialog) {
        dialog.type(IDC_PROGRAM1, "typed.exe");
        dialog.click(IDC_RUNBEFORE); // off
        dialog.click(IDOK);
    });
    EXPECT_STREQ(Settings.ProgramEntry[0], "kept.exe") << "OK with the box off discards typed text";
}

// A list stored while Run before Exit was off is shown all the same, so that what a save keeps is what the
// dialog showed, whichever way it was left.
TEST_F(Dialogs, RunBeforeShowsTheListStoredWhileOff) {
    const struct {
        const char* what;
        bool tick;
        int button;
        const char* storedFlag; // RunBeforeExit as the next save writes it
    } rows[] = {
        {"opened and cancelled", false, IDCANCEL, "0"},
        {"ticked, then Cancel", true, IDCANCEL, "1"},
        {"ticked, then OK", true, IDOK, "1"},
        {"OK with the box off", false, IDOK, "0"},
    };
    for (const auto& row : rows) {
        sim::Machine machine;
        std::memset(&Settings, 0, sizeof Settings);
        Store("RunBeforeExit", "0");
        Store("ProgramsToRun", "a.exe;;b.doc;");
        Open(IDM_RUNBEFORE, IDD_RUNBEFORE, [&row](sim::Dialog& dialog) {
            EXPECT_EQ(dialog.text(IDC_PROGRAM1), "a.exe") << row.what;
            EXPECT_EQ(dialog.text(IDC_PROGRAM2), "b.doc") << row.what;
            EXPECT_EQ(dialog.text(IDC_PROGRAM3), "") << row.what;
            if (row.tick)
                dialog.click(IDC_RUNBEFORE);
            dialog.click(row.button);
        });
        EXPECT_EQ(SaveSettings(), 1) << row.what;
        EXPECT_EQ(sim::regValue(HKEY_LOCAL_MACHINE, SETTINGS_KEY, "RunBeforeExit")->text(), row.storedFlag)
            << row.what;
        // The next start reads the list the dialog showed.
        std::memset(&Settings, 0, sizeof Settings);
        LoadSettings();
        SplitProgramList();
        EXPECT_STREQ(Settings.ProgramEntry[0], "a.exe") << row.what;
        EXPECT_STREQ(Settings.ProgramEntry[1], "b.doc") << row.what;
        EXPECT_STREQ(Settings.ProgramEntry[2], "") << row.what;
    }
}

TEST_F(Dialogs, BrowseFillsTheEntryWithTheFullName) {
    sim::addFile("C:\\TOOLS\\BACKUP.EXE");
    sim::addFile("C:\\WINDOWS\\DESKTOP\\NOTES.LNK");
    sim::onOpenFile([](OPENFILENAMEA& request) {
        EXPECT_EQ(request.lStructSize, sizeof(OPENFILENAME_NT4A)) << "the Windows 95 record";
        EXPECT_EQ(request.Flags, 0x100004u);
        EXPECT_EQ(request.nMaxFile, 260u);
        EXPECT_EQ(request.nFilterIndex, 1u);
        EXPECT_STREQ(request.lpstrFile, "*.*");
        sim::chooseFile(request, "c:\\tools\\backup.exe");
        return TRUE;
    });
    sim::onOpenFile([](OPENFILENAMEA& request) {
        EXPECT_STREQ(request.lpstrFile, "c:\\tools\\backup.exe") << "opens with the previous choice";
        sim::chooseFile(request, "c:\\windows\\desktop\\notes.lnk");
        return TRUE;
    });
    sim::onOpenFile([](OPENFILENAMEA& request) {
        sim::chooseFile(request, "c:\\missing.exe");
        return TRUE;
    });
    sim::onOpenFile([](OPENFILENAMEA&) {
        sim::setCurrentDirectory("C:\\WINDOWS\\DESKTOP"); // browsed there, then cancelled
        return FALSE;
    });
    sim::expectBox("Cannot find file", IDOK);
    // Restart and Exit to DOS find the companion library in the current folder first.
    sim::setCurrentDirectory("C:\\KELTO");
    Open(IDM_RUNBEFORE, IDD_RUNBEFORE, [](sim::Dialog& dialog) {
        dialog.click(IDC_RUNBEFORE);
        EXPECT_EQ(sim::libraryLoads("comdlg32.dll"), 0) << "loaded at the first Browse, not before";
        dialog.click(IDC_BROWSE2);
        EXPECT_EQ(dialog.text(IDC_PROGRAM2), "C:\\TOOLS\\BACKUP.EXE");
        EXPECT_EQ(sim::currentDirectory(), "C:\\KELTO") << "the current folder is the one of before";
        dialog.click(IDC_BROWSE4);
        EXPECT_EQ(dialog.text(IDC_PROGRAM4), "C:\\WINDOWS\\DESKTOP\\NOTES.LNK") << "the shortcut itself";
        dialog.click(IDC_BROWSE1);
        EXPECT_EQ(dialog.text(IDC_PROGRAM1), "") << "a file that cannot be confirmed changes nothing";
        dialog.click(IDC_BROWSE1);
        EXPECT_EQ(sim::currentDirectory(), "C:\\KELTO") << "also after a cancelled browse";
        dialog.click(IDOK);
    });
    EXPECT_EQ(sim::openFileRequests().at(0).filter, "All Files|;*.*||");
    EXPECT_EQ(sim::libraryLoads("comdlg32.dll"), 1) << "loaded once for every Browse";

    // Without comdlg32 Browse changes nothing and says nothing, as a cancelled dialog.
    sim::Machine machine;
    std::memset(&Settings, 0, sizeof Settings);
    sim::removeLibrary("comdlg32.dll");
    Open(IDM_RUNBEFORE, IDD_RUNBEFORE, [](sim::Dialog& dialog) {
        dialog.click(IDC_RUNBEFORE);
        dialog.type(IDC_PROGRAM2, "kept.exe");
        dialog.click(IDC_BROWSE2);
        dialog.click(IDC_BROWSE2);
        EXPECT_EQ(dialog.text(IDC_PROGRAM2), "kept.exe");
        EXPECT_TRUE(dialog.exists());
        dialog.click(IDOK);
    });
    EXPECT_THAT(sim::openFileRequests(), IsEmpty());
    EXPECT_THAT(sim::boxes(), IsEmpty());
    EXPECT_STREQ(Settings.ProgramEntry[1], "kept.exe");
}

class RegistryDialog : public Dialogs {};

TEST_F(RegistryDialog, OkWithoutChangesIsSilent) {
    Open(IDM_SETTINGS, IDD_REGISTRY, [](sim::Dialog& dialog) {
        EXPECT_EQ(dialog.caption(), "Registry");
        EXPECT_TRUE(dialog.checked(IDC_NOCHANGE));
        dialog.click(IDOK);
        EXPECT_FALSE(dialog.exists());
    });
    EXPECT_THAT(sim::boxes(), IsEmpty());
    for (const sim::RegCall& call : sim::regCalls())
        EXPECT_NE(call.function, "RegSetValueExA");
}

TEST_F(RegistryDialog, SaveWritesAndReports) {
    Open(
        IDM_SETTINGS, IDD_REGISTRY,
        [](sim::Dialog& dialog) {
            sim::expectBox("Registry settings changed", IDOK);
            dialog.click(IDC_SAVESETTINGS);
            dialog.click(IDOK);
        },
        "/e:b");
    EXPECT_EQ(sim::regValue(HKEY_LOCAL_MACHINE, SETTINGS_KEY, "ExitType")->text(), "20");
    const sim::MessageBoxCall& box = sim::boxes().at(0);
    EXPECT_EQ(box.caption, std::optional<std::string>("Ok"));
    EXPECT_EQ(box.style, (UINT)(MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND));
    EXPECT_EQ(box.beep, std::optional<UINT>(MB_ICONEXCLAMATION))
        << "exclamation sound with the information box";
}

TEST_F(RegistryDialog, DeleteWithNothingStoredFailsAndStaysOpen) {
    Open(IDM_SETTINGS, IDD_REGISTRY, [](sim::Dialog& dialog) {
        sim::expectBox("Could not change registry settings", IDOK);
        dialog.click(IDC_DELETESETTINGS);
        dialog.click(IDOK);
        EXPECT_TRUE(dialog.exists());
        dialog.click(IDCANCEL);
    });
    const sim::MessageBoxCall& box = sim::boxes().at(0);
    EXPECT_FALSE(box.caption.has_value());
    EXPECT_EQ(box.style, (UINT)ErrorBoxStyle);
    EXPECT_EQ(box.beep, std::optional<UINT>(MB_ICONASTERISK));
}

TEST_F(RegistryDialog, PoliciesAreWrittenAsType5AndNeverRemoved) {
    sim::regCreateKey(HKEY_CURRENT_USER, POLICIES_KEY);
    sim::expectBox("Registry settings changed", IDOK);
    sim::expectBox("Registry settings changed", IDOK);
    sim::onDialog(IDD_REGISTRY, [](sim::Dialog& dialog) {
        dialog.click(IDC_NOLOGOFF);
        dialog.click(IDOK);
    });
    sim::onDialog(IDD_REGISTRY, [](sim::Dialog& dialog) {
        EXPECT_TRUE(dialog.checked(IDC_NOLOGOFF));
        dialog.click(IDC_NOLOGOFF);
        dialog.click(IDOK);
    });
    sim::whenIdle([] {
        OnCommand(IDM_SETTINGS);
        std::optional<sim::RegValue> set = sim::regValue(HKEY_CURRENT_USER, POLICIES_KEY, "NoLogOff");
        ASSERT_TRUE(set);
        EXPECT_EQ(set->type, 5u);
        EXPECT_EQ(set->bytes, (std::vector<BYTE>{1, 0, 0, 0}));
        OnCommand(IDM_SETTINGS);
        std::optional<sim::RegValue> cleared = sim::regValue(HKEY_CURRENT_USER, POLICIES_KEY, "NoLogOff");
        ASSERT_TRUE(cleared);
        EXPECT_EQ(cleared->type, 5u);
        EXPECT_EQ(cleared->bytes, (std::vector<BYTE>{0, 0, 0, 0}));
    });
    sim::runProgram("");
    EXPECT_FALSE(sim::regValue(HKEY_CURRENT_USER, POLICIES_KEY, "NoClose")) << "only what changed is written";
}

TEST_F(RegistryDialog, PolicyStoredByAnotherToolReadsAsSet) {
    const struct {
        DWORD type;
        std::vector<BYTE> bytes;
        int set;
    } cases[] = {{REG_DWORD, {1, 0, 0, 0}, 1},
                 {REG_BINARY, {1, 0, 0, 0}, 1},
                 {REG_DWORD_BIG_ENDIAN, {0, 0, 0, 0}, 0},
                 {REG_BINARY, {0, 0, 0, 2}, 1},
                 {REG_BINARY, {1, 0, 0, 0, 0, 0}, 0}};
    for (const auto& c : cases) {
        sim::reset();
        sim::regSetValue(HKEY_CURRENT_USER, POLICIES_KEY, "NoLogOff", c.type, c.bytes);
        EXPECT_EQ(IsNoLogOffSet(), c.set) << "type " << c.type << ", " << c.bytes.size() << " bytes";
    }
}

TEST_F(RegistryDialog, MissingPoliciesKeyFails) {
    Open(IDM_SETTINGS, IDD_REGISTRY, [](sim::Dialog& dialog) {
        sim::expectBox("Could not change registry settings", IDOK);
        dialog.click(IDC_NOCLOSE);
        dialog.click(IDOK);
        EXPECT_TRUE(dialog.exists());
        dialog.close();
    });
    EXPECT_FALSE(sim::regKeyExists(HKEY_CURRENT_USER, POLICIES_KEY)) << "never created";
}

TEST_F(RegistryDialog, AutorunWritesTheFullPathWithZeroFiller) {
    sim::regCreateKey(HKEY_LOCAL_MACHINE, RUN_KEY);
    sim::setModulePath("C:\\KELTO\\KELTO95.EXE");
    Open(IDM_SETTINGS, IDD_REGISTRY, [](sim::Dialog& dialog) {
        sim::expectBox("Registry settings changed", IDOK);
        dialog.click(IDC_AUTORUN);
        dialog.click(IDOK);
    });
    std::optional<sim::RegValue> value = sim::regValue(HKEY_LOCAL_MACHINE, RUN_KEY, "Kelto 95/98");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->type, (DWORD)REG_SZ);
    std::vector<BYTE> expected(260, 0);
    std::memcpy(expected.data(), "C:\\KELTO\\KELTO95.EXE", 20);
    EXPECT_EQ(value->bytes, expected);
}

TEST_F(RegistryDialog, AutorunAlreadyPresentCountsAsDone) {
    sim::regCreateKey(HKEY_LOCAL_MACHINE, RUN_KEY);
    sim::onDialog(IDD_REGISTRY, [](sim::Dialog& dialog) {
        sim::regSetString(HKEY_LOCAL_MACHINE, RUN_KEY, "Kelto 95/98", "elsewhere");
        sim::expectBox("Registry settings changed", IDOK);
        dialog.click(IDC_AUTORUN);
        dialog.click(IDOK);
    });
    sim::whenIdle([] { OnCommand(IDM_SETTINGS); });
    sim::runProgram("");
    EXPECT_EQ(sim::regValue(HKEY_LOCAL_MACHINE, RUN_KEY, "Kelto 95/98")->text(), "elsewhere");
}

class ShortcutDialog : public Dialogs {};

TEST_F(ShortcutDialog, DesktopLinkWithHotkey) {
    sim::setModulePath("C:\\KELTO\\KELTO95.EXE");
    Open(
        IDM_SHORTCUT, IDD_SHORTCUT,
        [](sim::Dialog& dialog) {
            EXPECT_EQ(dialog.caption(), "Shortcut");
            EXPECT_TRUE(dialog.checked(IDC_ONDESKTOP));
            sim::expectBox("Shortcut created", IDOK);
            dialog.click(IDOK);
            EXPECT_FALSE(dialog.exists());
        },
        "/h:q");
    std::optional<sim::ShortcutSaved> link = sim::shortcutFile("C:\\WINDOWS\\Desktop\\Kelto.lnk");
    ASSERT_TRUE(link);
    EXPECT_EQ(link->target, std::optional<std::string>("C:\\KELTO\\KELTO95.EXE"));
    EXPECT_EQ(link->arguments, std::optional<std::string>("/n"));
    EXPECT_EQ(link->iconPath, std::optional<std::string>("C:\\KELTO\\KELTO95.EXE"));
    EXPECT_EQ(link->iconIndex, 0);
    EXPECT_EQ(link->hotkey, std::optional<WORD>(0x0651));
    EXPECT_EQ(link->remember, TRUE);
    EXPECT_EQ(sim::liveComObjects(), 0);
    EXPECT_EQ(sim::liveItemIdLists(), 0) << "the folder's item-id list is freed";
    const sim::MessageBoxCall& box = sim::boxes().at(0);
    EXPECT_EQ(box.caption, std::optional<std::string>("Ok"));
    EXPECT_EQ(box.style, 0x10040u);
    EXPECT_EQ(box.beep, std::optional<UINT>(MB_ICONEXCLAMATION));
}

TEST_F(ShortcutDialog, StartMenuLinkWithoutHotkey) {
    Open(IDM_SHORTCUT, IDD_SHORTCUT, [](sim::Dialog& dialog) {
        dialog.click(IDC_INSTARTMENU);
        sim::expectBox("Shortcut created", IDOK);
        dialog.click(IDOK);
    });
    std::optional<sim::ShortcutSaved> link = sim::shortcutFile("C:\\WINDOWS\\Start Menu\\Kelto.lnk");
    ASSERT_TRUE(link);
    EXPECT_FALSE(link->hotkey);
}

TEST_F(ShortcutDialog, FailuresKeepTheDialogOpen) {
    const std::function<void()> faults[] = {
        [] { sim::setCoCreateResult(REGDB_E_CLASSNOTREG); },
        [] { sim::setPersistFileResult(E_NOINTERFACE); },
        [] { sim::setLinkSaveResult(E_FAIL); },
        [] { sim::setSpecialFolderFails(CSIDL_DESKTOP); },
        [] { sim::setPathFromIdListFails(true); },
        [] { sim::setSpecialFolder(CSIDL_DESKTOP, "C:\\" + std::string(250, 'd')); },
        [] { sim::removeLibrary("ole32.dll"); },
        [] { sim::removeEntry("ole32.dll", "CoCreateInstance"); },
        [] { sim::removeEntry("ole32.dll", "CoTaskMemFree"); },
    };
    int index = 0;
    for (const auto& fault : faults) {
        sim::Machine machine;
        std::memset(&Settings, 0, sizeof Settings);
        fault();
        Open(IDM_SHORTCUT, IDD_SHORTCUT, [](sim::Dialog& dialog) {
            sim::expectBox("Could not create shortcut", IDOK);
            dialog.click(IDOK);
            EXPECT_TRUE(dialog.exists());
            dialog.click(IDCANCEL);
        });
        EXPECT_THAT(sim::shortcutsSaved(), IsEmpty()) << "fault " << index;
        EXPECT_EQ(sim::liveComObjects(), 0) << "fault " << index;
        EXPECT_EQ(sim::liveItemIdLists(), 0) << "fault " << index;
        EXPECT_EQ(sim::boxes().at(0).beep, std::optional<UINT>(MB_ICONASTERISK));
        index++;
    }
}

class AboutBox : public Dialogs {};

TEST_F(AboutBox, LinksOpenThroughTheShell) {
    Open(IDM_ABOUT, IDD_ABOUT, [](sim::Dialog& dialog) {
        EXPECT_EQ(dialog.caption(), "About");
        dialog.paint();
        EXPECT_TRUE(dialog.click(IDC_ABOUTMAIL));
        EXPECT_TRUE(dialog.click(IDC_ABOUTWEB));
        dialog.click(IDOK);
    });
    Strings shell = sim::requestStrings("ShellExecuteA");
    ASSERT_EQ(shell.size(), 2u);
    EXPECT_EQ(shell[0].find("ShellExecuteA(<Kelto95>,\"open\",\"mailto:"), 0u) << shell[0];
    EXPECT_EQ(shell[1].find("ShellExecuteA(<Kelto95>,\"open\",\"http://"), 0u) << shell[1];
    ASSERT_FALSE(sim::classLongCalls().empty());
    EXPECT_EQ(sim::classLongCalls()[0].index, GCL_HCURSOR);
    EXPECT_EQ(sim::classLongCalls()[0].resource, "#261");
}

TEST_F(AboutBox, TextsAndColours) {
    Open(IDM_ABOUT, IDD_ABOUT, [](sim::Dialog& dialog) {
        dialog.paint();
        EXPECT_TRUE(sim::fontInfo(dialog.font(IDC_ABOUTMAIL)));
        EXPECT_EQ(sim::fontInfo(dialog.font(IDC_ABOUTMAIL))->underline, 1u);
        EXPECT_EQ(sim::fontInfo(dialog.font(IDC_ABOUTWEB))->face, "MS Sans Serif");
        dialog.close();
    });
    bool product = false, link = false;
    for (const sim::TextDrawn& text : sim::textDrawn()) {
        EXPECT_EQ(text.backgroundColor, RGB(194, 194, 194)) << text.text;
        if (text.text == "Kelto 95/98 version 7.7.1.1") {
            product = true;
            EXPECT_EQ(text.textColor, RGB(0, 0, 0));
        }
        if (text.text.find('@') != std::string::npos) {
            link = true;
            EXPECT_EQ(text.textColor, RGB(0, 0, 255));
        }
    }
    EXPECT_TRUE(product);
    EXPECT_TRUE(link);
    ASSERT_FALSE(sim::blits().empty());
    EXPECT_EQ(sim::blits()[0].bitmapName, "GARVIK");
    EXPECT_EQ(sim::blits()[0].width, 80);
    EXPECT_EQ(sim::blits()[0].height, 140);
    EXPECT_EQ(sim::blits()[0].rop, (DWORD)SRCCOPY);
}

TEST_F(AboutBox, AHundredOpeningsLeakNoGdiObjects) {
    for (int i = 0; i < 100; i++)
        sim::onDialog(IDD_ABOUT, [](sim::Dialog& dialog) {
            dialog.paint();
            // The About command again while the box is open brings that box forward, opens no second one.
            OnCommand(IDM_ABOUT);
            EXPECT_EQ(sim::foregroundWindow(), dialog.hwnd());
            dialog.paint();
            dialog.click(IDOK);
        });
    sim::whenIdle([] {
        int before = sim::liveGdiObjects();
        for (int i = 0; i < 100; i++)
            OnCommand(IDM_ABOUT);
        EXPECT_EQ(sim::liveGdiObjects(), before);
    });
    sim::runProgram("");
    EXPECT_EQ(sim::dialogsOpened().size(), 100u);
}

// The menus stay usable under a modal dialog: its command again brings the open one to the front and
// opens no second copy, and one Cancel (OK for the about box) closes it.
TEST_F(Dialogs, OneCopyOfEachDialog) {
    const struct {
        int command, dialogId, closeWith;
        HWND* handle;
    } cases[] = {
        {IDM_SETTINGS, IDD_REGISTRY, IDCANCEL, &Settings.RegistryDialogWindow},
        {IDM_TIMEDEXIT, IDD_TIMEDEXIT, IDCANCEL, &Settings.TimedExitDialogWindow},
        {IDM_HOTKEY, IDD_HOTKEY, IDCANCEL, &Settings.HotkeyDialog},
        {IDM_RUNBEFORE, IDD_RUNBEFORE, IDCANCEL, &Settings.RunBeforeDialog},
        {IDM_SHORTCUT, IDD_SHORTCUT, IDCANCEL, &Settings.ShortcutDialog},
        {IDM_ABOUT, IDD_ABOUT, IDOK, &Settings.AboutDialog},
    };
    for (const auto& c : cases) {
        sim::Machine machine;
        std::memset(&Settings, 0, sizeof Settings);
        Open(c.command, c.dialogId, [&c](sim::Dialog& dialog) {
            OnCommand(c.command);
            PostMessageA(Settings.MainWindow, WM_COMMAND, (WPARAM)c.command, 0);
            dialog.advance(0);
            EXPECT_EQ(sim::foregroundWindow(), dialog.hwnd()) << c.dialogId;
            EXPECT_EQ(*c.handle, dialog.hwnd()) << c.dialogId << ": the handle is the open one's";
            dialog.click(c.closeWith);
            EXPECT_FALSE(dialog.exists()) << c.dialogId;
        });
        EXPECT_EQ(sim::dialogsOpened().size(), 1u) << c.dialogId;
        EXPECT_EQ(*c.handle, (HWND)NULL) << c.dialogId << ": forgotten when it ended";
        EXPECT_EQ(BoxTexts(), Strings{}) << c.dialogId;
    }
}

// A step that shows a box (OK, Browse) leaves its dialog usable under the box: a second step, OK, Cancel
// or close there is not taken, so the step runs once and shows one box, and the dialog then ends or
// stays as that step says.
TEST_F(Dialogs, NoSecondStepUnderItsMessage) {
    const struct {
        const char* what;
        int command, dialogId;
        const char* line;
        std::function<void(sim::Dialog&)> before; // sets the dialog up before the step
        int step;
        std::string box;
        bool endsAfter; // the dialog ends once the box is answered
    } cases[] = {
        {"Registry, Save", IDM_SETTINGS, IDD_REGISTRY, "", [](sim::Dialog& d) { d.click(IDC_SAVESETTINGS); },
         IDOK, "Registry settings changed", true},
        {"Registry, Delete", IDM_SETTINGS, IDD_REGISTRY, "",
         [](sim::Dialog& d) {
             Store("ExitType", "10");
             d.click(IDC_DELETESETTINGS);
         },
         IDOK, "Registry settings changed", true},
        {"Shortcut", IDM_SHORTCUT, IDD_SHORTCUT, "", [](sim::Dialog&) {}, IDOK, "Shortcut created", true},
        {"Set Hotkey, no letter", IDM_HOTKEY, IDD_HOTKEY, "/h",
         [](sim::Dialog& d) { d.type(IDC_HOTKEYLETTER, ""); }, IDOK, "Please enter a letter (A-Z)", false},
        {"Timed Exit Options, a zero timeout", IDM_TIMEDEXIT, IDD_TIMEDEXIT, "",
         [](sim::Dialog& d) {
             d.click(IDC_TIMEOUT);
             d.type(IDC_TIMEOUTVALUE, "0");
         },
         IDOK, "Invalid time", false},
        {"Run before exit, Browse for a missing file", IDM_RUNBEFORE, IDD_RUNBEFORE, "",
         [](sim::Dialog& d) {
             d.click(IDC_RUNBEFORE);
             sim::onOpenFile([](OPENFILENAMEA& request) {
                 sim::chooseFile(request, "c:\\missing.exe");
                 return TRUE;
             });
         },
         IDC_BROWSE1, "Cannot find file", false},
    };
    for (const auto& c : cases) {
        sim::Machine machine;
        std::memset(&Settings, 0, sizeof Settings);
        Open(
            c.command, c.dialogId,
            [&c](sim::Dialog& dialog) {
                c.before(dialog);
                sim::expectBox([&c, &dialog](const sim::MessageBoxCall& box) {
                    EXPECT_EQ(box.text, c.box) << c.what;
                    dialog.click(c.step);
                    dialog.click(IDOK);
                    dialog.click(IDCANCEL);
                    dialog.close();
                    dialog.advance(0);
                    EXPECT_TRUE(dialog.exists()) << c.what << ": ended under its own step's box";
                    return IDOK;
                });
                dialog.click(c.step);
                EXPECT_EQ(dialog.exists(), !c.endsAfter) << c.what;
                if (dialog.exists())
                    dialog.close();
            },
            c.line);
        EXPECT_EQ(BoxTexts(), Strings{c.box}) << c.what;
        EXPECT_THAT(sim::shortcutsSaved(), SizeIs(c.command == IDM_SHORTCUT ? 1u : 0u)) << c.what;
    }
}

} // namespace
