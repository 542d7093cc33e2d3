// Structure of the 16-bit companion library KeltoDLL.dll, read the way the Windows loader reads
// it: MZ stub, NE header, segment table, names, entry table, imports and relocations, and a few
// decoded instructions of each entry point.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <ostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// NE header fields, by offset from the "NE" signature.
enum : size_t {
    NE_ENTTAB = 0x04,
    NE_CBENTTAB = 0x06,
    NE_FLAGS = 0x0C,
    NE_AUTODATA = 0x0E,
    NE_CSIP = 0x14,
    NE_CSEG = 0x1C,
    NE_CMOD = 0x1E,
    NE_CBNRESTAB = 0x20,
    NE_SEGTAB = 0x22,
    NE_RSRCTAB = 0x24,
    NE_RESTAB = 0x26,
    NE_MODTAB = 0x28,
    NE_IMPTAB = 0x2A,
    NE_NRESTAB = 0x2C,
    NE_CMOVENT = 0x30,
    NE_ALIGN = 0x32,
    NE_EXETYP = 0x36,
    NE_HEADER_SIZE = 0x40,
};

constexpr uint16_t kLibraryFlag = 0x8000;
constexpr uint16_t kDataMask = 0x0003; // 0: no DGROUP, 1: single, 2: multiple
constexpr uint16_t kSegData = 0x0001;
constexpr uint16_t kSegRelocInfo = 0x0100;
constexpr uint8_t kExportedFlag = 0x01;

struct Segment {
    size_t fileOffset;
    uint16_t length, flags, minAlloc;
};

struct Entry {
    uint8_t flags;
    uint8_t segment;
    uint16_t offset;
    bool moveable;
};

struct Relocation {
    uint8_t addressType, relocationType;
    uint16_t offset, target1, target2;
};

// Everything is read through bounds-checked helpers: a bad offset fails the test, never the process.
class NeImage {
  public:
    explicit NeImage(Bytes bytes) : b_(std::move(bytes)) {}

    size_t Size() const { return b_.size(); }
    bool Has(size_t off, size_t len) const { return off <= b_.size() && len <= b_.size() - off; }
    uint8_t U8(size_t off) const {
        Require(off, 1);
        return b_[off];
    }
    uint16_t U16(size_t off) const {
        Require(off, 2);
        return uint16_t(b_[off] | b_[off + 1] << 8);
    }
    uint32_t U32(size_t off) const { return U16(off) | uint32_t(U16(off + 2)) << 16; }
    std::string Str(size_t off, size_t len) const {
        Require(off, len);
        return std::string(b_.begin() + off, b_.begin() + off + len);
    }

    size_t Ne() const { return U32(0x3C); }
    uint16_t Hdr(size_t field) const { return U16(Ne() + field); }
    size_t Table(size_t field) const { return Ne() + Hdr(field); }

    Segment Seg(unsigned number) const {
        size_t at = Table(NE_SEGTAB) + (number - 1) * 8;
        return {size_t(U16(at)) << Hdr(NE_ALIGN), U16(at + 2), U16(at + 4), U16(at + 6)};
    }

    // Length-prefixed names with an ordinal word after each, up to a zero length byte.
    std::vector<std::pair<std::string, uint16_t>> Names(size_t off) const {
        std::vector<std::pair<std::string, uint16_t>> names;
        for (uint8_t len; (len = U8(off)) != 0; off += 1 + len + 2)
            names.emplace_back(Str(off + 1, len), U16(off + 1 + len));
        return names;
    }

    // The entry table as the loader builds it: ordinal n is entries[n - 1]; unused ordinals
    // stay default (segment 0).
    std::vector<Entry> Entries(size_t* tableSize) const {
        std::vector<Entry> entries;
        size_t start = Table(NE_ENTTAB), p = start;
        for (uint8_t count; (count = U8(p)) != 0;) {
            uint8_t type = U8(p + 1);
            p += 2;
            for (unsigned i = 0; i < count; ++i) {
                if (type == 0) {
                    entries.push_back({});
                } else if (type == 0xFF) {
                    EXPECT_EQ(U16(p + 1), 0x3FCD) << "moveable entry without INT 3Fh";
                    entries.push_back({U8(p), U8(p + 3), U16(p + 4), true});
                    p += 6;
                } else {
                    entries.push_back({U8(p), type, U16(p + 1), false});
                    p += 3;
                }
            }
        }
        *tableSize = p + 1 - start;
        return entries;
    }

