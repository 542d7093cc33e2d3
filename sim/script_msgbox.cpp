// The test's side of message boxes: the answers for the boxes to come, and the boxes and beeps there were.
#include "internal.h"

namespace sim {

using namespace detail;

void expectBox(int answer) {
    BoxExpectation expectation;
    expectation.answer = answer;
    S->boxExpectations.push_back(expectation);
}

void expectBox(const std::string& text, int answer) {
    BoxExpectation expectation;
    expectation.text = text;
    expectation.answer = answer;
    S->boxExpectations.push_back(expectation);
}

void expectBox(std::function<int(const MessageBoxCall&)> script) {
    BoxExpectation expectation;
    expectation.script = std::move(script);
    S->boxExpectations.push_back(expectation);
}

const std::vector<MessageBoxCall>& boxes() {
    return S->boxes;
}

const std::vector<UINT>& beeps() {
    return S->beeps;
}

} // namespace sim
