// user32's message boxes on the simulated machine: each box's loop, answered by what the test expected, and
// the beeps that announce them.
#include "internal.h"

using namespace sim;
using namespace sim::detail;

BOOL WINAPI MessageBeep(UINT type) {
    S->beeps.push_back(type);
    S->pendingBeep = type;
    return TRUE;
}

static bool answerFits(UINT style, int answer) {
    switch (style & 0x0F) {
    case MB_OK: return answer == IDOK;
    case 1: return answer == IDOK || answer == IDCANCEL;                    // MB_OKCANCEL
    case 2: return answer == 3 || answer == 4 || answer == 5;               // MB_ABORTRETRYIGNORE
    case 3: return answer == IDYES || answer == IDNO || answer == IDCANCEL; // MB_YESNOCANCEL
    case MB_YESNO: return answer == IDYES || answer == IDNO;
    case 5: return answer == 4 || answer == IDCANCEL; // MB_RETRYCANCEL
    default: return true;
    }
}

static int unexpectedAnswer(UINT style) {
    switch (style & 0x0F) {
    case MB_OK: return IDOK;
    case 3:
    case MB_YESNO: return IDNO;
    default: return IDCANCEL;
    }
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
    MessageBoxCall call;
    call.owner = owner;
    call.text = text ? text : "";
    if (caption)
        call.caption = std::string(caption);
    call.style = style;
    call.beep = S->pendingBeep;
    S->pendingBeep.reset();
    call.time = static_cast<DWORD>(S->clock);
    size_t index = S->boxes.size();
    S->boxes.push_back(call);
    // The box's own loop dispatches what is already due before the user gets to answer. A quit message ends
    // it at once, unanswered: Wine's message box is a dialog (msgbox.c), whose loop posts the quit again and
    // returns the result as it stands, 0, for the box's template has no default push button.
    if (modalLoop(nullptr, [] { return false; })) {
        S->boxes[index].closedByQuit = true;
        return 0;
    }
    int answer;
    if (S->boxExpectations.empty() && S->user.box) {
        BoxExpectation expectation;
        expectation.answer = unexpectedAnswer(style);
        expectation.script = S->user.box;
        S->boxExpectations.push_back(std::move(expectation));
    }
    if (S->boxExpectations.empty()) {
        answer = unexpectedAnswer(style);
        fail() << "unexpected message box \"" << call.text << "\" (caption "
               << (caption ? "\"" + std::string(caption) + "\"" : std::string("NULL")) << ", style "
               << hex(style) << "); answered " << answer;
    } else {
        BoxExpectation expectation = std::move(S->boxExpectations.front());
        S->boxExpectations.pop_front();
        if (expectation.text && *expectation.text != call.text)
            fail() << "message box text \"" << call.text << "\", expected \"" << *expectation.text << "\"";
        answer = expectation.answer;
        if (expectation.script) {
            std::unique_ptr<Script> script = makeScript([&] { answer = expectation.script(call); });
            bool quit = modalLoop(script.get(), [&] { return script->fiber->finished(); });
            finishScript(*script);
            if (quit) {
                S->boxes[index].closedByQuit = true;
                return 0;
            }
        }
        if (!answerFits(style, answer))
            fail() << "answer " << answer << " is not a button of the box \"" << call.text << "\" (style "
                   << hex(style) << ")";
    }
    S->boxes[index].answer = answer;
    return answer;
}