    // GetProcAddress: the name is upper-cased, then looked up in both name tables.
    uint16_t OrdinalOf(std::string name) const {
        for (char& c : name)
            c = char(toupper(static_cast<unsigned char>(c)));
        auto resident = Names(Table(NE_RESTAB));
        auto nonresident = Names(U32(Ne() + NE_NRESTAB));
        for (auto* table : {&resident, &nonresident})
            for (size_t i = 1; i < table->size(); ++i)
                if ((*table)[i].first == name)
                    return (*table)[i].second;
        return 0;
    }

    std::string ImportedModule(uint16_t index) const {
        size_t name = Table(NE_IMPTAB) + U16(Table(NE_MODTAB) + (index - 1) * 2);
        return Str(name + 1, U8(name));
    }

    std::vector<Relocation> Relocations(unsigned segment) const {
        Segment s = Seg(segment);
        std::vector<Relocation> relocs;
        if (!(s.flags & kSegRelocInfo))
            return relocs;
        size_t at = s.fileOffset + s.length;
        for (unsigned i = 0, n = U16(at); i < n; ++i) {
            size_t r = at + 2 + i * 8;
            relocs.push_back({U8(r), U8(r + 1), U16(r + 2), U16(r + 4), U16(r + 6)});
        }
        return relocs;
    }

  private:
    void Require(size_t off, size_t len) const {
        if (!Has(off, len)) {
            ADD_FAILURE() << "read of " << len << " bytes at 0x" << std::hex << off << " beyond the file ("
                          << std::dec << b_.size() << " bytes)";
            throw std::out_of_range("NE image");
        }
    }
    Bytes b_;
};

// The few instructions the entries use, decoded from an entry point to its RETF.
struct Push {
    bool cs; // PUSH CS rather than an immediate
    uint16_t value;
};
struct Decoded {
    std::vector<Push> pushedBeforeCall; // in push order
    int farCalls = 0;
    uint16_t callPointerAt = 0; // segment offset of the CALL's far pointer
    int ax = -1;                // last MOV AX, imm16
    int retfPops = -1;
    std::string error;
};

Decoded Decode(const NeImage& img, const Segment& seg, uint16_t ip) {
    Decoded d;
    std::vector<Push> pushes;
    for (size_t pc = ip; pc < seg.length;) {
        size_t at = seg.fileOffset + pc;
        switch (uint8_t op = img.U8(at)) {
        case 0x6A: pushes.push_back({false, uint16_t(int16_t(int8_t(img.U8(at + 1))))}), pc += 2; break;
        case 0x68: pushes.push_back({false, img.U16(at + 1)}), pc += 3; break;
        case 0x0E: pushes.push_back({true, 0}), pc += 1; break;
        case 0xB8: d.ax = img.U16(at + 1), pc += 3; break;
        case 0x9A:
            ++d.farCalls;
            d.callPointerAt = uint16_t(pc + 1);
            d.pushedBeforeCall = pushes;
            pushes.clear();
            pc += 5;
            break;
        case 0xCB: d.retfPops = 0; return d;
        case 0xCA: d.retfPops = img.U16(at + 1); return d;
        default: {
            char msg[64];
            std::snprintf(msg, sizeof msg, "unexpected opcode %02X at offset %04zX", op, pc);
            d.error = msg;
            return d;
        }
        }
    }
    d.error = "ran off the end of the segment";
    return d;
}

std::string CString(const NeImage& img, const Segment& seg, uint16_t off) {
    std::string s;
    for (; off < seg.length && img.U8(seg.fileOffset + off) != 0; ++off)
        s += char(img.U8(seg.fileOffset + off));
    return off < seg.length ? s : "<unterminated>";
}

class Companion : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_GT(img.Size(), size_t(NE_HEADER_SIZE)) << "cannot read " << KELTO_COMPANION_PATH;
    }
    NeImage img{ReadFile(KELTO_COMPANION_PATH)};
};

TEST_F(Companion, IsAWindowsLibraryInNewExecutableFormat) {
    EXPECT_EQ(img.Str(0, 2), "MZ");
    EXPECT_GE(img.U16(0x18), 0x40) << "e_lfarlc below 0x40 does not announce a new executable";
    ASSERT_TRUE(img.Has(img.Ne(), NE_HEADER_SIZE)) << "e_lfanew = " << img.Ne();
    EXPECT_EQ(img.Str(img.Ne(), 2), "NE");
    EXPECT_EQ(img.U8(img.Ne() + NE_EXETYP), 2) << "target OS is not Windows";
    uint16_t flags = img.Hdr(NE_FLAGS);
    EXPECT_TRUE(flags & kLibraryFlag) << "flags " << std::hex << flags;
    // A library without DGROUP must say so, or Wine refuses it and Windows hands it a bad DS.
    EXPECT_EQ(flags & kDataMask, 0) << "flags " << std::hex << flags;
    EXPECT_EQ(img.Hdr(NE_AUTODATA), 0);
}

