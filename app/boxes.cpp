// The program's message boxes.
#include "boxes.h"

void ShowError(const char* text) {
    MessageBeep(MB_ICONEXCLAMATION);
    MessageBoxA(NULL, text, NULL, ErrorBoxStyle);
}

int AskConfirm(const char* text) {
    return MessageBoxA(NULL, text, "Confirm", QuestionBoxStyle) == IDYES;
}

void ReportOutcome(int success, const char* successText, const char* failureText) {
    if (success) {
        MessageBeep(MB_ICONEXCLAMATION);
        MessageBoxA(NULL, successText, "Ok", MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
    } else {
        MessageBeep(MB_ICONASTERISK);
        MessageBoxA(NULL, failureText, NULL, ErrorBoxStyle);
    }
}
