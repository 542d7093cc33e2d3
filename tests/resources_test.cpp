// The compiled resources: menus, accelerators, dialogs, pictures and version block as the program ships them,
// and the parser that reads them for the host build.
#include <gtest/gtest.h>

#include "resources.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

namespace {

const DWORD kChild = WS_CHILD | WS_VISIBLE;
const DWORD kDialogStyle =
    DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_SETFONT;
const DWORD kButton = WS_TABSTOP | BS_PUSHBUTTON;
const DWORD kDefault = WS_TABSTOP | BS_DEFPUSHBUTTON;
const DWORD kGroup = WS_GROUP | BS_GROUPBOX;
const DWORD kRadio = WS_TABSTOP | BS_AUTORADIOBUTTON;
const DWORD kCheck = WS_TABSTOP | BS_AUTOCHECKBOX;
const DWORD kEdit = WS_TABSTOP | WS_BORDER;

sim::ResName name(const char* text) {
    return sim::ResName::from(text);
}
sim::ResName number(unsigned id) {
    return sim::ResName::from(MAKEINTRESOURCEA(id));
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string writeTemp(const std::string& file, const std::vector<uint8_t>& bytes) {
    std::string path = ::testing::TempDir() + file;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

class Resources : public ::testing::Test {
  protected:
    // Every case starts and ends with the shipped file loaded, whatever the parser cases load in between.
    void SetUp() override { Reload(); }
    void TearDown() override { Reload(); }
    static void Reload() {
        std::string error;
        ASSERT_TRUE(sim::loadResources(KELTO_RES_PATH, &error)) << error;
    }
};

// ---- Menus ------------------------------------------------------------------------------------------

struct MenuRow {
    const char* text; // nullptr for a separator
    unsigned id;      // 0 for separators and submenus
    std::vector<std::pair<const char*, unsigned>> submenu;
};

const std::vector<MenuRow> kExitTypeRows = {
    {"Sh&utdown", 10, {}},    {"Re&boot", 20, {}},        {"&Restart", 30, {}}, {"Exit to &DOS", 50, {}},
    {"&Logoff", 40, {}},      {"&Power-off", 70, {}},     {nullptr, 0, {}},     {"&Standby", 60, {}},
    {"S&creensaver", 80, {}}, {"Res&tart Shell", 90, {}},
};

std::vector<MenuRow> mainMenuRows() {
    std::vector<MenuRow> rows = kExitTypeRows;
    rows.push_back({nullptr, 0, {}});
    rows.push_back({"&Options",
                    0,
                    {{"Ru&n before Exit...", 180},
                     {"&Timed Exit...", 170},
                     {"Use &Hotkey...", 160},
                     {"Create &Shortcut...", 200},
                     {"Hide Tray &Icon...", 220}}});
    rows.push_back({nullptr, 0, {}});
    rows.push_back({"To&ggles",
                    0,
                    {{"Block Shutd&own", 190},
                     {"&Confirm Exit", 210},
                     {"Eject Removable &Media", 150},
                     {"&Force Exit", 140},
                     {"&Exit on Single Click", 100}}});
    rows.push_back({nullptr, 0, {}});
    rows.push_back({"C&hange Settings...", 230, {}});
    rows.push_back({"&About...", 120, {}});
    rows.push_back({"E&xit Program", 130, {}});
    return rows;
}

void expectPopup(const char* menuName, const std::vector<MenuRow>& rows) {
    SCOPED_TRACE(menuName);
    const sim::MenuItemTemplate* menu = sim::findMenu(name(menuName));
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->children.size(), 1u) << "top-level items";
    const sim::MenuItemTemplate& popup = menu->children[0];
    EXPECT_EQ(popup.text, "&Popup");
    EXPECT_TRUE(popup.flags & MF_POPUP) << "flags " << popup.flags;
    ASSERT_EQ(popup.children.size(), rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const sim::MenuItemTemplate& item = popup.children[i];
        SCOPED_TRACE("position " + std::to_string(i) + " \"" + item.text + "\"");
        if (!rows[i].text) {
            EXPECT_EQ(item.flags, unsigned(MF_SEPARATOR));
            EXPECT_EQ(item.id, 0u);
            EXPECT_EQ(item.text, "");
            continue;
        }
        EXPECT_EQ(item.text, rows[i].text);
        EXPECT_EQ(item.id, rows[i].id);
        EXPECT_EQ(item.flags, rows[i].submenu.empty() ? 0u : unsigned(MF_POPUP));
        ASSERT_EQ(item.children.size(), rows[i].submenu.size());
        for (size_t k = 0; k < rows[i].submenu.size(); ++k) {
            EXPECT_EQ(item.children[k].text, rows[i].submenu[k].first);
            EXPECT_EQ(item.children[k].id, rows[i].submenu[k].second);
            EXPECT_EQ(item.children[k].flags, 0u) << item.children[k].text;
        }
    }
}

TEST_F(Resources, MainMenuHoldsEveryCommandInItsPlace) {
    expectPopup("Kelto1", mainMenuRows());
}

TEST_F(Resources, QuickMenuHoldsTheExitTypesAlone) {
    expectPopup("Kelto2", kExitTypeRows);
}

TEST_F(Resources, MenusLoadByAnyCaseButNotByNumber) {
    EXPECT_NE(sim::findMenu(name("KELTO1")), nullptr);
    EXPECT_NE(sim::findMenu(name("kelto2")), nullptr);
    EXPECT_EQ(sim::findMenu(name("Kelto3")), nullptr);
    EXPECT_EQ(sim::findMenu(number(1)), nullptr);
}

// ---- Accelerators -----------------------------------------------------------------------------------

TEST_F(Resources, AcceleratorsAreTheMnemonicsInTableOrderWithoutModifiers) {
    const std::vector<std::pair<char, unsigned>> expected = {
        {'U', 10},  {'B', 20},  {'R', 30},  {'D', 50},  {'L', 40},  {'C', 80},  {'S', 60},  {'P', 70},
        {'F', 140}, {'M', 150}, {'N', 180}, {'H', 160}, {'S', 200}, {'I', 220}, {'E', 100}, {'C', 210},
        {'H', 230}, {'A', 120}, {'X', 130}, {'T', 90},  {'T', 170}, {'O', 190}};
    const std::vector<sim::AccelEntry>* table = sim::findAccelerators(name("Kelto3"));
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("entry " + std::to_string(i + 1));
        EXPECT_EQ((*table)[i].flags, 0u) << "a character code, no VIRTKEY, SHIFT, CONTROL or ALT";
        EXPECT_EQ((*table)[i].key, unsigned(expected[i].first)) << char((*table)[i].key);
        EXPECT_EQ((*table)[i].command, expected[i].second);
    }
}

// ---- Dialogs ----------------------------------------------------------------------------------------

struct ControlRow {
    unsigned id;
    const char* className;
    const char* text;
    DWORD style; // besides WS_CHILD | WS_VISIBLE, which every control has
    short x, y, cx, cy;
};

struct DialogRow {
    unsigned id;
    const char* caption;
    DWORD extraStyle;
    short cx, cy;
    std::vector<ControlRow> controls;
};

const std::vector<DialogRow> kDialogs = {
    {114,
     "Timed Exit Options",
     0,
     300,
     148,
     {{1, "BUTTON", "OK", kDefault, 12, 122, 64, 14},
      {215, "BUTTON", "Countdown Text", kButton, 118, 122, 64, 14},
      {2, "BUTTON", "Cancel", kButton, 224, 122, 64, 14},
      {101, "BUTTON", "", kGroup, 12, 4, 276, 109},
      {102, "BUTTON", "Timeout before exit (in seconds)", kRadio, 32, 17, 120, 15},
      {107, "EDIT", "", kEdit | ES_CENTER, 160, 17, 41, 15},
      {103, "BUTTON", "Exit at specified time (hhmmss)", kRadio, 32, 36, 120, 15},
      {108, "EDIT", "", kEdit | ES_CENTER, 160, 36, 41, 15},
      {122, "BUTTON", "Exit when program ends", kRadio, 32, 55, 120, 15},
      {123, "COMBOBOX", "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 160, 55, 120, 100},
      {105, "BUTTON", "Countdown warning (in seconds)", kCheck, 32, 74, 120, 15},
      {111, "EDIT", "", kEdit | ES_CENTER, 160, 74, 41, 15},
      {106, "BUTTON", "No timed exit", kRadio, 32, 93, 64, 15}}},
    {115,
     "Countdown",
     DS_SYSMODAL,
     170,
     89,
     {{112, "BUTTON", "Close", kDefault, 4, 69, 50, 14},
      {118, "BUTTON", "Postpone", kButton, 59, 69, 50, 14},
      {113, "BUTTON", "Abort", kButton, 114, 69, 50, 14},
      {0xFFFF, "STATIC", "Press Abort to stop countdown", SS_CENTER, 35, 34, 99, 9},
      {109, "EDIT", "", WS_BORDER | ES_READONLY | ES_CENTER, 64, 47, 41, 11},
      {116, "STATIC", "", SS_CENTER, 42, 4, 84, 25}}},
    {217,
     "Run before exit",
     0,
     240,
     145,
     {{1, "BUTTON", "OK", kDefault, 60, 125, 50, 14},
      {2, "BUTTON", "Cancel", kButton, 128, 125, 50, 14},
      {117, "BUTTON", "", kGroup, 4, 4, 228, 116},
      {214, "BUTTON", "Run program(s) or object(s) before exit:", kCheck, 16, 13, 160, 13},
      {204, "EDIT", "", kEdit | ES_AUTOHSCROLL, 16, 30, 152, 17},
      {199, "BUTTON", "Browse...", kButton | BS_CENTER, 172, 30, 52, 17},
      {211, "EDIT", "", kEdit | ES_AUTOHSCROLL, 16, 52, 152, 17},
      {201, "BUTTON", "Browse...", kButton | BS_CENTER, 172, 52, 52, 17},
      {212, "EDIT", "", kEdit | ES_AUTOHSCROLL, 16, 73, 152, 17},
      {202, "BUTTON", "Browse...", kButton | BS_CENTER, 172, 73, 52, 17},
      {213, "EDIT", "", kEdit | ES_AUTOHSCROLL, 16, 95, 152, 17},
      {203, "BUTTON", "Browse...", kButton | BS_CENTER, 172, 95, 52, 17}}},
    {218,
     "Enter warning window text",
     0,
     127,
     68,
     {{1, "BUTTON", "OK", kDefault, 8, 47, 50, 14},
      {2, "BUTTON", "Cancel", kButton, 68, 47, 50, 14},
      // no ES_AUTOVSCROLL, ES_AUTOHSCROLL or ES_WANTRETURN: Enter reaches the OK button
      {216, "EDIT", "", kEdit | ES_MULTILINE, 13, 4, 100, 34}}},
    {219,
     "Set Hotkey",
     0,
     135,
     70,
     {{242, "BUTTON", "Use Hotkey (A-Z):", kCheck, 16, 17, 72, 9},
      {241, "EDIT", "", kEdit | ES_CENTER | ES_UPPERCASE, 92, 15, 20, 14},
      {103, "BUTTON", "", kGroup, 8, 4, 116, 34},
      {1, "BUTTON", "OK", kDefault, 12, 47, 50, 14},
      {2, "BUTTON", "Cancel", kButton, 72, 47, 50, 14}}},
    {250,
     "About",
     0,
     212,
     121,
     {{1, "BUTTON", "OK", kDefault, 81, 99, 50, 14},
      {251, "BUTTON", "", kGroup, 70, 1, 136, 91},
      {252, "STATIC", "", SS_SIMPLE, 77, 15, 100, 8},
      {253, "STATIC", "", SS_SIMPLE, 77, 30, 100, 8},
      {254, "STATIC", "", SS_SIMPLE, 77, 45, 120, 8},
      {255, "STATIC", "", SS_SIMPLE, 77, 60, 24, 8},
      {257, "STATIC", "", SS_SIMPLE, 77, 75, 32, 8},
      {258, "STATIC", "", SS_SIMPLE | SS_NOTIFY, 101, 60, 89, 8},
      {259, "STATIC", "", SS_SIMPLE | SS_NOTIFY, 109, 75, 80, 8}}},
    {262,
     "Registry",
     0,
     183,
     177,
     {{101, "BUTTON", "Settings", kGroup, 8, 4, 168, 63},
      {102, "BUTTON", "Autorun", kGroup, 8, 69, 168, 32},
      {103, "BUTTON", "General", kGroup, 8, 102, 168, 49},
      {263, "BUTTON", "Save current settings to the registry", kRadio, 20, 15, 150, 14},
      {264, "BUTTON", "Delete current settings from the registry", kRadio, 20, 32, 150, 13},
      {269, "BUTTON", "No change", kRadio, 20, 49, 60, 13},
      {265, "BUTTON", "Enable auto-run from registry at startup", kCheck, 20, 80, 144, 14},
      {271, "BUTTON", "Hide logoff from start menu", kCheck, 20, 114, 144, 14},
      {272, "BUTTON", "Hide exit from start menu", kCheck, 20, 131, 144, 14},
      {1, "BUTTON", "OK", kDefault, 28, 155, 50, 14},
      {2, "BUTTON", "Cancel", kButton, 104, 155, 50, 14}}},
    {266,
     "Shortcut",
     0,
     152,
     90,
     {{1, "BUTTON", "OK", kDefault, 16, 69, 50, 14},
      {2, "BUTTON", "Cancel", kButton, 84, 69, 50, 14},
      {101, "BUTTON", "", kGroup, 8, 4, 136, 56},
      {267, "BUTTON", "Create shortcut on desktop", kRadio, 20, 17, 112, 13},
      {268, "BUTTON", "Create shortcut in start menu", kRadio, 20, 39, 112, 14}}},
};

void PrintTo(const DialogRow& row, std::ostream* os) {
    *os << "dialog " << row.id;
}

class DialogTemplates : public Resources, public ::testing::WithParamInterface<DialogRow> {};

TEST_P(DialogTemplates, MatchTheTable) {
    const DialogRow& want = GetParam();
    const sim::DialogTemplate* d = sim::findDialog(number(want.id));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->caption, want.caption);
    EXPECT_EQ(d->style, kDialogStyle | want.extraStyle) << std::hex << "style 0x" << d->style;
    EXPECT_EQ(d->exStyle, 0u);
    EXPECT_EQ(d->cx, want.cx);
    EXPECT_EQ(d->cy, want.cy);
    EXPECT_EQ(d->pointSize, 8u);
    EXPECT_EQ(d->faceName, "MS Sans Serif");
    EXPECT_EQ(d->menu, "");
    EXPECT_EQ(d->className, "");
    ASSERT_EQ(d->controls.size(), want.controls.size());
    for (size_t i = 0; i < want.controls.size(); ++i) {
        const ControlRow& w = want.controls[i];
        const sim::DialogControl& c = d->controls[i];
        SCOPED_TRACE("control " + std::to_string(i) + " (id " + std::to_string(c.id) + ")");
        EXPECT_EQ(c.id, w.id);
        EXPECT_EQ(c.className, w.className);
        EXPECT_EQ(c.text, w.text);
        EXPECT_EQ(c.style, kChild | w.style) << std::hex << "style 0x" << c.style;
        EXPECT_EQ(c.exStyle, 0u);
        EXPECT_EQ(c.x, w.x);
        EXPECT_EQ(c.y, w.y);
        EXPECT_EQ(c.cx, w.cx);
        EXPECT_EQ(c.cy, w.cy);
    }
}

INSTANTIATE_TEST_SUITE_P(Shipped, DialogTemplates, ::testing::ValuesIn(kDialogs),
                         [](const ::testing::TestParamInfo<DialogRow>& info) {
                             return "Dialog" + std::to_string(info.param.id);
                         });

// ---- Icons, cursor, bitmap --------------------------------------------------------------------------

TEST_F(Resources, IconsAreSixteenColoursAndStandbyIsSmall) {
    const std::vector<std::pair<const char*, int>> icons = {
        {"Icon_1", 32}, {"Icon_2", 32}, {"Icon_3", 32}, {"Icon_4", 32}, {"Icon_5", 32},
        {"Icon_6", 16}, {"Icon_7", 32}, {"Icon_9", 32}, {"Icon_A", 32}, {"Icon_B", 32}};
    for (const auto& icon : icons) {
        SCOPED_TRACE(icon.first);
        const sim::IconInfo* info = sim::findIcon(name(icon.first));
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->width, icon.second);
        EXPECT_EQ(info->height, icon.second);
        EXPECT_EQ(info->bitsPerPixel, 4);
        EXPECT_EQ(info->colors, 16);
    }
    EXPECT_EQ(sim::findIcon(name("Icon_8")), nullptr) << "there is no Icon_8";
    EXPECT_NE(sim::findIcon(name("icon_a")), nullptr) << "names match in any case";
}

