# Build helpers shared by every folder of the tree.

set(QLY_WARNINGS -Wall -Wextra -Wold-style-cast -Wnon-virtual-dtor)
if(QLY_WERROR)
  list(APPEND QLY_WARNINGS -Werror)
endif()

if(QLY_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

set(QLY_SOURCE_DIR ${CMAKE_SOURCE_DIR}/src)
set(QLY_FIXTURES_DIR ${CMAKE_SOURCE_DIR}/tests/fixtures)

# qly_library(NAME SOURCES ... [LIBS ...]) : a static library of the tree,
# included from src/ ("engine/Table.h").
function(qly_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${QLY_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${QLY_WARNINGS})
  target_link_libraries(${name} PUBLIC ${ARG_LIBS})
endfunction()

# qly_gtest(NAME SOURCES ... [LIBS ...]) : a GoogleTest binary run by CTest.
function(qly_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${QLY_WARNINGS})
  target_compile_definitions(${name} PRIVATE
    QLY_FIXTURES_DIR="${QLY_FIXTURES_DIR}"
    QLY_BINARY_DIR="${CMAKE_BINARY_DIR}")
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  include(GoogleTest)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

# qly_qttest(NAME SOURCES ... [LIBS ...]) : a Qt Test binary run by CTest on
# the offscreen platform.
function(qly_qttest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES AUTOMOC ON AUTOUIC ON AUTORCC ON)
  target_compile_options(${name} PRIVATE ${QLY_WARNINGS})
  target_compile_definitions(${name} PRIVATE
    QLY_FIXTURES_DIR="${QLY_FIXTURES_DIR}"
    QLY_BINARY_DIR="${CMAKE_BINARY_DIR}")
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt6::Test)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

# qly_bench(NAME SOURCES ... [LIBS ...]) : a Google Benchmark program (not a test).
function(qly_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${QLY_WARNINGS})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/bench)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} benchmark::benchmark)
endfunction()
