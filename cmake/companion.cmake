# The 16-bit companion library KeltoDLL.dll, assembled with nasm as a complete NE file.
# Two copies: the one we ship beside Kelto95.exe, and a Wine test copy that differs only in the
# imported module's name (see companion/keltodll.asm).
find_program(NASM nasm REQUIRED)

set(COMPANION_SOURCE ${CMAKE_SOURCE_DIR}/companion/keltodll.asm)
set(COMPANION_DLL ${CMAKE_BINARY_DIR}/KeltoDLL.dll)
set(COMPANION_WINE_DLL ${CMAKE_BINARY_DIR}/companion-wine/KeltoDLL.dll)

add_custom_command(OUTPUT ${COMPANION_DLL}
    COMMAND ${NASM} -f bin -w+all -w+error -o ${COMPANION_DLL} ${COMPANION_SOURCE}
    DEPENDS ${COMPANION_SOURCE}
    COMMENT "Assembling KeltoDLL.dll"
    VERBATIM)
add_custom_command(OUTPUT ${COMPANION_WINE_DLL}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/companion-wine
    COMMAND ${NASM} -f bin -w+all -w+error -DWINE_IMPORT_NAMES -o ${COMPANION_WINE_DLL} ${COMPANION_SOURCE}
    DEPENDS ${COMPANION_SOURCE}
    COMMENT "Assembling the Wine test copy of KeltoDLL.dll"
    VERBATIM)
add_custom_target(companion ALL DEPENDS ${COMPANION_DLL} ${COMPANION_WINE_DLL})

# The host tests read both copies.
if(TARGET host_tests)
    add_dependencies(host_tests companion)
    target_compile_definitions(host_tests PRIVATE KELTO_COMPANION_PATH="${COMPANION_DLL}"
                                                  KELTO_COMPANION_WINE_PATH="${COMPANION_WINE_DLL}")
endif()

# End to end: Wine's 16-bit rundll loads the library and its entries reach USER. It skips (77)
# where Wine cannot run.
enable_testing()
add_test(NAME companion_e2e
    COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/companion_check.sh ${CMAKE_BINARY_DIR})
set_tests_properties(companion_e2e PROPERTIES LABELS e2e SKIP_RETURN_CODE 77 TIMEOUT 900)