TEST_F(Companion, TablesLieInLoaderOrderInsideTheFile) {
    // The loader sizes several tables by the distance to the next one.
    size_t seg = img.Table(NE_SEGTAB), rsrc = img.Table(NE_RSRCTAB), res = img.Table(NE_RESTAB);
    size_t mod = img.Table(NE_MODTAB), imp = img.Table(NE_IMPTAB), ent = img.Table(NE_ENTTAB);
    EXPECT_EQ(seg, img.Ne() + NE_HEADER_SIZE);
    EXPECT_EQ(rsrc - seg, img.Hdr(NE_CSEG) * 8u) << "segment table size";
    EXPECT_EQ(rsrc, res) << "resource table should be empty";
    EXPECT_LT(res, mod);
    EXPECT_EQ(img.U8(mod - 1), 0) << "resident names do not end right before the module references";
    EXPECT_EQ(imp - mod, img.Hdr(NE_CMOD) * 2u) << "module reference table size";
    EXPECT_LT(imp, ent);
    EXPECT_TRUE(img.Has(ent, img.Hdr(NE_CBENTTAB)));
    EXPECT_TRUE(img.Has(img.U32(img.Ne() + NE_NRESTAB), img.Hdr(NE_CBNRESTAB)));

    size_t entSize = 0;
    auto entries = img.Entries(&entSize);
    EXPECT_EQ(entSize, img.Hdr(NE_CBENTTAB)) << "ne_cbenttab";
    unsigned moveable = 0;
    for (const Entry& e : entries)
        moveable += e.moveable;
    EXPECT_EQ(img.Hdr(NE_CMOVENT), moveable) << "ne_cmovent";
}

TEST_F(Companion, CodeSegmentAndRelocationsFitTheFile) {
    ASSERT_EQ(img.Hdr(NE_CSEG), 1);
    Segment s = img.Seg(1);
    EXPECT_EQ(s.flags & kSegData, 0) << "segment 1 is not code";
    EXPECT_TRUE(s.flags & kSegRelocInfo);
    EXPECT_GT(s.length, 0) << "length 0 means 64 KB";
    EXPECT_GE(s.minAlloc, s.length);
    ASSERT_TRUE(img.Has(s.fileOffset, s.length + 2));
    EXPECT_TRUE(img.Has(s.fileOffset + s.length + 2, img.Relocations(1).size() * 8));
    EXPECT_GT(s.fileOffset, img.Table(NE_ENTTAB)) << "code overlaps the tables";
}

TEST_F(Companion, NamesTheModuleAndTheLibraryEntryReturnsOne) {
    auto resident = img.Names(img.Table(NE_RESTAB));
    ASSERT_FALSE(resident.empty());
    EXPECT_EQ(resident[0].first, "KELTODLL");
    EXPECT_EQ(resident[0].second, 0);
    EXPECT_FALSE(img.Names(img.U32(img.Ne() + NE_NRESTAB)).empty()) << "no module description";

    uint16_t ip = img.Hdr(NE_CSIP), cs = img.Hdr(NE_CSIP + 2);
    ASSERT_EQ(cs, 1) << "library entry not in the code segment";
    Decoded d = Decode(img, img.Seg(1), ip);
    ASSERT_EQ(d.error, "");
    EXPECT_EQ(d.ax, 1) << "the loader unloads a library whose entry returns 0";
    EXPECT_EQ(d.retfPops, 0);
    EXPECT_EQ(d.farCalls, 0);
}

struct ExportCase {
    const char* name; // as Rundll.exe asks for it
    uint16_t ordinal;
    uint16_t userOrdinal;
    std::vector<uint16_t> args;       // in push order; 0xC5C5 stands for PUSH CS
    std::vector<const char*> strings; // the CS-relative strings among the arguments
};

constexpr uint16_t kCs = 0xC5C5;

// Failure messages name the export instead of dumping the case's bytes.
void PrintTo(const ExportCase& c, std::ostream* os) {
    *os << c.name;
}

const ExportCase kExports[] = {
    // ExitWindows(DWORD dwReturnCode = EW_RESTARTWINDOWS, UINT reserved = 0): high word first.
    {"CallExitWindows", 1, 7, {0x0000, 0x0042, 0x0000}, {}},
    // ExitWindowsExec(LPCSTR lpszExe, LPCSTR lpszParams): segment, then offset, of each.
    {"CallExitWindowsExec", 2, 246, {kCs, 0, kCs, 0}, {"COMMAND.COM", ""}},
};

class CompanionExport : public Companion, public ::testing::WithParamInterface<ExportCase> {};