TEST_F(Resources, HandCursorIsSixteenColoursWithItsHotSpotAtTheFingertip) {
    const sim::IconInfo* info = sim::findCursor(number(261));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->width, 32);
    EXPECT_EQ(info->height, 32);
    EXPECT_EQ(info->bitsPerPixel, 4);
    EXPECT_EQ(info->colors, 16);
    int x = -1, y = -1;
    ASSERT_TRUE(sim::cursorHotSpot(number(261), &x, &y));
    EXPECT_EQ(x, 6);
    EXPECT_EQ(y, 1);
    EXPECT_FALSE(sim::cursorHotSpot(number(262), &x, &y));
    EXPECT_EQ(sim::findCursor(name("Icon_1")), nullptr) << "icons and cursors are separate types";
}

TEST_F(Resources, AboutPictureIsEightyByOneHundredFortyIn256Colours) {
    const sim::BitmapInfo* info = sim::findBitmap(name("Garvik"));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->width, 80);
    EXPECT_EQ(info->height, 140);
    EXPECT_EQ(info->bitsPerPixel, 8);
}

// ---- Version block ----------------------------------------------------------------------------------

TEST_F(Resources, VersionBlockNamesTheProduct) {
    const sim::VersionInfo* v = sim::findVersion();
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->fileVersionMS, 0x00070007u);
    EXPECT_EQ(v->fileVersionLS, 0x00010001u);
    EXPECT_EQ(v->productVersionMS, 0x00070007u);
    EXPECT_EQ(v->productVersionLS, 0x00010001u);
    EXPECT_EQ(v->fileOS, 0x4u) << "VOS__WINDOWS32";
    EXPECT_EQ(v->fileType, 0x1u) << "VFT_APP";
    EXPECT_EQ(v->translationBlock, "040904E4");
    EXPECT_EQ(v->translation, (std::vector<unsigned>{0x409, 1252}));
    const std::vector<std::pair<std::string, std::string>> expected = {{"CompanyName", "Garvik Software"},
                                                                       {"FileDescription", "Kelto 95/98"},
                                                                       {"FileVersion", "7.7.1.1"},
                                                                       {"InternalName", "Kelto95"},
                                                                       {"OriginalFilename", "Kelto95.exe"},
                                                                       {"ProductName", "Windows Kelto 95/98"},
                                                                       {"ProductVersion", "7.7"}};
    for (const auto& want : expected) {
        auto found =
            std::find_if(v->strings.begin(), v->strings.end(),
                         [&](const std::pair<std::string, std::string>& s) { return s.first == want.first; });
        ASSERT_NE(found, v->strings.end()) << want.first;
        EXPECT_EQ(found->second, want.second) << want.first;
    }
    auto notice =
        std::find_if(v->strings.begin(), v->strings.end(), [](const std::pair<std::string, std::string>& s) {
            return s.first == "LegalCopyright";
        });
    ASSERT_NE(notice, v->strings.end());
    EXPECT_NE(notice->second, "");
}

