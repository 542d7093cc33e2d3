// Shared set-up for the program's host tests: a fresh simulated machine, a zeroed settings record, and
// readable printing of the simulation's records so that a failed check shows what was there.
#ifndef TESTS_SUPPORT_H
#define TESTS_SUPPORT_H

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <cstdio>
#include <cstring>
#include <optional>
#include <ostream>
#include <string>
#include <vector>
#include "sim.h"
#include "app/settings.h"
#include "app/boxes.h"
#include "app/text.h"

class ProgramTest : public ::testing::Test {
  protected:
    ProgramTest() { std::memset(&Settings, 0, sizeof Settings); }
    ~ProgramTest() override { std::memset(&Settings, 0, sizeof Settings); }
    // The record as start-up leaves it before the command line is read.
    static void StartupValues() { SetStartupValues(sim::instance()); }
    sim::Machine machine;
};

// The texts of every message box shown so far, in order.
inline std::vector<std::string> BoxTexts() {
    std::vector<std::string> texts;
    for (const sim::MessageBoxCall& box : sim::boxes())
        texts.push_back(box.text);
    return texts;
}

// Sets a stored setting as the program itself writes it.
inline void Store(const std::string& name, const std::string& value) {
    sim::regSetString(HKEY_LOCAL_MACHINE, SETTINGS_KEY, name, value);
}

// True when a text field is terminated within its capacity.
inline bool Terminated(const char* field, size_t capacity) {
    return std::memchr(field, 0, capacity) != nullptr;
}

// A window as the request log shows it: its class in angle brackets, NULL, or the handle of an unknown one.
inline std::string WindowName(HWND window) {
    if (!window)
        return "NULL";
    sim::WindowInfo info = sim::windowInfo(window);
    if (!info.handle)
        return "<unknown " + ::testing::PrintToString(static_cast<const void*>(window)) + ">";
    return "<" + info.className + ">";
}

// A text in double quotes, or NULL when there was none.
inline std::string Quoted(const std::optional<std::string>& text) {
    return text ? "\"" + *text + "\"" : "NULL";
}

// A flag word as the headers write it.
inline std::string Hex(unsigned long value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%lX", value);
    return text;
}

// GoogleTest finds these by the records' namespace; without them it would print the records as bytes.
namespace sim {

inline void PrintTo(const TimerInfo& timer, std::ostream* out) {
    *out << (timer.window ? "timer " : "thread timer ") << timer.id;
    if (timer.window)
        *out << " of " << WindowName(timer.window);
    *out << " every " << timer.elapse << " ms, due at " << timer.due << " ms";
}

inline void PrintTo(const Hotkey& hotkey, std::ostream* out) {
    *out << "hotkey " << hotkey.id << " of " << WindowName(hotkey.window) << ": ";
    if (hotkey.modifiers & MOD_CONTROL)
        *out << "Ctrl+";
    if (hotkey.modifiers & MOD_ALT)
        *out << "Alt+";
    if (UINT other = hotkey.modifiers & ~UINT(MOD_CONTROL | MOD_ALT))
        *out << "modifiers " << other << "+";
    if ((hotkey.virtualKey >= 'A' && hotkey.virtualKey <= 'Z') ||
        (hotkey.virtualKey >= '0' && hotkey.virtualKey <= '9'))
        *out << char(hotkey.virtualKey);
    else
        *out << "key " << hotkey.virtualKey;
}

inline void PrintTo(const TrayIcon& icon, std::ostream* out) {
    *out << "tray icon " << icon.id << " of " << WindowName(icon.window) << ": " << icon.iconName << " \""
         << icon.tip << "\", callback " << icon.callbackMessage;
}

inline void PrintTo(const TrayRequest& request, std::ostream* out) {
    static const char* const names[] = {"NIM_ADD", "NIM_MODIFY", "NIM_DELETE"};
    if (request.message < 3)
        *out << names[request.message];
    else
        *out << "message " << request.message;
    const NOTIFYICONDATAA& data = request.data;
    *out << " of icon " << data.uID << " of " << WindowName(data.hWnd) << ", flags " << Hex(data.uFlags)
         << ", " << (request.iconName.empty() ? "no icon" : request.iconName) << " \""
         << std::string(data.szTip, strnlen(data.szTip, sizeof data.szTip)) << "\" = " << request.result
         << " at " << request.time << " ms";
}

inline void PrintTo(const MessageBoxCall& box, std::ostream* out) {
    *out << "box \"" << box.text << "\", caption " << Quoted(box.caption) << ", style " << Hex(box.style)
         << ", owner " << WindowName(box.owner);
    if (box.beep)
        *out << ", beep " << *box.beep;
    if (box.closedByQuit)
        *out << ", closed by a quit message";
    else
        *out << ", answered " << box.answer;
    *out << " at " << box.time << " ms";
}

inline void PrintTo(const DialogRecord& dialog, std::ostream* out) {
    *out << (dialog.modal ? "modal dialog " : "modeless dialog ") << dialog.templateId << ", owner "
         << WindowName(dialog.owner) << ", param " << dialog.param << ", opened at " << dialog.openedAt
         << " ms";
    if (dialog.modal)
        *out << ", result " << dialog.result;
}

inline void PrintTo(const RegCall& call, std::ostream* out) {
    *out << call.function << "(\"" << call.key << "\", \"" << call.value << "\"";
    if (call.access)
        *out << ", access " << Hex(call.access);
    if (call.type)
        *out << ", type " << call.type;
    if (call.size)
        *out << ", " << call.size << " bytes";
    *out << ") = " << call.result;
}

inline void PrintTo(const ShortcutSaved& shortcut, std::ostream* out) {
    *out << "shortcut \"" << shortcut.path << "\" to " << Quoted(shortcut.target) << ", arguments "
         << Quoted(shortcut.arguments) << ", icon " << Quoted(shortcut.iconPath) << "," << shortcut.iconIndex;
    if (shortcut.hotkey)
        *out << ", hotkey " << Hex(*shortcut.hotkey);
    *out << " at " << shortcut.time << " ms";
}

// The pointers in the request's fields are not valid any more: only its numbers and copied texts.
inline void PrintTo(const OpenFileRequest& request, std::ostream* out) {
    *out << "GetOpenFileNameA(filter \"" << request.filter << "\", file \"" << request.fileAtCall << "\", "
         << request.fields.nMaxFile << " characters, flags " << Hex(request.fields.Flags)
         << ") = " << request.result;
}

} // namespace sim

#endif
