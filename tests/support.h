// Shared set-up for the program's host tests: a fresh simulated machine and a zeroed settings record.
#ifndef TESTS_SUPPORT_H
#define TESTS_SUPPORT_H

#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include <vector>
#include "sim.h"
#include "app/settings.h"

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

#endif
