# The package of scripts/package (dist/: zip, floppy and CD images), made by a fixture from a clean
# build and read back by tests/package/check; the end-to-end check that starts the program copied
# out of the floppy image needs it too.
add_test(NAME package.build COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/package)
set_tests_properties(package.build PROPERTIES FIXTURES_SETUP package LABELS package TIMEOUT 900)
add_test(NAME package.contents COMMAND bash ${CMAKE_SOURCE_DIR}/tests/package/check)
set_tests_properties(package.contents PROPERTIES FIXTURES_REQUIRED package LABELS package TIMEOUT 120)
if(TEST e2e.package_floppy)
    set_property(TEST e2e.package_floppy APPEND PROPERTY FIXTURES_REQUIRED package)
endif()
