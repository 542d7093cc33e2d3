// The entry point of the CRT-free build: hands WinMain the text after the program name.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);

extern "C" void KeltoEntry() {
    char* line = GetCommandLineA();
    // The program name may be quoted and contain blanks.
    if (*line == '"') {
        line++;
        while (*line && *line != '"')
            line++;
        if (*line == '"')
            line++;
    } else {
        while (*line && *line != ' ' && *line != '\t')
            line++;
    }
    while (*line == ' ' || *line == '\t')
        line++;
    STARTUPINFOA startup;
    startup.dwFlags = 0;
    startup.wShowWindow = SW_SHOWNORMAL;
    GetStartupInfoA(&startup);
    int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWNORMAL;
    ExitProcess((UINT)WinMain(GetModuleHandleA(NULL), NULL, line, show));
}
