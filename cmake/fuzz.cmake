# Fuzz targets: the program and the simulated machine compiled a second time with clang and libFuzzer,
# beside the g++ build, by plain custom commands (one build has one C++ compiler). Where clang or its libFuzzer
# is missing, the targets and their tests are left out and the host build goes on as before.
set(FUZZ_TARGETS startup programlist attime numberfields countdown shellline sequences)
set(FUZZ_DIR ${CMAKE_BINARY_DIR}/fuzz)

find_program(FUZZ_CLANGXX NAMES clang++ clang++-16 clang++-15 clang++-14)
if(NOT FUZZ_CLANGXX)
    message(STATUS "Fuzzing: clang++ not found; fuzz targets and their tests are skipped")
    return()
endif()

set(FUZZ_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
file(MAKE_DIRECTORY ${FUZZ_DIR}/probe)
file(WRITE ${FUZZ_DIR}/probe/probe.cpp
     "#include <cstddef>\n#include <cstdint>\n"
     "extern \"C\" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }\n")
execute_process(
    COMMAND ${FUZZ_CLANGXX} -fsanitize=fuzzer ${FUZZ_SANITIZE} ${FUZZ_DIR}/probe/probe.cpp -o ${FUZZ_DIR}/probe/probe
    RESULT_VARIABLE FUZZ_PROBE_RESULT OUTPUT_QUIET ERROR_QUIET)
if(NOT FUZZ_PROBE_RESULT EQUAL 0)
    message(STATUS "Fuzzing: ${FUZZ_CLANGXX} cannot link libFuzzer; fuzz targets and their tests are skipped")
    return()
endif()
message(STATUS "Fuzzing: targets ${FUZZ_TARGETS} with ${FUZZ_CLANGXX}")

# No GoogleTest here: the simulation's failures abort through its default failure handler.
set(FUZZ_INCLUDES -I${CMAKE_SOURCE_DIR} -I${CMAKE_SOURCE_DIR}/sim/include -I${CMAKE_SOURCE_DIR}/sim)
set(FUZZ_FLAGS -std=c++17 -g -O1 ${WARNINGS} ${FUZZ_SANITIZE} ${FUZZ_INCLUDES}
    "-DKELTO_RES_PATH=\"${CMAKE_BINARY_DIR}/kelto.res\"")
# Coverage feedback comes from the program and the targets; the simulation is only the ground they stand on.
set(FUZZ_PROGRAM_FLAGS -fsanitize=fuzzer-no-link -fno-exceptions -fno-rtti)
set(FUZZ_SIM_FLAGS)
set(FUZZ_TARGET_FLAGS -fsanitize=fuzzer-no-link)

# Compiles one source file with clang into the fuzz build; appends the object to the list named out.
function(fuzz_compile source flags out)
    file(RELATIVE_PATH relative ${CMAKE_SOURCE_DIR} ${source})
    set(object ${FUZZ_DIR}/obj/${relative}.o)
    get_filename_component(directory ${object} DIRECTORY)
    file(MAKE_DIRECTORY ${directory})
    add_custom_command(OUTPUT ${object}
        COMMAND ${FUZZ_CLANGXX} ${FUZZ_FLAGS} ${${flags}} -MD -MF ${object}.d -c ${source} -o ${object}
        DEPENDS ${source}
        DEPFILE ${object}.d
        COMMENT "Fuzz build: ${relative}"
        VERBATIM)
    set(${out} ${${out}} ${object} PARENT_SCOPE)
endfunction()

set(FUZZ_BASE_OBJECTS)
foreach(source IN LISTS PROGRAM_SOURCES)
    fuzz_compile(${CMAKE_SOURCE_DIR}/${source} FUZZ_PROGRAM_FLAGS FUZZ_BASE_OBJECTS)
endforeach()
foreach(source IN LISTS SIM_SOURCES)
    fuzz_compile(${source} FUZZ_SIM_FLAGS FUZZ_BASE_OBJECTS)
endforeach()

set(FUZZ_BINARIES)
foreach(target IN LISTS FUZZ_TARGETS)
    set(FUZZ_TARGET_OBJECTS)
    fuzz_compile(${CMAKE_SOURCE_DIR}/tests/fuzz/${target}.cpp FUZZ_TARGET_FLAGS FUZZ_TARGET_OBJECTS)
    set(binary ${FUZZ_DIR}/${target}_fuzzer)
    add_custom_command(OUTPUT ${binary}
        COMMAND ${FUZZ_CLANGXX} -fsanitize=fuzzer ${FUZZ_SANITIZE} ${FUZZ_TARGET_OBJECTS} ${FUZZ_BASE_OBJECTS}
                -pthread -o ${binary}
        DEPENDS ${FUZZ_TARGET_OBJECTS} ${FUZZ_BASE_OBJECTS}
        COMMENT "Linking fuzz target ${target}_fuzzer"
        VERBATIM)
    list(APPEND FUZZ_BINARIES ${binary})
endforeach()
add_custom_target(fuzzers ALL DEPENDS ${FUZZ_BINARIES})
add_dependencies(fuzzers kelto_res)

# A short deterministic run of each target over its committed seeds, so that every test run fuzzes a little;
# scripts/fuzz runs them for longer.
foreach(target IN LISTS FUZZ_TARGETS)
    add_test(NAME fuzz_${target}
        COMMAND ${CMAKE_SOURCE_DIR}/tests/fuzz/run-short ${FUZZ_DIR}/${target}_fuzzer
                ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${target} ${FUZZ_DIR}/short/${target} 5000)
    set_tests_properties(fuzz_${target} PROPERTIES LABELS fuzz TIMEOUT 120)
endforeach()