TEST_P(CompanionExport, RundllFindsItAndItCallsUserWithTheRightArguments) {
    const ExportCase& c = GetParam();
    EXPECT_EQ(img.OrdinalOf(c.name), c.ordinal) << c.name << " is not exported under its ordinal";

    size_t entSize = 0;
    auto entries = img.Entries(&entSize);
    ASSERT_LE(c.ordinal, entries.size()) << "no entry for ordinal " << c.ordinal;
    const Entry& e = entries[c.ordinal - 1];
    EXPECT_TRUE(e.flags & kExportedFlag);
    ASSERT_EQ(e.segment, 1);
    Segment seg = img.Seg(1);
    ASSERT_LT(e.offset, seg.length);

    Decoded d = Decode(img, seg, e.offset);
    ASSERT_EQ(d.error, "");
    // PASCAL: the callee removes Rundll's HWND, HINSTANCE, LPSTR and int.
    EXPECT_EQ(d.retfPops, 2 + 2 + 4 + 2);
    ASSERT_EQ(d.farCalls, 1);

    ASSERT_EQ(d.pushedBeforeCall.size(), c.args.size()) << "USER would pop a different amount";
    size_t nextString = 0;
    for (size_t i = 0; i < c.args.size(); ++i) {
        const Push& p = d.pushedBeforeCall[i];
        if (c.args[i] == kCs) {
            EXPECT_TRUE(p.cs) << "argument word " << i << " should be CS";
            ASSERT_LT(i + 1, c.args.size());
            ASSERT_FALSE(d.pushedBeforeCall[i + 1].cs);
            EXPECT_EQ(CString(img, seg, d.pushedBeforeCall[i + 1].value), c.strings[nextString++]);
            ++i;
        } else {
            EXPECT_FALSE(p.cs) << "argument word " << i;
            EXPECT_EQ(p.value, c.args[i]) << "argument word " << i;
        }
    }

    // The CALL's far pointer is the target of exactly one import of USER by ordinal.
    int matches = 0;
    for (const Relocation& r : img.Relocations(1)) {
        if (r.offset != d.callPointerAt)
            continue;
        ++matches;
        EXPECT_EQ(r.addressType, 3) << "not a 32-bit far pointer";
        EXPECT_EQ(r.relocationType, 1) << "not a non-additive import by ordinal";
        ASSERT_GE(r.target1, 1);
        ASSERT_LE(r.target1, img.Hdr(NE_CMOD));
        EXPECT_EQ(img.ImportedModule(r.target1), "USER");
        EXPECT_EQ(r.target2, c.userOrdinal);
        // The loader follows the chain through the offset word at the site; it must end there.
        EXPECT_EQ(img.U16(seg.fileOffset + r.offset), 0xFFFF) << "fixup chain does not end";
    }
    EXPECT_EQ(matches, 1) << "relocations for the call at " << d.callPointerAt;
}

INSTANTIATE_TEST_SUITE_P(Entries, CompanionExport, ::testing::ValuesIn(kExports),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Companion, EveryRelocationIsAUserImportOfACallSite) {
    auto relocs = img.Relocations(1);
    EXPECT_EQ(relocs.size(), 2u);
    for (const Relocation& r : relocs) {
        EXPECT_LE(r.offset + 4u, img.Seg(1).length);
        EXPECT_EQ(img.U8(img.Seg(1).fileOffset + r.offset - 1), 0x9A) << "not the pointer of a CALL FAR";
    }
}

TEST(CompanionWineCopy, DiffersOnlyInTheImportedModuleName) {
    NeImage shipped(ReadFile(KELTO_COMPANION_PATH)), wine(ReadFile(KELTO_COMPANION_WINE_PATH));
    ASSERT_GT(wine.Size(), size_t(NE_HEADER_SIZE)) << "cannot read " << KELTO_COMPANION_WINE_PATH;
    EXPECT_EQ(shipped.ImportedModule(1), "USER");
    EXPECT_EQ(wine.ImportedModule(1), "USER.EXE");

    Segment a = shipped.Seg(1), b = wine.Seg(1);
    ASSERT_EQ(a.length, b.length);
    EXPECT_EQ(shipped.Str(a.fileOffset, a.length + 2 + 8 * shipped.Relocations(1).size()),
              wine.Str(b.fileOffset, b.length + 2 + 8 * wine.Relocations(1).size()))
        << "code or relocations differ";
    EXPECT_EQ(shipped.Names(shipped.Table(NE_RESTAB)), wine.Names(wine.Table(NE_RESTAB)));
    size_t sa = 0, sb = 0;
    auto ea = shipped.Entries(&sa), eb = wine.Entries(&sb);
    ASSERT_EQ(ea.size(), eb.size());
    for (size_t i = 0; i < ea.size(); ++i)
        EXPECT_EQ(ea[i].offset, eb[i].offset) << "ordinal " << i + 1;
}

} // namespace
