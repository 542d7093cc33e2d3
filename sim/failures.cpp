// Where the machine's failures go: to the handler the tests install, or to stderr and an abort.
#include "internal.h"

#include <cstdio>
#include <cstdlib>

namespace sim {

namespace {

FailureHandler gHandler = nullptr;

} // namespace

FailureHandler setFailureHandler(FailureHandler handler) {
    FailureHandler previous = gHandler;
    gHandler = handler;
    return previous;
}

namespace detail {

FailureMessage::~FailureMessage() {
    std::string message = text_.str();
    if (gHandler) {
        gHandler(message);
        return;
    }
    std::fprintf(stderr, "simulated machine: %s\n", message.c_str());
    std::abort();
}

} // namespace detail
} // namespace sim
