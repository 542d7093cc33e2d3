// Reads the 32-bit .res file that windres compiles from res/kelto.rc, so that the simulated machine builds
// its menus, accelerators and dialogs from the very templates the program ships with.
#include "resources.h"

#include <cctype>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <utility>

namespace sim {

namespace {

// Resource types (winuser.h).
constexpr unsigned kRtCursor = 1, kRtBitmap = 2, kRtIcon = 3, kRtMenu = 4, kRtDialog = 5, kRtAccelerator = 9,
                   kRtGroupCursor = 12, kRtGroupIcon = 14, kRtVersion = 16;

constexpr unsigned kMenuEnd = 0x80;  // MF_END: last item of its level, in templates only
constexpr unsigned kAccelEnd = 0x80; // last entry of an accelerator table
constexpr DWORD kDlgExSignature = 0xFFFF0001;
constexpr DWORD kFixedFileInfoSignature = 0xFEEF04BD;
constexpr int kMaxMenuDepth = 16; // templates nest popups; a corrupt one must not recurse forever

// A bounds-checked little-endian cursor. Reading past the end yields zeros and marks the reader failed, so a
// parser can read straight through and check ok() once.
class Reader {
  public:
    Reader(const std::vector<uint8_t>& data, size_t begin, size_t end)
        : data_(data), pos_(begin), end_(end) {}

    bool ok() const { return ok_; }
    size_t pos() const { return pos_; }
    size_t end() const { return end_; }
    bool atEnd() const { return pos_ >= end_; }

    uint16_t u16() { return static_cast<uint16_t>(take(2)); }
    uint32_t u32() { return static_cast<uint32_t>(take(4)); }
    int16_t s16() { return static_cast<int16_t>(u16()); }
    int32_t s32() { return static_cast<int32_t>(u32()); }

    void skip(size_t n) {
        if (n > end_ - pos_) {
            fail();
            return;
        }
        pos_ += n;
    }
    // Aligns to a multiple of n bytes from the start of the file; every resource's data starts DWORD-aligned,
    // so this is also the alignment within the resource.
    void align(size_t n) {
        size_t aligned = (pos_ + n - 1) / n * n;
        pos_ = aligned > end_ ? end_ : aligned;
    }
    void seek(size_t p) {
        if (p > end_)
            fail();
        else
            pos_ = p;
    }
    void fail() {
        ok_ = false;
        pos_ = end_;
    }

    // A NUL-terminated UTF-16 string. The program sees resources through the ANSI calls, so code units below
    // 256 become the byte of the same value (Latin-1, which agrees with code page 1252 for what we ship).
    std::string wstr() {
        std::string out;
        for (;;) {
            uint16_t c = u16();
            if (!ok_ || c == 0)
                break;
            out.push_back(c < 0x100 ? static_cast<char>(c) : '?');
        }
        return out;
    }

  private:
    uint32_t take(size_t n) {
        if (!ok_ || n > end_ - pos_) {
            fail();
            return 0;
        }
        uint32_t v = 0;
        for (size_t i = 0; i < n; ++i)
            v |= static_cast<uint32_t>(data_[pos_ + i]) << (8 * i);
        pos_ += n;
        return v;
    }

