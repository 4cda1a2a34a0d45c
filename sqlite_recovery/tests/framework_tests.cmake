# Tests of the framework that need a folder of their own: the logger is looked for beside the
# running program, so each of these programs lives in its own folder with only the libraries its
# test puts there.

# No libLog.so beside the program at first; the test copies the real one there.
rk_add_test(logger_absent_test SOURCES tests/logger_absent_test.cpp LIBS rk_framework)
set_target_properties(logger_absent_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${RK_BIN_DIR}/logger_absent)
target_compile_definitions(logger_absent_test PRIVATE RK_REAL_LOG_LIBRARY="$<TARGET_FILE:Log>")
add_dependencies(logger_absent_test Log)

# A "Log.dll" whose CreateObject gives an object that is no ILog.
add_library(rk_foreign_log SHARED tests/crosslib/ForeignLog.cpp)
target_link_libraries(rk_foreign_log PRIVATE rk_framework)
set_target_properties(rk_foreign_log PROPERTIES OUTPUT_NAME Log
  LIBRARY_OUTPUT_DIRECTORY ${RK_BIN_DIR}/logger_foreign)
rk_add_test(logger_foreign_test SOURCES tests/logger_foreign_test.cpp LIBS rk_framework)
set_target_properties(logger_foreign_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${RK_BIN_DIR}/logger_foreign)
add_dependencies(logger_foreign_test rk_foreign_log)

# Objects made in one shared library and cast in another.
add_library(rk_cast_maker SHARED tests/crosslib/CastMaker.cpp)
add_library(rk_cast_taker SHARED tests/crosslib/CastTaker.cpp)
foreach(lib rk_cast_maker rk_cast_taker)
  target_link_libraries(${lib} PRIVATE rk_framework)
  set_target_properties(${lib} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${RK_BIN_DIR}/crosslib)
endforeach()
set_target_properties(rk_cast_maker PROPERTIES OUTPUT_NAME RkCastMaker)
set_target_properties(rk_cast_taker PROPERTIES OUTPUT_NAME RkCastTaker)
rk_add_test(cross_library_cast_test SOURCES tests/cross_library_cast_test.cpp LIBS rk_framework)
set_target_properties(cross_library_cast_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${RK_BIN_DIR}/crosslib)
add_dependencies(cross_library_cast_test rk_cast_maker rk_cast_taker)