// ---- The parser -------------------------------------------------------------------------------------

TEST(ResourceNames, NumbersTextsAndHashNumbers) {
    struct Case {
        sim::ResName a, b;
        bool equal;
    } cases[] = {
        {name("Kelto1"), name("KELTO1"), true},   {name("#261"), number(261), true},
        {name("261"), number(261), false},        {number(114), number(115), false},
        {name("Icon_1"), name("Icon_10"), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.a == c.b, c.equal) << (c.a.isNumber ? std::to_string(c.a.number) : c.a.text) << " vs "
                                       << (c.b.isNumber ? std::to_string(c.b.number) : c.b.text);
}

TEST_F(Resources, DamagedFilesAreRefusedAndTheLoadedOnesStay) {
    std::vector<uint8_t> good = readFile(KELTO_RES_PATH);
    ASSERT_GT(good.size(), 64u);
    std::vector<uint8_t> truncated(good.begin(), good.begin() + static_cast<long>(good.size() / 2));
    std::vector<uint8_t> sixteenBit = good;
    sixteenBit[4] = 0x10; // the opening empty entry's header size
    struct Case {
        const char* what;
        std::string path;
    } cases[] = {
        {"missing", ::testing::TempDir() + "no-such-file.res"},
        {"truncated", writeTemp("truncated.res", truncated)},
        {"no 32-bit signature", writeTemp("sixteen.res", sixteenBit)},
        {"empty", writeTemp("empty.res", {})},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(sim::loadResources(c.path, &error)) << c.what;
        EXPECT_NE(error, "") << c.what;
        EXPECT_NE(sim::findMenu(name("Kelto1")), nullptr) << c.what << ": the earlier load is kept";
    }
}

// Writes a .res holding the given resources (type ordinal, name ordinal, data), as windres lays it out.
class ResWriter {
  public:
    ResWriter() { entry(0, 0, {}); }
    ResWriter& entry(uint16_t type, uint16_t id, const std::vector<uint8_t>& data) {
        dword(static_cast<uint32_t>(data.size()));
        dword(32);
        word(0xFFFF), word(type), word(0xFFFF), word(id);
        dword(0), word(0x1030), word(0x409), dword(0), dword(0);
        bytes_.insert(bytes_.end(), data.begin(), data.end());
        while (bytes_.size() % 4)
            bytes_.push_back(0);
        return *this;
    }
    std::string save(const char* file) { return writeTemp(file, bytes_); }

  private:
    void word(uint16_t v) {
        bytes_.push_back(static_cast<uint8_t>(v));
        bytes_.push_back(static_cast<uint8_t>(v >> 8));
    }
    void dword(uint32_t v) { word(static_cast<uint16_t>(v)), word(static_cast<uint16_t>(v >> 16)); }
    std::vector<uint8_t> bytes_;
};

// Little-endian words and UTF-16 text for hand-made templates.
struct Bytes {
    std::vector<uint8_t> b;
    Bytes& w(uint16_t v) {
        b.push_back(static_cast<uint8_t>(v));
        b.push_back(static_cast<uint8_t>(v >> 8));
        return *this;
    }
    Bytes& d(uint32_t v) { return w(static_cast<uint16_t>(v)).w(static_cast<uint16_t>(v >> 16)); }
    Bytes& s(const char* text) {
        for (; *text; ++text)
            w(static_cast<uint8_t>(*text));
        return w(0);
    }
    Bytes& align() {
        while (b.size() % 4)
            b.push_back(0);
        return *this;
    }
};

TEST_F(Resources, AcceleratorTableEndsAtItsMarkAndMustHaveOne) {
    Bytes marked;
    marked.w(0x01).w('Q').w(7).w(0);        // FVIRTKEY
    marked.w(0x80 | 0x10).w('W').w(8).w(0); // FALT, last
    marked.w(0).w('Z').w(9).w(0);           // after the mark: never read by Windows
    Bytes unmarked;
    unmarked.w(0).w('Q').w(7).w(0);
    std::string error;
    ASSERT_TRUE(sim::loadResources(ResWriter().entry(9, 1, marked.b).save("accel.res"), &error)) << error;
    const std::vector<sim::AccelEntry>* table = sim::findAccelerators(number(1));
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->size(), 2u);
    EXPECT_EQ((*table)[0].flags, 0x01u);
    EXPECT_EQ((*table)[1].flags, 0x10u) << "the end mark is not a flag";
    EXPECT_EQ((*table)[1].key, unsigned('W'));
    EXPECT_EQ((*table)[1].command, 8u);
    EXPECT_FALSE(sim::loadResources(ResWriter().entry(9, 1, unmarked.b).save("open.res"), &error));
}

