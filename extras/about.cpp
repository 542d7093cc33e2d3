// The about box: picture, product lines and the two links.
#include "about.h"

#ifdef KELTO_WIN32
static_assert(sizeof(BITMAP) == 24, "BITMAP");
#endif

static const COLORREF TextBackground = RGB(194, 194, 194);
static const COLORREF Black = RGB(0, 0, 0);
static const COLORREF Blue = RGB(0, 0, 255);

// Created once per opening and deleted when the box is destroyed, so repeated openings leak nothing.
static HBITMAP Picture;
static HFONT LinkFont;

struct AboutText {
    int id;
    const char* text;
};

static const AboutText BlackTexts[] = {
    {IDC_ABOUTPRODUCT, "Kelto 95/98 version 7.7.1.1"},
    {IDC_ABOUTCOMPANY, "Garvik Software"},
    {IDC_ABOUTNOTICE, "Copyright (C) Garvik Software"},
    {IDC_ABOUTMAILLABEL, "E-mail:"},
    {IDC_ABOUTWEBLABEL, "Website:"},
};
static const AboutText LinkTexts[] = {
    {IDC_ABOUTMAIL, MAKER_MAIL},
    {IDC_ABOUTWEB, MAKER_WEB},
};

static void DrawMatching(HDC dc, HWND control, const AboutText* texts, unsigned count) {
    for (unsigned i = 0; i < count; i++)
        if (control == GetDlgItem(Settings.AboutDialog, texts[i].id))
            TextOutA(dc, 0, 0, texts[i].text, lstrlenA(texts[i].text));
}

static void ColorAboutText(HDC dc, HWND control) {
    SetBkColor(dc, TextBackground);
    SetTextColor(dc, Black);
    DrawMatching(dc, control, BlackTexts, sizeof BlackTexts / sizeof BlackTexts[0]);
    SetTextColor(dc, Blue);
    DrawMatching(dc, control, LinkTexts, sizeof LinkTexts / sizeof LinkTexts[0]);
}

static void PaintAboutBox(HWND dialog) {
    if (!Picture)
        Picture = LoadBitmapA(Settings.Instance, "GARVIK");
    BITMAP facts;
    facts.bmWidth = 0;
    facts.bmHeight = 0;
    GetObjectA(Picture, sizeof facts, &facts);
    HDC dc = GetDC(dialog);
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ previous = SelectObject(memory, Picture);
    BitBlt(dc, 12, 8, facts.bmWidth, facts.bmHeight, memory, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
    ReleaseDC(dialog, dc);
    if (!LinkFont) {
        LinkFont = CreateFontA(8, 0, 0, 0, FW_NORMAL, 0, 1, 0, ANSI_CHARSET, 0, 0, 0,
                               VARIABLE_PITCH | FF_SWISS, "MS Sans Serif");
        SendMessageA(GetDlgItem(dialog, IDC_ABOUTMAIL), WM_SETFONT, (WPARAM)LinkFont, TRUE);
        SendMessageA(GetDlgItem(dialog, IDC_ABOUTWEB), WM_SETFONT, (WPARAM)LinkFont, TRUE);
    }
}

// The statics show the link font until they are destroyed with the box, so the picture and the font are
// deleted only then, and the handle forgotten: the About command may open a new box.
static void ForgetAbout(HWND dialog) {
    if (Settings.AboutDialog != dialog)
        return;
    if (Picture)
        DeleteObject(Picture);
    if (LinkFont)
        DeleteObject(LinkFont);
    Picture = NULL;
    LinkFont = NULL;
    Settings.AboutDialog = NULL;
}

static void OpenLink(const char* target) {
    ShellExecuteA(Settings.MainWindow, "open", target, NULL, NULL, SW_SHOWNORMAL);
}

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        Settings.AboutDialog = dialog;
        Picture = NULL;
        LinkFont = NULL;
        SetClassLongA(GetDlgItem(dialog, IDC_ABOUTMAIL), GCL_HCURSOR,
                      (LONG)(LONG_PTR)LoadCursorA(Settings.Instance, MAKEINTRESOURCEA(IDC_HANDCURSOR)));
        break;
    case WM_PAINT: PaintAboutBox(Settings.AboutDialog); break;
    case WM_CTLCOLORSTATIC: ColorAboutText((HDC)wParam, (HWND)lParam); break;
    case WM_COMMAND:
        if (HIWORD(wParam) == 0) {
            if (LOWORD(wParam) == IDC_ABOUTMAIL)
                OpenLink("mailto:" MAKER_MAIL);
            else if (LOWORD(wParam) == IDC_ABOUTWEB)
                OpenLink(MAKER_WEB);
        }
        if (LOWORD(wParam) == IDOK)
            EndDialog(dialog, 0);
        break;
    case WM_CLOSE: EndDialog(dialog, 0); break;
    case WM_DESTROY: ForgetAbout(dialog); break;
    }
    return FALSE;
}
