# Additional clean files
cmake_minimum_required(VERSION 3.16)

if("${CONFIG}" STREQUAL "" OR "${CONFIG}" STREQUAL "Release")
  file(REMOVE_RECURSE
  "src/CMakeFiles/pixqv_ui_autogen.dir/AutogenUsed.txt"
  "src/CMakeFiles/pixqv_ui_autogen.dir/ParseCache.txt"
  "src/pixqv_ui_autogen"
  "tests/CMakeFiles/pixqv_ui_tests_autogen.dir/AutogenUsed.txt"
  "tests/CMakeFiles/pixqv_ui_tests_autogen.dir/ParseCache.txt"
  "tests/CMakeFiles/pixqv_view_tests_autogen.dir/AutogenUsed.txt"
  "tests/CMakeFiles/pixqv_view_tests_autogen.dir/ParseCache.txt"
  "tests/pixqv_ui_tests_autogen"
  "tests/pixqv_view_tests_autogen"
  )
endif()
