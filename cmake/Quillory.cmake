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

# Each library offers the libraries above it only its public headers. With
# QLY_HEADER_ROOTS the build enforces that: a library compiles with its own
# folder (src/<layer>, linked into ${QLY_INCLUDE_ROOTS}/own/<name>) and sees
# of the libraries it links only their public headers (linked one by one into
# ${QLY_INCLUDE_ROOTS}/public/<name>). Includes stay written from src/
# ("engine/xbase.h"). Without it every library has the whole of src/.
# scripts/check-layers.py checks the same lists file by file, with the rules
# of which layer may use which.
set(QLY_INCLUDE_ROOTS ${CMAKE_BINARY_DIR}/include-roots)

# The layer of the current source folder: "ui/main", "widgets", "engine", ...
function(qly_layer_of_current_dir out)
  file(RELATIVE_PATH rel ${QLY_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  string(REGEX MATCH "^(ui/[^/]+|[^/]+)" layer "${rel}")
  set(${out} ${layer} PARENT_SCOPE)
endfunction()

# qly_library(NAME SOURCES ... [PUBLIC_HEADERS ...] [LIBS ...] [PRIVATE_LIBS ...]):
# a static library of the tree. PUBLIC_HEADERS (paths from this folder) are
# what other libraries may include; LIBS are used by those headers (and pass
# on to the callers), PRIVATE_LIBS only by the library's own sources.
function(qly_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_HEADERS;LIBS;PRIVATE_LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES} ${ARG_PUBLIC_HEADERS})
  set_property(TARGET ${name} PROPERTY QLY_PUBLIC_HEADERS ${ARG_PUBLIC_HEADERS})
  if(QLY_HEADER_ROOTS)
    qly_layer_of_current_dir(layer)
    set(own ${QLY_INCLUDE_ROOTS}/own/${name})
    set(public ${QLY_INCLUDE_ROOTS}/public/${name})
    file(REMOVE_RECURSE ${own} ${public})
    get_filename_component(parent ${own}/${layer} DIRECTORY)
    file(MAKE_DIRECTORY ${parent} ${public})
    file(CREATE_LINK ${QLY_SOURCE_DIR}/${layer} ${own}/${layer} SYMBOLIC)
    foreach(header ${ARG_PUBLIC_HEADERS})
      file(RELATIVE_PATH rel ${QLY_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/${header})
      get_filename_component(folder ${public}/${rel} DIRECTORY)
      file(MAKE_DIRECTORY ${folder})
      file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/${header} ${public}/${rel} SYMBOLIC)
    endforeach()
    target_include_directories(${name} PRIVATE ${own} INTERFACE ${public})
  else()
    target_include_directories(${name} PUBLIC ${QLY_SOURCE_DIR})
  endif()
  target_compile_options(${name} PRIVATE ${QLY_WARNINGS})
  target_link_libraries(${name} PUBLIC ${ARG_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
endfunction()

# Tests, benchmarks and fuzz targets see every header of the tree (a test may
# look inside its library); the check keeps them to what their library may use.
function(qly_whole_tree name)
  if(QLY_HEADER_ROOTS)
    target_include_directories(${name} PRIVATE ${QLY_SOURCE_DIR})
  endif()
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
  qly_whole_tree(${name})
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
  qly_whole_tree(${name})
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
  qly_whole_tree(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} benchmark::benchmark)
endfunction()