    const std::vector<uint8_t>& data_;
    size_t pos_, end_;
    bool ok_ = true;
};

std::string upper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// A resource type or name in the .res header: 0xFFFF and an ordinal, or a string.
ResName readName(Reader& r) {
    ResName n;
    size_t start = r.pos();
    if (r.u16() == 0xFFFF) {
        n.isNumber = true;
        n.number = r.u16();
    } else {
        r.seek(start);
        n.text = upper(r.wstr());
    }
    return n;
}

// sz_Or_Ord of dialog templates: 0 for none, 0xFFFF and an ordinal (shown as "#n"), or a string.
std::string readSzOrOrd(Reader& r, unsigned* ordinal = nullptr) {
    size_t start = r.pos();
    uint16_t first = r.u16();
    if (first == 0)
        return std::string();
    if (first == 0xFFFF) {
        unsigned n = r.u16();
        if (ordinal)
            *ordinal = n;
        return "#" + std::to_string(n);
    }
    r.seek(start);
    return r.wstr();
}

std::string describe(const ResName& n) {
    return n.isNumber ? std::to_string(n.number) : n.text;
}

struct RawResource {
    unsigned type = 0; // named types are not used by the program; they stay 0 and are ignored
    ResName name;
    size_t begin = 0, end = 0;
};

struct Store {
    std::vector<uint8_t> bytes;
    std::vector<RawResource> raw;
    std::vector<std::pair<ResName, MenuItemTemplate>> menus;
    std::vector<std::pair<ResName, std::vector<AccelEntry>>> accelerators;
    std::vector<std::pair<ResName, DialogTemplate>> dialogs;
    std::vector<std::pair<ResName, IconInfo>> icons, cursors;
    std::vector<std::pair<ResName, std::pair<int, int>>> hotSpots;
    std::vector<std::pair<ResName, BitmapInfo>> bitmaps;
    std::vector<VersionInfo> versions;
};

Store& current() {
    static Store store;
    return store;
}

template <typename T> const T* lookup(const std::vector<std::pair<ResName, T>>& list, const ResName& name) {
    for (const auto& entry : list)
        if (entry.first == name)
            return &entry.second;
    return nullptr;
}

const RawResource* findRaw(const Store& s, unsigned type, const ResName& name) {
    for (const auto& res : s.raw)
        if (res.type == type && res.name == name)
            return &res;
    return nullptr;
}

// ---- Menus ----------------------------------------------------------------------------------------------

bool readMenuItems(Reader& r, std::vector<MenuItemTemplate>& out, int depth) {
    if (depth > kMaxMenuDepth)
        return false;
    for (;;) {
        MenuItemTemplate item;
        unsigned flags = r.u16();
        bool popup = (flags & MF_POPUP) != 0;
        if (!popup)
            item.id = r.u16();
        item.text = r.wstr();
        if (!r.ok())
            return false;
        if (popup && !readMenuItems(r, item.children, depth + 1))
            return false;
        item.flags = flags & ~kMenuEnd;
        // A template separator is an item with id 0 and no text; Windows gives it the separator type.
        if (!popup && item.id == 0 && item.text.empty())
            item.flags |= MF_SEPARATOR;
        out.push_back(std::move(item));
        if (flags & kMenuEnd)
            return true;
    }
}

bool parseMenu(Reader r, MenuItemTemplate* root, std::string* why) {
    unsigned version = r.u16();
    unsigned offset = r.u16();
    if (version != 0) {
        *why = "extended menu templates are not supported";
        return false;
    }
    r.skip(offset);
    root->flags = MF_POPUP;
    if (!readMenuItems(r, root->children, 0) || !r.ok()) {
        *why = "truncated or too deeply nested menu template";
        return false;
    }
    return true;
}

// ---- Accelerators ---------------------------------------------------------------------------------------

bool parseAccelerators(Reader r, std::vector<AccelEntry>* table, std::string* why) {
    while (!r.atEnd()) {
        unsigned fVirt = r.u16();
        AccelEntry e;
        e.key = r.u16();
        e.command = r.u16();
        r.u16();
        if (!r.ok())
            break;
        e.flags = fVirt & 0xFF & ~kAccelEnd;
        table->push_back(e);
        if (fVirt & kAccelEnd)
            return true; // Windows stops at the mark, whatever follows
    }
    *why = "accelerator table has no end mark";
    return false;
}

// ---- Dialogs --------------------------------------------------------------------------------------------

std::string controlClass(Reader& r) {
    unsigned ordinal = 0;
    std::string name = readSzOrOrd(r, &ordinal);
    static const char* const predefined[] = {"BUTTON", "EDIT", "STATIC", "LISTBOX", "SCROLLBAR", "COMBOBOX"};
    if (!name.empty() && name[0] == '#' && ordinal >= 0x80 && ordinal <= 0x85)
        return predefined[ordinal - 0x80];
    // Class names match case-insensitively; give the predefined ones one spelling.
    for (const char* p : predefined)
        if (upper(name) == p)
            return p;
    return name;
}

bool parseDialog(Reader r, DialogTemplate* d, std::string* why) {
    size_t start = r.pos();
    bool extended = r.u32() == kDlgExSignature;
    unsigned count = 0;
    r.seek(start);
    if (extended) {
        r.skip(8); // version and signature, help id
        d->exStyle = r.u32();
        d->style = r.u32();
    } else {
        d->style = r.u32();
        d->exStyle = r.u32();
    }
    count = r.u16();
    d->x = r.s16();
    d->y = r.s16();
    d->cx = r.s16();
    d->cy = r.s16();
    d->menu = readSzOrOrd(r);
    d->className = readSzOrOrd(r);
    d->caption = r.wstr();
    if (d->style & DS_SETFONT) {
        d->pointSize = r.u16();
        if (extended)
            r.skip(4); // weight, italic, character set
        d->faceName = r.wstr();
    }
    for (unsigned i = 0; i < count && r.ok(); ++i) {
        DialogControl c;
        r.align(4);
        if (extended) {
            r.skip(4); // help id
            c.exStyle = r.u32();
            c.style = r.u32();
        } else {
            c.style = r.u32();
            c.exStyle = r.u32();
        }
        c.x = r.s16();
        c.y = r.s16();
        c.cx = r.s16();
        c.cy = r.s16();
        c.id = extended ? r.u32() : r.u16();
        c.className = controlClass(r);
        c.text = readSzOrOrd(r);
        r.skip(r.u16()); // creation data
        d->controls.push_back(std::move(c));
    }
    if (!r.ok()) {
        *why = "truncated dialog template";
        return false;
    }
    return true;
}

// ---- Icons, cursors, bitmaps ----------------------------------------------------------------------------

// The BITMAPINFOHEADER (or the old BITMAPCOREHEADER) at the reader's position.
bool readDibHeader(Reader& r, int* width, int* height, int* bitsPerPixel, int* colorsUsed) {
    uint32_t size = r.u32();
    if (size == 12) {
        *width = r.u16();
        *height = r.u16();
        unsigned planes = r.u16();
        *bitsPerPixel = static_cast<int>(planes * r.u16());
        *colorsUsed = 0;
    } else if (size >= 40) {
        *width = r.s32();
        *height = r.s32();
        unsigned planes = r.u16();
        *bitsPerPixel = static_cast<int>(planes * r.u16());
        r.skip(16); // compression, image size, resolution
        *colorsUsed = static_cast<int>(r.u32());
    } else {
        return false; // a PNG image or garbage; Windows 9x knows neither
    }
    if (*height < 0)
        *height = -*height;
    return r.ok();
}

// Width, height (of the XOR image, half the DIB's height) and colour depth of an icon or cursor image.
bool readIconImage(Reader r, bool cursor, IconInfo* info, std::pair<int, int>* hotSpot) {
    if (cursor) {
        hotSpot->first = r.u16();
        hotSpot->second = r.u16();
    }
    int used = 0;
    if (!readDibHeader(r, &info->width, &info->height, &info->bitsPerPixel, &used))
        return false;
    info->height /= 2;
    // Colours in the palette; 0 for the direct-colour depths, which have none.
    info->colors = used != 0 ? used : info->bitsPerPixel <= 8 ? 1 << info->bitsPerPixel : 0;
    return true;
}

// The first image a group names.
bool parseGroup(const Store& s, Reader r, bool cursor, IconInfo* info, std::pair<int, int>* hotSpot,
                std::string* why) {
    r.u16(); // reserved
    unsigned type = r.u16();
    unsigned count = r.u16();
    if (!r.ok() || type != (cursor ? 2u : 1u) || count == 0) {
        *why = "bad group header";
        return false;
    }
    r.skip(12); // the directory entry's own idea of size and depth; the image's header is what counts
    ResName image;
    image.isNumber = true;
    image.number = r.u16();
    const RawResource* raw = findRaw(s, cursor ? kRtCursor : kRtIcon, image);
    if (!r.ok() || !raw) {
        *why = "image " + std::to_string(image.number) + " missing";
        return false;
    }
    if (!readIconImage(Reader(s.bytes, raw->begin, raw->end), cursor, info, hotSpot)) {
        *why = "image " + std::to_string(image.number) + " is not a device-independent bitmap";
        return false;
    }
    return true;
}

bool parseBitmap(Reader r, BitmapInfo* info, std::string* why) {
    int used = 0;
    if (!readDibHeader(r, &info->width, &info->height, &info->bitsPerPixel, &used)) {
        *why = "bad bitmap header";
        return false;
    }
    return true;
}

// ---- Version block --------------------------------------------------------------------------------------

// One node of the version tree: wLength, wValueLength, wType, key, value, children.
struct VersionNode {
    std::string key;
    size_t valueBegin = 0, valueEnd = 0, childrenBegin = 0, end = 0;
    unsigned type = 0;
};

bool readVersionNode(Reader& r, size_t limit, VersionNode* n) {
    r.align(4);
    size_t start = r.pos();
    unsigned length = r.u16();
    unsigned valueLength = r.u16();
    n->type = r.u16();
    n->key = r.wstr();
    r.align(4);
    n->end = start + length;
    if (!r.ok() || length < 6 || n->end > limit)
        return false;
    n->valueBegin = r.pos();
    size_t valueBytes = n->type == 1 ? valueLength * 2 : valueLength; // text values count characters
    n->valueEnd = n->valueBegin + valueBytes > n->end ? n->end : n->valueBegin + valueBytes;
    r.seek(n->valueEnd);
    r.align(4);
    n->childrenBegin = r.pos() > n->end ? n->end : r.pos();
    return r.ok();
}

bool parseVersion(const Store& s, Reader r, VersionInfo* v, std::string* why) {
    VersionNode root;
    *why = "malformed version block";
    if (!readVersionNode(r, r.end(), &root) || root.key != "VS_VERSION_INFO")
        return false;
    Reader fixed(s.bytes, root.valueBegin, root.valueEnd);
    if (fixed.u32() != kFixedFileInfoSignature)
        return false;
    fixed.u32(); // structure version
    v->fileVersionMS = fixed.u32();
    v->fileVersionLS = fixed.u32();
    v->productVersionMS = fixed.u32();
    v->productVersionLS = fixed.u32();
    fixed.skip(8); // flags mask and flags
    v->fileOS = fixed.u32();
    v->fileType = fixed.u32();
    if (!fixed.ok())
        return false;

    Reader kids(s.bytes, root.childrenBegin, root.end);
    while (!kids.atEnd()) {
        VersionNode block;
        if (!readVersionNode(kids, root.end, &block))
            return false;
        Reader inner(s.bytes, block.childrenBegin, block.end);
        if (block.key == "StringFileInfo") {
            // Only the first table matters: the program ships one language.
            while (!inner.atEnd()) {
                VersionNode table;
                if (!readVersionNode(inner, block.end, &table))
                    return false;
                bool first = v->translationBlock.empty();
                if (first)
                    v->translationBlock = table.key;
                Reader strings(s.bytes, table.childrenBegin, table.end);
                while (!strings.atEnd()) {
                    VersionNode str;
                    if (!readVersionNode(strings, table.end, &str))
                        return false;
                    if (first) {
                        Reader text(s.bytes, str.valueBegin, str.end);
                        v->strings.emplace_back(str.key, str.valueBegin < str.valueEnd ? text.wstr() : "");
                    }
                    strings.seek(str.end);
                }
                inner.seek(table.end);
            }
        } else if (block.key == "VarFileInfo") {
            while (!inner.atEnd()) {
                VersionNode var;
                if (!readVersionNode(inner, block.end, &var))
                    return false;
                if (var.key == "Translation") {
                    Reader words(s.bytes, var.valueBegin, var.valueEnd);
                    while (words.end() - words.pos() >= 2)
                        v->translation.push_back(words.u16());
                }
                inner.seek(var.end);
            }
        }
        kids.seek(block.end);
    }
    return true;
}

// ---- The file -------------------------------------------------------------------------------------------

bool readEntries(Store& s, std::string* why) {
    Reader r(s.bytes, 0, s.bytes.size());
    bool first = true;
    while (!r.atEnd()) {
        r.align(4);
        if (r.atEnd())
            break;
        size_t start = r.pos();
        uint32_t dataSize = r.u32();
        uint32_t headerSize = r.u32();
        ResName type = readName(r);
        ResName name = readName(r);
        if (!r.ok() || headerSize < 16 || headerSize > s.bytes.size() - start ||
            dataSize > s.bytes.size() - start - headerSize) {
            *why = "truncated resource header at offset " + std::to_string(start);
            return false;
        }
        if (first) {
            // The 32-bit format opens with an empty entry; a 16-bit .res does not, and reads differently.
            if (dataSize != 0 || headerSize != 32 || !type.isNumber || type.number != 0) {
                *why = "not a 32-bit resource file";
                return false;
            }
            first = false;
        } else if (type.isNumber && type.number != 0) {
            RawResource res;
            res.type = type.number;
            res.name = name;
            res.begin = start + headerSize;
            res.end = res.begin + dataSize;
            s.raw.push_back(res);
        }
        r.seek(start + headerSize + dataSize);
    }
    if (first) {
        *why = "empty file";
        return false;
    }
    return true;
}

bool decode(Store& s, std::string* why) {
    for (const RawResource& res : s.raw) {
        Reader r(s.bytes, res.begin, res.end);
        std::string reason;
        bool ok = true;
        const char* what = "";
        switch (res.type) {
        case kRtMenu: {
            what = "MENU";
            MenuItemTemplate root;
            ok = parseMenu(r, &root, &reason);
            s.menus.emplace_back(res.name, std::move(root));
            break;
        }
        case kRtAccelerator: {
            what = "ACCELERATORS";
            std::vector<AccelEntry> table;
            ok = parseAccelerators(r, &table, &reason);
            s.accelerators.emplace_back(res.name, std::move(table));
            break;
        }
        case kRtDialog: {
            what = "DIALOG";
            DialogTemplate d;
            ok = parseDialog(r, &d, &reason);
            s.dialogs.emplace_back(res.name, std::move(d));
            break;
        }
        case kRtGroupIcon:
        case kRtGroupCursor: {
            bool cursor = res.type == kRtGroupCursor;
            what = cursor ? "CURSOR" : "ICON";
            IconInfo info;
            std::pair<int, int> hotSpot(0, 0);
            ok = parseGroup(s, r, cursor, &info, &hotSpot, &reason);
            (cursor ? s.cursors : s.icons).emplace_back(res.name, info);
            if (cursor)
                s.hotSpots.emplace_back(res.name, hotSpot);
            break;
        }
        case kRtBitmap: {
            what = "BITMAP";
            BitmapInfo info;
            ok = parseBitmap(r, &info, &reason);
            s.bitmaps.emplace_back(res.name, info);
            break;
        }
        case kRtVersion: {
            what = "VERSIONINFO";
            VersionInfo v;
            ok = parseVersion(s, r, &v, &reason);
            s.versions.push_back(std::move(v));
            break;
        }
        default: break; // single images and other types are reached through their groups, or unused
        }
        if (!ok) {
            *why = std::string(what) + " " + describe(res.name) + ": " + reason;
            return false;
        }
    }
    return true;
}

} // namespace

ResName ResName::from(LPCSTR name) {
    ResName n;
    if (IS_INTRESOURCE(name)) {
        n.isNumber = true;
        n.number = static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(name));
    } else if (name[0] == '#') {
        // "#123" names the numbered resource 123, as FindResource reads it.
        n.isNumber = true;
        for (const char* p = name + 1; *p >= '0' && *p <= '9'; ++p)
            n.number = (n.number * 10 + static_cast<unsigned>(*p - '0')) & 0xFFFF;
    } else {
        n.text = upper(name);
    }
    return n;
}

