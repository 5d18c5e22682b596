# GoogleTest and the helper that registers a test executable.
#
# Natively GoogleTest comes from the system package; for mingw it is built
# from Debian's source package. Under Wine a process start costs about a
# second, so each executable is one CTest test, not one test per case.

if(PAGELET_FUZZ)
  return()
endif()

if(PAGELET_WINDOWS)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set(PAGELET_GTEST_MAIN GTest::gtest_main GTest::gmock)
  if(NOT TARGET GTest::gtest_main)
    add_library(GTest::gtest_main ALIAS gtest_main)
    add_library(GTest::gmock ALIAS gmock)
  endif()
else()
  find_package(GTest REQUIRED)
  set(PAGELET_GTEST_MAIN GTest::gtest_main GTest::gmock)
endif()

get_filename_component(_pagelet_corpus "${PAGELET_CORPUS_DIR}" ABSOLUTE)
if(PAGELET_WINDOWS)
  # Wine maps the Unix root to drive Z:.
  set(PAGELET_TEST_CORPUS "Z:${_pagelet_corpus}")
  set(PAGELET_TEST_SOURCE "Z:${CMAKE_SOURCE_DIR}")
  set(PAGELET_TEST_BINARY "Z:${CMAKE_BINARY_DIR}")
else()
  set(PAGELET_TEST_CORPUS "${_pagelet_corpus}")
  set(PAGELET_TEST_SOURCE "${CMAKE_SOURCE_DIR}")
  set(PAGELET_TEST_BINARY "${CMAKE_BINARY_DIR}")
endif()

# Test names carry the preset, so that one summary over all presets reads well;
# a preset may name its own prefix (native-asan).
if(PAGELET_TEST_PREFIX)
elseif(PAGELET_WINDOWS AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(PAGELET_TEST_PREFIX "win64.")
elseif(PAGELET_WINDOWS)
  set(PAGELET_TEST_PREFIX "win32.")
else()
  set(PAGELET_TEST_PREFIX "native.")
endif()

# The first Wine start of a fresh prefix takes a while; one fixture does it
# before any Windows test runs.
if(PAGELET_WINDOWS)
  add_test(NAME ${PAGELET_TEST_PREFIX}wine_prefix COMMAND ${CMAKE_SOURCE_DIR}/cmake/wine-run.sh cmd /c exit 0)
  set_tests_properties(${PAGELET_TEST_PREFIX}wine_prefix PROPERTIES FIXTURES_SETUP wine_${PAGELET_TEST_PREFIX})
endif()

# pagelet_fixed_locale(<test>...): Linux takes its ANSI code page (8-bit
# text without a code page of its own, Word 6/95 documents) from the locale's
# language; tests run in one locale, whatever the developer's own.
function(pagelet_fixed_locale)
  foreach(name IN LISTS ARGN)
    set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT LC_ALL=C.UTF-8)
  endforeach()
endfunction()

# pagelet_add_test(NAME <name> SOURCES <files...> [LIBS <targets...>] [TIMEOUT <s>])
# The CTest test is named <preset>.<name>; Windows tests need the Wine prefix
# fixture (wine_${PAGELET_TEST_PREFIX}); tests added by hand should set
# FIXTURES_REQUIRED to it too.
function(pagelet_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} ${PAGELET_GTEST_MAIN} pagelet_warnings)
  target_include_directories(${T_NAME} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(${T_NAME} PRIVATE
    PAGELET_CORPUS_DIR="${PAGELET_TEST_CORPUS}"
    PAGELET_SOURCE_DIR="${PAGELET_TEST_SOURCE}"
    PAGELET_BINARY_DIR="${PAGELET_TEST_BINARY}")
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 600)
  endif()
  add_test(NAME ${PAGELET_TEST_PREFIX}${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${PAGELET_TEST_PREFIX}${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(NOT PAGELET_WINDOWS)
    pagelet_fixed_locale(${PAGELET_TEST_PREFIX}${T_NAME})
  endif()
  if(PAGELET_WINDOWS)
    # 77: the Wine runner could not start a 32-bit program on this machine.
    set_tests_properties(${PAGELET_TEST_PREFIX}${T_NAME} PROPERTIES
      FIXTURES_REQUIRED wine_${PAGELET_TEST_PREFIX} SKIP_RETURN_CODE 77)
  endif()
endfunction()

# pagelet_desktop_tests(<name>...): tests that make windows and check which
# one is active or focused, or use the clipboard. All Wine programs share the
# X display and its clipboard, and a window made by one test can take the
# activation from another's, so these tests take turns.
function(pagelet_desktop_tests)
  foreach(name IN LISTS ARGN)
    set_property(TEST ${PAGELET_TEST_PREFIX}${name} APPEND PROPERTY RESOURCE_LOCK pagelet_desktop)
  endforeach()
endfunction()
