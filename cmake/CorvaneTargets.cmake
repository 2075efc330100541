# Helpers that keep each subsystem's CMakeLists short: a library is every
# .cpp of its folder (minus what EXCLUDE matches), a test program is every
# .cpp of its test folder.

# corvane_library(<name> DIR <dir> [EXCLUDE <regex>] [ONLY <regex>] LINKS <libs...>)
function(corvane_library name)
  cmake_parse_arguments(ARG "" "DIR;EXCLUDE;ONLY" "LINKS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${ARG_DIR}/*.cpp ${ARG_DIR}/*.h ${ARG_DIR}/*.qrc)
  if(ARG_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "${ARG_EXCLUDE}")
  endif()
  if(ARG_ONLY)
    list(FILTER sources INCLUDE REGEX "${ARG_ONLY}")
  endif()
  set(compiled ${sources})
  list(FILTER compiled INCLUDE REGEX "\\.(cpp|qrc)$")
  if(NOT compiled)
    # Nothing to compile yet: a header-only target keeps dependants building.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARG_LINKS})
    return()
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_LINKS})
endfunction()

# corvane_test(<name> DIR <dir> LINKS <libs...>): one GoogleTest program run
# offscreen through CTest.
function(corvane_test name)
  cmake_parse_arguments(ARG "" "DIR" "LINKS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${ARG_DIR}/*.cpp ${ARG_DIR}/*.h)
  set(compiled ${sources})
  list(FILTER compiled INCLUDE REGEX "\\.cpp$")
  if(NOT compiled)
    return()
  endif()
  add_executable(${name} ${sources})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_LINKS} corvane_test_support GTest::gtest GTest::gmock)
  target_compile_definitions(${name} PRIVATE
    CORVANE_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
    CORVANE_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  # Tests start the real converter from the build's program folder.
  if(TARGET i__view32)
    add_dependencies(${name} i__view32)
  endif()
  gtest_discover_tests(${name} NO_PRETTY_VALUES NO_PRETTY_TYPES
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
endfunction()
