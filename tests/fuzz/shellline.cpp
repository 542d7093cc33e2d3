// Restart Shell with any shell line in system.ini: the command started is the line, cut to the 259
// characters the program's buffer takes.
//
// Input: a flags byte (bit 0: a "Progman" shell window exists; bit 1: ForceFlag on; bit 2: no shell line at
// all), then the shell line (any bytes, any length).
#include "fuzz_support.h"
#include "exit/exit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FreshMachine();
    fuzz::Input input(data, size);
    uint8_t flags = input.byte();
    std::string line = input.rest();
    bool shellWindow = flags & 1, noLine = flags & 4;
    if (shellWindow)
        sim::addForeignWindow("Progman", "Program Manager", 50);
    if (!noLine)
        sim::setProfileString("system.ini", "boot", "shell", line);
    SetStartupValues(sim::instance());
    Settings.ExitType = IDM_RESTARTSHELL;
    Settings.ForceFlag = flags & 2 ? 1 : 0;
    ExecuteExit();

    std::string expected = noLine ? "explorer.exe" : std::string(line.c_str()).substr(0, MAX_PATH - 1);
    std::vector<std::string> requests = sim::requestStrings();
    size_t at = 0;
    if (shellWindow) {
        FUZZ_CHECK(!requests.empty() && requests[0] == "PostMessageA(<Progman>,18,0,0)", "first request %s",
                   requests.empty() ? "none" : requests[0].c_str());
        at = 1;
    }
    FUZZ_CHECK(requests.size() == at + 1, "%zu requests", requests.size());
    const sim::Request& request = sim::requests()[at];
    FUZZ_CHECK(request.kind == "WinExec" && request.args.size() == 2 && request.args[1] == "5", "request %s",
               request.str().c_str());
    // The command is rendered between double quotes.
    std::string command = request.args[0].substr(1, request.args[0].size() - 2);
    FUZZ_CHECK(command.size() <= MAX_PATH - 1, "a command of %zu characters", command.size());
    FUZZ_CHECK(command == expected, "started \"%.60s\" (%zu characters), expected %zu characters",
               command.c_str(), command.size(), expected.size());
    fuzz::CheckTextFieldsTerminated();
    return 0;
}
