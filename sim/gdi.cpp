// Icons, cursors and bitmaps from the compiled resources, and gdi32 with a count of live objects.
#include "internal.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr COLORREF kClrInvalid = 0xFFFFFFFF;
constexpr uintptr_t kStockBitmap = 0x5F00, kStockFont = 0x5F04;

} // namespace

namespace sim {
namespace detail {

const std::string& resourceNameOf(uintptr_t handle) {
    static const std::string none;
    auto it = S->resourceNames.find(handle);
    return it == S->resourceNames.end() ? none : it->second;
}

static std::string displayName(LPCSTR name) {
    if (IS_INTRESOURCE(name))
        return "#" + std::to_string(LOWORD(name));
    return name;
}

// Icons and cursors are shared: loading the same one again gives the same handle.
static uintptr_t sharedResource(const std::string& kind, LPCSTR name, const std::string& display) {
    std::string key = kind + "/" + upper(displayName(name));
    auto it = S->sharedIcons.find(key);
    if (it != S->sharedIcons.end())
        return it->second;
    S->nextResourceHandle += 4;
    S->sharedIcons[key] = S->nextResourceHandle;
    S->resourceNames[S->nextResourceHandle] = display;
    return S->nextResourceHandle;
}

static GdiObject* liveGdi(const void* handle) {
    auto it = S->gdi.find(handleValue(handle));
    return it != S->gdi.end() && it->second.alive ? &it->second : nullptr;
}

static bool isDC(const GdiObject* object) {
    return object && (object->kind == GdiObject::MemoryDC || object->kind == GdiObject::WindowDC);
}

static HGDIOBJ newGdi(GdiObject object) {
    S->nextGdi += 4;
    S->gdi[S->nextGdi] = std::move(object);
    return makeHandle<HGDIOBJ>(S->nextGdi);
}

HDC paintContext(HWND window) {
    GdiObject dc;
    dc.kind = GdiObject::Stock; // the control's painting owns it
    dc.window = window;
    HGDIOBJ handle = newGdi(dc);
    return static_cast<HDC>(handle);
}

static GdiObject* contextOf(HDC dc) {
    auto it = S->gdi.find(handleValue(dc));
    if (it == S->gdi.end() || !it->second.alive)
        return nullptr;
    GdiObject& object = it->second;
    // A painting context is the Stock kind with a window.
    if (object.kind == GdiObject::MemoryDC || object.kind == GdiObject::WindowDC ||
        (object.kind == GdiObject::Stock && object.window))
        return &object;
    return nullptr;
}

} // namespace detail

using namespace detail;

std::string resourceName(const void* handle) {
    return resourceNameOf(handleValue(handle));
}

int liveGdiObjects() {
    int count = 0;
    for (const auto& [value, object] : S->gdi)
        count += object.alive && object.kind != GdiObject::Stock;
    return count;
}

std::optional<FontInfo> fontInfo(HFONT font) {
    auto it = S->gdi.find(handleValue(font));
    if (it == S->gdi.end() || it->second.kind != GdiObject::Font)
        return std::nullopt;
    return it->second.font;
}

const std::vector<TextDrawn>& textDrawn() {
    return S->textDrawn;
}
const std::vector<BlitDone>& blits() {
    return S->blits;
}

} // namespace sim

using namespace sim;
using namespace sim::detail;

// ---- Resources
// --------------------------------------------------------------------------------------------------

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
    if (!name)
        return nullptr;
    if (!instance) {
        // The system's icons (IDI_...).
        if (!IS_INTRESOURCE(name))
            return nullptr;
        return makeHandle<HICON>(sharedResource("sysicon", name, "IDI_#" + std::to_string(LOWORD(name))));
    }
    if (instance != sim::instance() || !findIcon(ResName::from(name)))
        return nullptr;
    return makeHandle<HICON>(sharedResource("icon", name, displayName(name)));
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
    if (!name)
        return nullptr;
    if (!instance) {
        if (name != IDC_ARROW)
            return nullptr; // the only system cursor the program asks for
        return makeHandle<HCURSOR>(sharedResource("syscursor", name, "IDC_ARROW"));
    }
    if (instance != sim::instance() || !findCursor(ResName::from(name)))
        return nullptr;
    return makeHandle<HCURSOR>(sharedResource("cursor", name, displayName(name)));
}

// Every LoadBitmapA makes a new bitmap, which DeleteObject must free.
HBITMAP WINAPI LoadBitmapA(HINSTANCE instance, LPCSTR name) {
    if (!name || instance != sim::instance())
        return nullptr;
    const BitmapInfo* info = findBitmap(ResName::from(name));
    if (!info)
        return nullptr;
    GdiObject bitmap;
    bitmap.kind = GdiObject::Bitmap;
    bitmap.name = displayName(name);
    bitmap.width = info->width;
    bitmap.height = info->height;
    bitmap.bitsPerPixel = info->bitsPerPixel;
    HGDIOBJ handle = newGdi(bitmap);
    S->resourceNames[handleValue(handle)] = bitmap.name;
    return static_cast<HBITMAP>(handle);
}

// ---- GDI
// ----------------------------------------------------------------------------------------------------------

