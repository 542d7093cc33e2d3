# The host build: the same program sources against the simulated machine, tests under ASan and UBSan.
enable_testing()
find_package(GTest REQUIRED)

set(SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/kelto.res
    COMMAND ${WINDRES} -O res -I ${CMAKE_SOURCE_DIR}/res ${CMAKE_SOURCE_DIR}/res/kelto.rc ${CMAKE_BINARY_DIR}/kelto.res
    DEPENDS ${RES_DEPENDS} ${RES_PICTURES})
add_custom_target(kelto_res ALL DEPENDS ${CMAKE_BINARY_DIR}/kelto.res)

# The simulated machine, without GoogleTest: it reports what the program did wrong through one failure
# handler (sim::setFailureHandler), and sim/gtest_hook.cpp, compiled into the host tests alone, turns that
# into test failures. It runs test scripts on threads of their own (strictly in turn with the program).
file(GLOB SIM_SOURCES ${CMAKE_SOURCE_DIR}/sim/*.cpp)
list(REMOVE_ITEM SIM_SOURCES ${CMAKE_SOURCE_DIR}/sim/gtest_hook.cpp)
add_library(sim STATIC ${SIM_SOURCES})
target_include_directories(sim PUBLIC ${CMAKE_SOURCE_DIR}/sim/include ${CMAKE_SOURCE_DIR}/sim)
target_compile_options(sim PRIVATE ${WARNINGS} ${SANITIZE} -g)
target_compile_definitions(sim PUBLIC KELTO_RES_PATH="${CMAKE_BINARY_DIR}/kelto.res")
find_package(Threads REQUIRED)
target_link_libraries(sim PUBLIC Threads::Threads)

add_library(program STATIC ${PROGRAM_SOURCES})
target_link_libraries(program PUBLIC sim)
target_compile_options(program PRIVATE ${WARNINGS} ${SANITIZE} -g -fno-exceptions -fno-rtti)

file(GLOB TEST_SOURCES ${CMAKE_SOURCE_DIR}/tests/*.cpp)
add_executable(host_tests ${TEST_SOURCES} ${CMAKE_SOURCE_DIR}/sim/gtest_hook.cpp)
add_dependencies(host_tests kelto_res)
target_include_directories(host_tests PRIVATE ${CMAKE_SOURCE_DIR})
# gmock for its container matchers, which print what a failed check found.
target_link_libraries(host_tests PRIVATE program sim GTest::gtest GTest::gmock GTest::gtest_main)
target_compile_options(host_tests PRIVATE ${WARNINGS} ${SANITIZE} -g)
target_link_options(host_tests PRIVATE ${SANITIZE})
include(GoogleTest)
gtest_discover_tests(host_tests DISCOVERY_TIMEOUT 60)

# The 16-bit companion library and its tests.
include(cmake/companion.cmake)
include(cmake/fuzz.cmake)

# The end-to-end checks in Wine, when the win32 build's program is named.
if(KELTO_EXE)
    include(cmake/e2e.cmake)
endif()

# The zip, floppy and CD images, after the end-to-end checks so that one of them can use them.
include(cmake/package.cmake)
