# The Windows test suites: cross-built with mingw-w64 and run by CTest through Wine (the toolchain's
# emulator). Debian has no GoogleTest built for mingw, so it is built here from its sources.
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

# Test support: the portable helpers and their Windows side.
# Helpers that drive Linux programs and sockets (stand-ins, X servers, SDL, /proc) stay Linux's.
add_library(txtestsupport STATIC
  support/FakeClientLibrary.cpp support/Golden.cpp support/TcpClient.cpp
  support/TestSupport.cpp
  support/TestSocket.cpp support/GaugeEnd_win32.cpp support/SpecialFiles_win32.cpp
  support/SystemFacts_win32.cpp support/TestSupport_win32.cpp
  windows/support/PipeServer.cpp)
target_link_libraries(txtestsupport PUBLIC ${TX_PROGRAM_LIBRARIES} gtest)
target_compile_definitions(txtestsupport PUBLIC TX_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
                           TX_VERSION_TEXT="${PROJECT_VERSION}"
                           TX_SOURCE_DIR="${CMAKE_SOURCE_DIR}")

# One executable per product folder, as on Linux: tests/<folder>/*_test.cpp is shared with Linux
# (what differs between the systems it takes from tests/support's per-system parts), *_win32.cpp
# and the win32/ subfolder are Windows'. A folder may carry resources of its own (the log's
# version resource, which the diagnostics read from their own executable): <folder>/*_win32.rc.in.
enable_language(RC)
set(TX_TEST_FOLDERS app ui res web sim simconnect pipe log platform)
foreach(folder ${TX_TEST_FOLDERS})
  set(dir ${CMAKE_CURRENT_SOURCE_DIR}/${folder})
  file(GLOB test_files CONFIGURE_DEPENDS ${dir}/*_test.cpp ${dir}/*_win32.cpp ${dir}/win32/*.cpp)
  if(NOT test_files)
    continue()
  endif()
  set(test_name ${folder}_tests)
  file(GLOB rc_templates CONFIGURE_DEPENDS ${dir}/*_win32.rc.in)
  foreach(rc_template ${rc_templates})
    get_filename_component(rc_name ${rc_template} NAME_WLE)
    configure_file(${rc_template} ${CMAKE_CURRENT_BINARY_DIR}/${folder}/${rc_name} @ONLY)
    list(APPEND test_files ${CMAKE_CURRENT_BINARY_DIR}/${folder}/${rc_name})
  endforeach()
  add_executable(${test_name} ${test_files})
  target_link_libraries(${test_name} PRIVATE txtestsupport gtest_main)
  # Pipes, the instance mutex and window classes are global in a Wine prefix: one suite at a time.
  gtest_discover_tests(${test_name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 120 RESOURCE_LOCK wineprefix)
endforeach()

# The HTTP head fuzz target once over its seed corpus, as on Linux.
add_executable(request_head_replay ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/http_head_fuzz.cpp
                                   ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/FuzzReplay.cpp)
target_link_libraries(request_head_replay PRIVATE txweb txplatform)
add_test(NAME RequestHeadFuzzCorpus
         COMMAND request_head_replay ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/corpus/http_head)
set_tests_properties(RequestHeadFuzzCorpus PROPERTIES TIMEOUT 60)

# The Windows program as a real process under Wine with the Windows stand-ins and the native
# sim-standin: tests/app/program.test.mjs as on Linux, and what only Windows has
# (tests/windows/program). CTest runs node itself, not through the emulator; the native programs
# come from the build that made the picture generator. It skips (77) without Wine or the programs.
add_executable(messagebox-closer ${CMAKE_CURRENT_SOURCE_DIR}/windows/program/messagebox-closer.cpp)
target_link_libraries(messagebox-closer PRIVATE user32)
find_program(TX_NODE node)
get_filename_component(TX_NATIVE_BIN_DIR "${TX_HOST_PICTURE_GEN}" DIRECTORY)
if(TX_NODE)
  add_test(NAME windows_program COMMAND ${TX_NODE} ${CMAKE_CURRENT_SOURCE_DIR}/windows/program/run.mjs)
  set_tests_properties(windows_program PROPERTIES
                       ENVIRONMENT "TX_WINDOWS_BUILD_DIR=${CMAKE_BINARY_DIR};TX_NATIVE_BIN_DIR=${TX_NATIVE_BIN_DIR}"
                       TIMEOUT 240 SKIP_RETURN_CODE 77 PROCESSORS 2 RESOURCE_LOCK wineprefix)
endif()

# The program's window under Wine on the prefix's X display (tests/ui/window, the same test as
# desktop_window on Linux). window-probe.exe tells it the screen size the program places its window by.
add_executable(window-probe ${CMAKE_CURRENT_SOURCE_DIR}/ui/window/window-probe.cpp)
target_link_libraries(window-probe PRIVATE user32)
if(TX_NODE)
  add_test(NAME windows_window COMMAND ${TX_NODE} ${CMAKE_CURRENT_SOURCE_DIR}/ui/window/run.mjs)
  set_tests_properties(windows_window PROPERTIES
                       ENVIRONMENT "TX_SYSTEM=windows;TX_WINDOWS_BUILD_DIR=${CMAKE_BINARY_DIR};TX_NATIVE_BIN_DIR=${TX_NATIVE_BIN_DIR}"
                       TIMEOUT 240 SKIP_RETURN_CODE 77 PROCESSORS 2 RESOURCE_LOCK wineprefix)
endif()
