# The product: CRT-free, imports only Windows 95 exports, PE subsystem 4.0.
set(WIN32_CFLAGS -Os -march=i486 -ffreestanding -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
    -fno-threadsafe-statics -ffunction-sections -fno-stack-protector
    -D_WIN32_WINNT=0x0400 -DWINVER=0x0400 -D_WIN32_IE=0x0400 -DKELTO_WIN32)

add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/kelto_res.o
    COMMAND ${WINDRES} -O coff -I ${CMAKE_SOURCE_DIR}/res ${CMAKE_SOURCE_DIR}/res/kelto.rc
            ${CMAKE_BINARY_DIR}/kelto_res.o
    DEPENDS ${RES_DEPENDS} ${RES_PICTURES})

# Our own user32 import library, linked instead of -luser32: one descriptor for USER32.dll, and the
# undecorated BroadcastSystemMessage that Windows 95 exports.
find_program(DLLTOOL NAMES i686-w64-mingw32-dlltool REQUIRED)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/libuser32win95.a
    COMMAND ${DLLTOOL} -k -d ${CMAKE_SOURCE_DIR}/runtime/user32.def -l ${CMAKE_BINARY_DIR}/libuser32win95.a
    DEPENDS ${CMAKE_SOURCE_DIR}/runtime/user32.def)
add_custom_target(user32win95 DEPENDS ${CMAKE_BINARY_DIR}/libuser32win95.a)

add_library(krt STATIC runtime/memory.cpp)
target_compile_options(krt PRIVATE ${WIN32_CFLAGS} ${WARNINGS} -fno-builtin -fno-tree-loop-distribute-patterns)

add_executable(Kelto95 WIN32 ${PROGRAM_SOURCES} runtime/entry.cpp ${CMAKE_BINARY_DIR}/kelto_res.o)
target_compile_options(Kelto95 PRIVATE ${WIN32_CFLAGS} ${WARNINGS})
set_target_properties(Kelto95 PROPERTIES OUTPUT_NAME Kelto95 SUFFIX .exe)
set(CMAKE_CXX_STANDARD_LIBRARIES "")
target_link_options(Kelto95 PRIVATE -nostdlib -nostartfiles -Wl,-e,_KeltoEntry -Wl,--fatal-warnings
    -Wl,--subsystem,windows:4.0 -Wl,--major-os-version,4 -Wl,--minor-os-version,0
    -Wl,--major-subsystem-version,4 -Wl,--minor-subsystem-version,0
    -Wl,--gc-sections -Wl,--disable-dynamicbase -Wl,--disable-nxcompat -Wl,--disable-reloc-section -s)
add_dependencies(Kelto95 user32win95)
target_link_libraries(Kelto95 PRIVATE krt ${CMAKE_BINARY_DIR}/libuser32win95.a kernel32 gdi32 advapi32 shell32 gcc)

# The build fails when the exe imports anything outside the vetted Windows 95 list.
add_custom_command(TARGET Kelto95 POST_BUILD
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-imports $<TARGET_FILE:Kelto95> ${CMAKE_SOURCE_DIR}/runtime/win95-imports.txt
    COMMAND ${CMAKE_COMMAND} -E echo "Kelto95.exe size:" && stat -c %s $<TARGET_FILE:Kelto95>
    VERBATIM)

# The 16-bit companion library, built beside the program.
include(cmake/companion.cmake)
