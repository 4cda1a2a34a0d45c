option(RK_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(RK_TSAN "Build with ThreadSanitizer" OFF)

add_compile_options(-Wall -Wextra -Wno-unused-parameter)
# Only what is exported by name leaves a library; interfaces carry their own default visibility.
set(CMAKE_CXX_VISIBILITY_PRESET hidden)
set(CMAKE_C_VISIBILITY_PRESET hidden)
set(CMAKE_VISIBILITY_INLINES_HIDDEN ON)

if(RK_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(RK_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

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
