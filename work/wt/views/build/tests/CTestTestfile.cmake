# CMake generated Testfile for 
# Source directory: /work/wt/views/tests
# Build directory: /work/wt/views/work/wt/views/build/tests
# 
# This file includes the relevant testing commands required for 
# testing this directory and lists subdirectories to be tested as well.
include("/work/wt/views/work/wt/views/build/tests/qvcore_tests[1]_include.cmake")
include("/work/wt/views/work/wt/views/build/tests/loader_plugin_tests[1]_include.cmake")
add_test([=[ui.main_window]=] "/work/wt/views/work/wt/views/build/tests/pixqv_ui_tests")
set_tests_properties([=[ui.main_window]=] PROPERTIES  ENVIRONMENT "QT_QPA_PLATFORM=offscreen" _BACKTRACE_TRIPLES "/work/wt/views/tests/CMakeLists.txt;48;add_test;/work/wt/views/tests/CMakeLists.txt;0;")
add_test([=[ui.view_windows]=] "/work/wt/views/work/wt/views/build/tests/pixqv_view_tests")
set_tests_properties([=[ui.view_windows]=] PROPERTIES  ENVIRONMENT "QT_QPA_PLATFORM=offscreen" _BACKTRACE_TRIPLES "/work/wt/views/tests/CMakeLists.txt;55;add_test;/work/wt/views/tests/CMakeLists.txt;0;")
subdirs("cli")
