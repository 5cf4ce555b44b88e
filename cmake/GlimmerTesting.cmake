# glimmer_add_test(NAME SOURCES ... LIBS ... [LABELS ...])
# Builds one GoogleTest executable and registers each of its cases with CTest.
# Labels: "core" runs under AddressSanitizer/UBSan in CI, "multiband" under ThreadSanitizer.
if(GLIMMER_BUILD_TESTS)
  enable_testing()
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()

function(glimmer_add_test name)
  if(NOT GLIMMER_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    GLIMMER_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${ARG_LABELS}")
endfunction()
