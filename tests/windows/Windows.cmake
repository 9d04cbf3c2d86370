# The Windows test suites: cross-built with mingw-w64 and run by CTest through Wine (the toolchain's
# emulator). Debian has no GoogleTest built for mingw, so it is built here from its sources.
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

# Test support: the portable helpers and their Windows side.
file(GLOB TX_WINDOWS_TEST_SUPPORT CONFIGURE_DEPENDS
     ${CMAKE_CURRENT_SOURCE_DIR}/support/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/windows/support/*.cpp)
list(FILTER TX_WINDOWS_TEST_SUPPORT EXCLUDE REGEX "_posix\\.cpp$")
add_library(txtestsupport STATIC ${TX_WINDOWS_TEST_SUPPORT})
target_link_libraries(txtestsupport PUBLIC txcore gtest)
target_compile_definitions(txtestsupport PUBLIC TX_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
                           TX_SOURCE_DIR="${CMAKE_SOURCE_DIR}")

# Suites shared with Linux that need nothing of it, and the Windows suites of tests/windows.
set(TX_SHARED_TESTS)
file(GLOB TX_WINDOWS_TEST_FILES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/windows/*_test.cpp)
foreach(test_name ${TX_SHARED_TESTS})
  list(APPEND TX_WINDOWS_TEST_FILES ${CMAKE_CURRENT_SOURCE_DIR}/${test_name}.cpp)
endforeach()
foreach(test_file ${TX_WINDOWS_TEST_FILES})
  get_filename_component(test_name ${test_file} NAME_WE)
  add_executable(${test_name} ${test_file})
  target_link_libraries(${test_name} PRIVATE txtestsupport gtest_main)
  # Pipes, the instance mutex and window classes are global in a Wine prefix: one suite at a time.
  gtest_discover_tests(${test_name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 120 RESOURCE_LOCK wineprefix)
endforeach()
