// The program's message boxes: errors, questions and the outcome of a dialog.
#ifndef KELTO_BOXES_H
#define KELTO_BOXES_H
#include <windows.h>

#define ErrorBoxStyle (MB_OK | MB_ICONEXCLAMATION | MB_SETFOREGROUND)
#define QuestionBoxStyle (MB_SYSTEMMODAL | MB_ICONQUESTION | MB_YESNO)

// Beep and error box without owner or caption.
void ShowError(const char* text);

// The "Confirm" question; non-zero when answered Yes.
int AskConfirm(const char* text);

// Beep and "Ok" box for a dialog's success, or the error box with the asterisk sound for its failure.
void ReportOutcome(int success, const char* successText, const char* failureText);
#endif