int WINAPI GetObjectA(HGDIOBJ object, int size, LPVOID buffer) {
    GdiObject* found = liveGdi(object);
    if (!found || found->kind != GdiObject::Bitmap)
        return 0;
    BITMAP bitmap{};
    bitmap.bmWidth = found->width;
    bitmap.bmHeight = found->height;
    bitmap.bmWidthBytes = (found->width * found->bitsPerPixel + 15) / 16 * 2;
    bitmap.bmPlanes = 1;
    bitmap.bmBitsPixel = static_cast<WORD>(found->bitsPerPixel);
    if (!buffer)
        return sizeof bitmap;
    int n = std::min<int>(size, sizeof bitmap);
    if (n <= 0)
        return 0;
    std::memcpy(buffer, &bitmap, n);
    return n;
}

HDC WINAPI GetDC(HWND window) {
    if (window && !liveWin(window))
        return nullptr;
    GdiObject dc;
    dc.kind = GdiObject::WindowDC;
    dc.window = window;
    return static_cast<HDC>(newGdi(dc));
}

int WINAPI ReleaseDC(HWND, HDC dc) {
    GdiObject* found = liveGdi(dc);
    if (!found || found->kind != GdiObject::WindowDC)
        return 0;
    found->alive = false;
    return 1;
}

HDC WINAPI CreateCompatibleDC(HDC dc) {
    if (dc && !contextOf(dc))
        return nullptr;
    GdiObject memory;
    memory.kind = GdiObject::MemoryDC;
    memory.bitmap = makeHandle<HGDIOBJ>(kStockBitmap);
    return static_cast<HDC>(newGdi(memory));
}

BOOL WINAPI DeleteDC(HDC dc) {
    GdiObject* found = liveGdi(dc);
    if (!found || found->kind != GdiObject::MemoryDC)
        return FALSE;
    found->alive = false;
    return TRUE;
}

HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object) {
    GdiObject* context = contextOf(dc);
    if (!context)
        return nullptr;
    uintptr_t value = handleValue(object);
    GdiObject* found = liveGdi(object);
    bool bitmap = value == kStockBitmap || (found && found->kind == GdiObject::Bitmap);
    bool font = value == kStockFont || (found && found->kind == GdiObject::Font);
    HGDIOBJ previous = nullptr;
    if (bitmap) {
        if (context->kind != GdiObject::MemoryDC)
            return nullptr; // bitmaps go into memory contexts only
        previous = context->bitmap;
        context->bitmap = object;
    } else if (font) {
        previous = context->fontSelected ? context->fontSelected : makeHandle<HGDIOBJ>(kStockFont);
        context->fontSelected = object;
    }
    return previous;
}

// An object still selected into a live context is not deleted (Windows NT refuses; Windows 9x reports success
// but keeps it): either way it stays counted as live.
BOOL WINAPI DeleteObject(HGDIOBJ object) {
    GdiObject* found = liveGdi(object);
    if (!found || (found->kind != GdiObject::Font && found->kind != GdiObject::Bitmap))
        return FALSE;
    for (const auto& [value, other] : S->gdi)
        if (other.alive && (other.bitmap == object || other.fontSelected == object) && isDC(&other))
            return FALSE;
    // Windows deletes it, and the control goes on drawing with a dead handle: a fault of the program. Once
    // its dialog is being destroyed (WM_DESTROY), a control never paints again.
    for (const auto& [value, window] : S->windowByHandle) {
        Window* parent = window->isControl ? findWin(window->owner) : nullptr;
        if (window->alive && window->font == object && parent && !parent->destroying)
            fail() << "a font was deleted while control " << window->controlId << " still shows it";
    }
    found->alive = false;
    return TRUE;
}

BOOL WINAPI BitBlt(HDC dc, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
                   DWORD rop) {
    GdiObject* target = contextOf(dc);
    GdiObject* from = contextOf(source);
    if (!target || !from)
        return FALSE;
    BlitDone blit;
    blit.window = target->window;
    blit.x = x;
    blit.y = y;
    blit.width = width;
    blit.height = height;
    blit.sourceX = sourceX;
    blit.sourceY = sourceY;
    GdiObject* bitmap = liveGdi(from->bitmap);
    blit.bitmapName = bitmap ? bitmap->name : "";
    blit.rop = rop;
    S->blits.push_back(blit);
    return TRUE;
}

HFONT WINAPI CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                         DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision,
                         DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily, LPCSTR face) {
    GdiObject font;
    font.kind = GdiObject::Font;
    font.font =
        FontInfo{height,    width,   escapement,   orientation,   weight,  italic,         underline,
                 strikeOut, charSet, outPrecision, clipPrecision, quality, pitchAndFamily, face ? face : ""};
    return static_cast<HFONT>(newGdi(font));
}

COLORREF WINAPI SetBkColor(HDC dc, COLORREF color) {
    GdiObject* context = contextOf(dc);
    if (!context)
        return kClrInvalid;
    COLORREF previous = context->backgroundColor;
    context->backgroundColor = color;
    return previous;
}

COLORREF WINAPI SetTextColor(HDC dc, COLORREF color) {
    GdiObject* context = contextOf(dc);
    if (!context)
        return kClrInvalid;
    COLORREF previous = context->textColor;
    context->textColor = color;
    return previous;
}

BOOL WINAPI TextOutA(HDC dc, int x, int y, LPCSTR text, int length) {
    GdiObject* context = contextOf(dc);
    if (!context || !text || length < 0)
        return FALSE;
    TextDrawn drawn;
    drawn.window = context->window;
    drawn.x = x;
    drawn.y = y;
    drawn.text.assign(text, static_cast<size_t>(length));
    drawn.textColor = context->textColor;
    drawn.backgroundColor = context->backgroundColor;
    drawn.font = static_cast<HFONT>(context->fontSelected);
    S->textDrawn.push_back(drawn);
    return TRUE;
}
