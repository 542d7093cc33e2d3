# End-to-end checks of the real Kelto95.exe in Wine (tests/e2e), registered with the host build's
# CTest so that one ctest run reports the host tests and these.  KELTO_EXE names the win32 build's
# program.  The driver is a Win32 console program: the host build is native, so the i686 compiler is
# called directly.
find_program(MINGW_CC NAMES i686-w64-mingw32-gcc REQUIRED)

set(E2E_DIR ${CMAKE_BINARY_DIR}/e2e)
set(E2E_DRIVER ${E2E_DIR}/driver.exe)
set(E2E_RUN ${CMAKE_SOURCE_DIR}/tests/e2e/run)

add_custom_command(OUTPUT ${E2E_DRIVER}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${E2E_DIR}
    COMMAND ${MINGW_CC} -Os -s -Wall -Wextra -Werror -o ${E2E_DRIVER} ${CMAKE_SOURCE_DIR}/tests/e2e/driver.c
            -luser32 -ladvapi32 -lshell32 -lole32 -luuid
    DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/driver.c
    VERBATIM)
add_custom_target(e2e_driver ALL DEPENDS ${E2E_DRIVER})

# The checks are the check_ functions of tests/e2e/checks.sh; a new one is registered at the next
# configure, which editing that file triggers.
execute_process(COMMAND bash ${E2E_RUN} --list
    OUTPUT_VARIABLE E2E_CHECKS OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE E2E_LIST_RESULT)
if(NOT E2E_LIST_RESULT EQUAL 0 OR E2E_CHECKS STREQUAL "")
    message(FATAL_ERROR "tests/e2e/run --list failed")
endif()
string(REPLACE "\n" ";" E2E_CHECKS "${E2E_CHECKS}")
file(GLOB E2E_CHECK_FILES ${CMAKE_SOURCE_DIR}/tests/e2e/checks*.sh)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${E2E_RUN} ${E2E_CHECK_FILES})

# One clean prefix per ctest run; every check starts from a copy of it.
add_test(NAME e2e.prefix COMMAND bash ${E2E_RUN} --prefix ${E2E_DIR}/clean-prefix)
set_tests_properties(e2e.prefix PROPERTIES FIXTURES_SETUP e2e_prefix LABELS e2e TIMEOUT 400)

foreach(check IN LISTS E2E_CHECKS)
    add_test(NAME e2e.${check} COMMAND bash ${E2E_RUN} ${check})
    set_tests_properties(e2e.${check} PROPERTIES
        FIXTURES_REQUIRED e2e_prefix LABELS e2e TIMEOUT 400
        ENVIRONMENT "KELTO_EXE=${KELTO_EXE};E2E_DRIVER=${E2E_DRIVER};E2E_DIR=${E2E_DIR}")
endforeach()
# The faults table runs some twenty rows, each with runs of its own, in one session.
set_tests_properties(e2e.faults_table PROPERTIES TIMEOUT 900)

# Start-up, the command line, the one-shot exits and the tray once more with Wine set to Windows 95,
# from a clean prefix of their own (label e2e-win95).
set(E2E_WIN95_DIR ${CMAKE_BINARY_DIR}/e2e-win95)
set(E2E_WIN95_CHECKS ${E2E_CHECKS})
list(FILTER E2E_WIN95_CHECKS INCLUDE REGEX
    "^(windows_version|command_line_messages|one_shot_exits|tray_.*|timed_exit_timeout|timer_intervals|time_of_day_from_the_line|exit_when_a_program_ends)$")
add_test(NAME e2e-win95.prefix COMMAND bash ${E2E_RUN} --prefix ${E2E_WIN95_DIR}/clean-prefix)
set_tests_properties(e2e-win95.prefix PROPERTIES
    FIXTURES_SETUP e2e_win95_prefix LABELS "e2e;e2e-win95" TIMEOUT 400 ENVIRONMENT "E2E_WINDOWS=win95")
foreach(check IN LISTS E2E_WIN95_CHECKS)
    add_test(NAME e2e-win95.${check} COMMAND bash ${E2E_RUN} ${check})
    set_tests_properties(e2e-win95.${check} PROPERTIES
        FIXTURES_REQUIRED e2e_win95_prefix LABELS "e2e;e2e-win95" TIMEOUT 400
        ENVIRONMENT "KELTO_EXE=${KELTO_EXE};E2E_DRIVER=${E2E_DRIVER};E2E_DIR=${E2E_WIN95_DIR};E2E_WINDOWS=win95")
endforeach()
