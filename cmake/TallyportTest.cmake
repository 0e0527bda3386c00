# tallyport_add_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2)
# One QtTest executable, registered with CTest, run headless with a fixed locale.
function(tallyport_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE Qt6::Test ${T_LIBS})
  target_compile_definitions(${name} PRIVATE
    TALLYPORT_TEST_BINARY_DIR="${CMAKE_CURRENT_BINARY_DIR}"
    TALLYPORT_TOOLS_DIR="$<TARGET_FILE_DIR:${name}>")
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8;LANG=C.UTF-8;ASAN_OPTIONS=detect_leaks=1"
    TIMEOUT 600)
endfunction()