bool ResName::operator==(const ResName& other) const {
    if (isNumber != other.isNumber)
        return false;
    return isNumber ? number == other.number : text == other.text;
}

bool loadResources(const std::string& path, std::string* error) {
    std::string unused;
    std::string& why = error ? *error : unused;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        why = "cannot open " + path;
        return false;
    }
    Store s;
    s.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!readEntries(s, &why) || !decode(s, &why)) {
        why = path + ": " + why;
        return false; // what was loaded before stays loaded
    }
    current() = std::move(s);
    return true;
}

const MenuItemTemplate* findMenu(const ResName& name) {
    return lookup(current().menus, name);
}

const std::vector<AccelEntry>* findAccelerators(const ResName& name) {
    return lookup(current().accelerators, name);
}

const DialogTemplate* findDialog(const ResName& name) {
    return lookup(current().dialogs, name);
}

const IconInfo* findIcon(const ResName& name) {
    return lookup(current().icons, name);
}

const IconInfo* findCursor(const ResName& name) {
    return lookup(current().cursors, name);
}

bool cursorHotSpot(const ResName& name, int* x, int* y) {
    const std::pair<int, int>* spot = lookup(current().hotSpots, name);
    if (!spot)
        return false;
    *x = spot->first;
    *y = spot->second;
    return true;
}

const BitmapInfo* findBitmap(const ResName& name) {
    return lookup(current().bitmaps, name);
}

const VersionInfo* findVersion() {
    return current().versions.empty() ? nullptr : &current().versions.front();
}

} // namespace sim
