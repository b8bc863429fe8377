# GoogleTest for both builds, and setup_add_test() to register one test executable.
if(SETUP_WINDOWS)
  # Compiled from Debian's sources with the cross toolchain.
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  target_compile_options(gtest PRIVATE -w)
  target_compile_options(gtest_main PRIVATE -w)
  set(SETUP_GTEST gtest gtest_main)
else()
  find_package(GTest REQUIRED)
  set(SETUP_GTEST GTest::gtest GTest::gtest_main)
endif()

set(SETUP_TESTDATA_DIR "${CMAKE_SOURCE_DIR}/../shared/testdata" CACHE PATH "The shared test corpus")
get_filename_component(SETUP_TESTDATA_DIR "${SETUP_TESTDATA_DIR}" ABSOLUTE)

# setup_add_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2)
# Natively one CTest test per executable runs it directly; in the cross build it runs under
# Wine through scripts/wine-run.sh (one test per executable: a Wine start costs seconds).
function(setup_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${CMAKE_SOURCE_DIR}/tests/common/testsupport.cpp)
  target_link_libraries(${name} PRIVATE ${T_LIBS} ${SETUP_GTEST})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE SETUP_TESTDATA_DIR="${SETUP_TESTDATA_DIR}")
  if(SETUP_WINDOWS)
    add_test(NAME ${name}
             COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh $<TARGET_FILE:${name}>)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "SETUP_BUILD_DIR=${CMAKE_BINARY_DIR}")
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
endfunction()
