# Shared build settings: one interface target that every target of ours links.
add_library(qelvanto_common_cfg INTERFACE)
target_compile_features(qelvanto_common_cfg INTERFACE cxx_std_20)
target_compile_options(qelvanto_common_cfg INTERFACE -Wall -Wextra -Wpedantic)
if(QELVANTO_WERROR)
  target_compile_options(qelvanto_common_cfg INTERFACE -Werror)
endif()
target_compile_definitions(qelvanto_common_cfg INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_CONTEXTLESS_CONNECT
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
target_include_directories(qelvanto_common_cfg INTERFACE "${PROJECT_SOURCE_DIR}/src")

# qelvanto_add_library(NAME SOURCES ... [DEPS ...] [PRIVATE_DEPS ...])
function(qelvanto_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_link_libraries(${name} PUBLIC qelvanto_common_cfg ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
endfunction()

# qelvanto_add_test(NAME SOURCES ... [DEPS ...] [ENV ...])
# One test executable per source unit, registered test by test with ctest.
function(qelvanto_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;ENV" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE qelvanto_common_cfg ${ARG_DEPS} GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE "${PROJECT_SOURCE_DIR}/tests")
  # The environment goes in front of the command: gtest_discover_tests would split a list
  # given as the ENVIRONMENT property.
  set_target_properties(${name} PROPERTIES
    CROSSCOMPILING_EMULATOR "env;LANG=C.UTF-8;LC_ALL=C.UTF-8;${ARG_ENV}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
endfunction()

# Makes one test executable for every *_test.cpp in the calling directory, each linked with
# DEPS, so a new unit needs only its test file.
function(qelvanto_add_tests_in_dir)
  cmake_parse_arguments(ARG "" "" "DEPS;ENV" ${ARGN})
  file(GLOB test_sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp")
  foreach(source IN LISTS test_sources)
    get_filename_component(unit "${source}" NAME_WE)
    qelvanto_add_test(${unit} SOURCES "${source}" DEPS ${ARG_DEPS} ENV ${ARG_ENV})
  endforeach()
endfunction()