TEST_F(Resources, DialogItemsAreDwordAlignedAndOtherClassesAreNamed) {
    Bytes t;
    t.d(WS_POPUP).d(0).w(4).w(1).w(2).w(30).w(40); // no DS_SETFONT: no font fields
    t.w(0xFFFF).w(5);                              // menu by ordinal
    t.s("MyClass").s("Odd");                       // odd-length title: the first item needs padding
    const uint16_t classes[] = {0x83, 0x84, 0x85};
    for (uint16_t i = 0; i < 3; ++i) {
        t.align().d(WS_CHILD | i).d(0).w(i).w(i).w(10).w(10).w(static_cast<uint16_t>(300 + i));
        t.w(0xFFFF).w(classes[i]).s(i == 0 ? "list" : "");
        t.w(i == 1 ? 3 : 0); // creation data the parser must step over
        if (i == 1)
            t.b.insert(t.b.end(), {1, 2, 3});
    }
    t.align().d(WS_CHILD).d(0).w(0).w(0).w(5).w(5).w(303).s("Custom").w(0xFFFF).w(7).w(0);
    std::string error;
    ASSERT_TRUE(sim::loadResources(ResWriter().entry(5, 42, t.b).save("dialog.res"), &error)) << error;
    const sim::DialogTemplate* d = sim::findDialog(number(42));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->menu, "#5");
    EXPECT_EQ(d->className, "MyClass");
    EXPECT_EQ(d->caption, "Odd");
    EXPECT_EQ(d->faceName, "");
    EXPECT_EQ(d->cx, 30);
    ASSERT_EQ(d->controls.size(), 4u);
    const char* names[] = {"LISTBOX", "SCROLLBAR", "COMBOBOX", "Custom"};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(d->controls[i].className, names[i]);
        EXPECT_EQ(d->controls[i].id, 300 + i);
    }
    EXPECT_EQ(d->controls[0].text, "list");
    EXPECT_EQ(d->controls[2].style, DWORD(WS_CHILD | 2));
    EXPECT_EQ(d->controls[3].text, "#7") << "a title given by ordinal";
}

TEST_F(Resources, MenuWithoutItsEndMarkIsRefused) {
    Bytes open;
    open.w(0).w(0).w(0x10).s("&Popup").w(0).w(1).s("Item"); // neither item carries MF_END
    std::string error;
    EXPECT_FALSE(sim::loadResources(ResWriter().entry(4, 1, open.b).save("menu.res"), &error));
    EXPECT_NE(error.find("MENU"), std::string::npos) << error;
}

} // namespace
