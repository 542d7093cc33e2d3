// Linked into the host tests only: the machine's failures fail the running test with the machine's own
// message. The model itself knows nothing of GoogleTest, so that the fuzz targets build without it.
#include "sim.h"

#include <gtest/gtest.h>

namespace {

void failTest(const std::string& message) {
    ADD_FAILURE() << message;
}

// Installed before main runs, so that no test can start without it.
struct Installer {
    Installer() { sim::setFailureHandler(&failTest); }
} installer;

} // namespace
