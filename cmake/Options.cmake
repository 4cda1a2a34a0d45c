option(RK_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(RK_TSAN "Build with ThreadSanitizer" OFF)

add_compile_options(-Wall -Wextra -Wno-unused-parameter)
# Only what is exported by name leaves a library; interfaces carry their own default visibility.
set(CMAKE_CXX_VISIBILITY_PRESET hidden)
set(CMAKE_C_VISIBILITY_PRESET hidden)
set(CMAKE_VISIBILITY_INLINES_HIDDEN ON)

if(RK_SANITIZE)
  # -O1 and line tables: all that the sanitizers need to check the code and to name file and line in
  # their reports, in half the compile time of -O2 with full debug information.
  add_compile_options(-O1 -g1)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(RK_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# CTest starts the tests of highest COST first, and a tree built from clean has no timings of its own
# yet: a fuzz target's run and a GUI program's (each one process for many cases, the longest of the
# suite) are started first, so that they end with the rest and not after it.
set(RK_LONG_TEST_COST 100)

# rk_add_test(name SOURCES ... LIBS ... LABELS ...): one GoogleTest binary registered with CTest.
function(rk_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  gtest_discover_tests(${name} WORKING_DIRECTORY ${RK_BIN_DIR}
    PROPERTIES LABELS "${T_LABELS}" ENVIRONMENT "RK_TESTDATA=${CMAKE_BINARY_DIR}/testdata"
    DISCOVERY_TIMEOUT 60)
endfunction()

# The fixtures are data made by real tools from this source alone, the same for every build tree: a
# tree built with other flags (the sanitizer's, the fuzzer's) can take copies of them from a tree that
# made them, instead of making them again. A copy of its own, as a fixture made here would be: tests
# may change what they are given.
set(RK_FIXTURES_FROM "" CACHE PATH "A build tree of this source whose test data this tree copies instead of making its own")
if(RK_FIXTURES_FROM)
  get_filename_component(RK_FIXTURES_FROM ${RK_FIXTURES_FROM} ABSOLUTE)
  if(RK_FIXTURES_FROM STREQUAL CMAKE_BINARY_DIR)
    message(FATAL_ERROR "RK_FIXTURES_FROM names this build tree itself")
  endif()
  if(NOT EXISTS ${RK_FIXTURES_FROM}/CMakeCache.txt)
    message(FATAL_ERROR "RK_FIXTURES_FROM: ${RK_FIXTURES_FROM} is no configured build tree")
  endif()
  load_cache(${RK_FIXTURES_FROM} READ_WITH_PREFIX FROM_ CMAKE_HOME_DIRECTORY RK_FIXTURES_FROM)
  if(NOT FROM_CMAKE_HOME_DIRECTORY STREQUAL CMAKE_SOURCE_DIR)
    message(FATAL_ERROR "RK_FIXTURES_FROM: ${RK_FIXTURES_FROM} is built from ${FROM_CMAKE_HOME_DIRECTORY}, not from this source")
  endif()
  if(FROM_RK_FIXTURES_FROM)
    message(FATAL_ERROR "RK_FIXTURES_FROM: ${RK_FIXTURES_FROM} copies its own test data from ${FROM_RK_FIXTURES_FROM}")
  endif()
endif()

# Every fixture, and those that a group of targets reads (RK_FIXTURE_GROUP set in their folders: a
# target <group>_fixtures), so that the tree they are taken from can make just these.
add_custom_target(fixtures)

# rk_add_fixture(target SCRIPT script [ARGS ...] [DEPENDS ...]): runs the script with a fresh output
# folder ${CMAKE_BINARY_DIR}/testdata/<target> as its first argument; made again when the script or
# a dependency changes (with RK_FIXTURES_FROM: copied again when that tree has made it again). Tests
# that read it add_dependencies() on the target.
function(rk_add_fixture target)
  cmake_parse_arguments(F "" "SCRIPT" "ARGS;DEPENDS" ${ARGN})
  set(out ${CMAKE_BINARY_DIR}/testdata/${target})
  set(stamp ${CMAKE_BINARY_DIR}/testdata/${target}.stamp)
  if(RK_FIXTURES_FROM)
    add_custom_target(${target} ALL
      COMMAND ${CMAKE_COMMAND} -DNAME=${target} -DFROM=${RK_FIXTURES_FROM} -DTO=${CMAKE_BINARY_DIR}
        "-DINPUTS=${F_SCRIPT};${F_DEPENDS}" -P ${CMAKE_SOURCE_DIR}/cmake/copy_fixture.cmake
      VERBATIM)
  else()
    add_custom_command(OUTPUT ${stamp}
      COMMAND ${CMAKE_COMMAND} -E rm -rf ${out}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${out}
      COMMAND ${F_SCRIPT} ${out} ${F_ARGS}
      COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
      DEPENDS ${F_SCRIPT} ${F_DEPENDS}
      COMMENT "Making test data ${target}"
      VERBATIM)
    add_custom_target(${target} ALL DEPENDS ${stamp})
  endif()
  add_dependencies(fixtures ${target})
  if(RK_FIXTURE_GROUP)
    add_dependencies(${RK_FIXTURE_GROUP}_fixtures ${target})
  endif()
endfunction()

# rk_add_bench(name SOURCES ... LIBS ...): a benchmark program; run by hand, never by CTest.
function(rk_add_bench name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} Threads::Threads)
endfunction()

# rk_add_fuzzer(name SOURCES ... LIBS ... [CORPUS dir]): a target defining LLVMFuzzerTestOneInput.
# Built with clang and RK_FUZZ=ON it is a libFuzzer program, and every library of that build carries
# the fuzzer's coverage instrumentation (fuzzer-no-link), so the fuzzer sees the code it drives; its
# CTest run works on a copy of the corpus in the build tree, where the inputs it finds go. Otherwise
# it links a small driver that replays the corpus and a bounded number of mutations of it.
option(RK_FUZZ "Build fuzz targets with libFuzzer (needs clang)" OFF)
set(RK_FUZZ_SECONDS 20 CACHE STRING "Seconds each libFuzzer target runs under CTest")
if(RK_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  add_compile_options(-fsanitize=fuzzer-no-link)
  add_link_options(-fsanitize=fuzzer-no-link)
endif()
function(rk_add_fuzzer name)
  cmake_parse_arguments(Z "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${Z_SOURCES})
  target_link_libraries(${name} PRIVATE ${Z_LIBS} Threads::Threads)
  set(corpus ${Z_CORPUS})
  if(RK_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    set(args -max_total_time=${RK_FUZZ_SECONDS} -rss_limit_mb=2048 -timeout=10)
    if(Z_CORPUS)
      # libFuzzer adds what it finds to its first corpus folder: a fresh copy, never the sources.
      set(corpus ${CMAKE_BINARY_DIR}/fuzz_corpus/${name})
      add_test(NAME fuzz.${name}.corpus COMMAND ${CMAKE_COMMAND}
        -DFROM=${Z_CORPUS} -DTO=${corpus} -P ${CMAKE_SOURCE_DIR}/cmake/copy_corpus.cmake)
      set_tests_properties(fuzz.${name}.corpus PROPERTIES LABELS fuzz FIXTURES_SETUP ${name}_corpus)
    endif()
  else()
    target_link_libraries(${name} PRIVATE rk_fuzz_driver)
    set(args --iterations=3000)
  endif()
  if(TARGET fuzz_targets)
    add_dependencies(fuzz_targets ${name})
  endif()
  add_test(NAME fuzz.${name} COMMAND ${name} ${args} ${corpus})
  set_tests_properties(fuzz.${name} PROPERTIES LABELS fuzz TIMEOUT 600 COST ${RK_LONG_TEST_COST})
  if(RK_FUZZ AND Z_CORPUS)
    set_tests_properties(fuzz.${name} PROPERTIES FIXTURES_REQUIRED ${name}_corpus)
  endif()
endfunction()

# Tests over GLib/GTK+: LeakSanitizer skips the toolkit's one-time allocations.
set(RK_TOOLKIT_LSAN "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/cmake/lsan_toolkit.supp:print_suppressions=0")

# rk_add_gui_test(name [NO_DISPLAY] SOURCES ... LIBS ... [WORKING_DIRECTORY dir]): a GoogleTest binary
# over the GUI toolkit, registered whole. It runs on an Xvfb display of its own (label gui; see run_gui_test.sh),
# or without a display (NO_DISPLAY, label unit), with a home and a temporary folder of its own either way. Screenshots go to build/screens.
function(rk_add_gui_test name)
  cmake_parse_arguments(T "NO_DISPLAY" "WORKING_DIRECTORY" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  if(T_WORKING_DIRECTORY)
    # A folder of its own: the program runs beside only what the test puts there.
    file(MAKE_DIRECTORY ${T_WORKING_DIRECTORY})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${T_WORKING_DIRECTORY})
  else()
    set(T_WORKING_DIRECTORY ${RK_BIN_DIR})
  endif()
  if(T_NO_DISPLAY)
    add_test(NAME ${name} COMMAND ${CMAKE_SOURCE_DIR}/cmake/run_gui_test.sh --no-display $<TARGET_FILE:${name}>
      WORKING_DIRECTORY ${T_WORKING_DIRECTORY})
    set(label unit)
  else()
    add_test(NAME ${name} COMMAND ${CMAKE_SOURCE_DIR}/cmake/run_gui_test.sh $<TARGET_FILE:${name}>
      WORKING_DIRECTORY ${T_WORKING_DIRECTORY})
    set(label gui)
  endif()
  set_tests_properties(${name} PROPERTIES LABELS ${label} TIMEOUT 300 COST ${RK_LONG_TEST_COST} ENVIRONMENT
    "RK_TESTDATA=${CMAKE_BINARY_DIR}/testdata;RK_SCREENS=${CMAKE_BINARY_DIR}/screens;${RK_TOOLKIT_LSAN}")
endfunction()
