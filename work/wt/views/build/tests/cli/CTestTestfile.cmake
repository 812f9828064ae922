# CMake generated Testfile for 
# Source directory: /work/wt/views/tests/cli
# Build directory: /work/wt/views/work/wt/views/build/tests/cli
# 
# This file includes the relevant testing commands required for 
# testing this directory and lists subdirectories to be tested as well.
include("/work/wt/views/work/wt/views/build/tests/cli/cli_area_tests[1]_include.cmake")
add_test([=[cli.help]=] "/work/wt/views/work/wt/views/build/src/cli/pixqv-cli" "--help")
set_tests_properties([=[cli.help]=] PROPERTIES  PASS_REGULAR_EXPRESSION "usage: pixqv-cli.*showcase" _BACKTRACE_TRIPLES "/work/wt/views/tests/cli/CMakeLists.txt;2;add_test;/work/wt/views/tests/cli/CMakeLists.txt;0;")
add_test([=[cli.version]=] "/work/wt/views/work/wt/views/build/src/cli/pixqv-cli" "--version")
set_tests_properties([=[cli.version]=] PROPERTIES  PASS_REGULAR_EXPRESSION "^pixqv-cli \\(Pixanta: Q/v\\) [0-9]+\\.[0-9]+" _BACKTRACE_TRIPLES "/work/wt/views/tests/cli/CMakeLists.txt;4;add_test;/work/wt/views/tests/cli/CMakeLists.txt;0;")
add_test([=[cli.unknown_command]=] "/work/wt/views/work/wt/views/build/src/cli/pixqv-cli" "showcse")
set_tests_properties([=[cli.unknown_command]=] PROPERTIES  WILL_FAIL "TRUE" _BACKTRACE_TRIPLES "/work/wt/views/tests/cli/CMakeLists.txt;6;add_test;/work/wt/views/tests/cli/CMakeLists.txt;0;")
add_test([=[cli.unknown_command_hint]=] "sh" "-c" "/work/wt/views/work/wt/views/build/src/cli/pixqv-cli showcse 2>&1; true")
set_tests_properties([=[cli.unknown_command_hint]=] PROPERTIES  PASS_REGULAR_EXPRESSION "did you mean 'showcase'" _BACKTRACE_TRIPLES "/work/wt/views/tests/cli/CMakeLists.txt;8;add_test;/work/wt/views/tests/cli/CMakeLists.txt;0;")
add_test([=[cli.showcase]=] "/work/wt/views/tests/cli/showcase_test.sh" "/work/wt/views/work/wt/views/build/src/cli/pixqv-cli" "/work/wt/views/work/wt/views/build/tests/cli/showcase")
set_tests_properties([=[cli.showcase]=] PROPERTIES  _BACKTRACE_TRIPLES "/work/wt/views/tests/cli/CMakeLists.txt;10;add_test;/work/wt/views/tests/cli/CMakeLists.txt;0;")
add_test([=[cli.ops_json]=] "/work/wt/views/work/wt/views/build/src/cli/pixqv-cli" "ops" "--group" "motion" "--json")
set_tests_properties([=[cli.ops_json]=] PROPERTIES  PASS_REGULAR_EXPRESSION "^\\[
 {\"id\": 3121, \"name\": \"Motion Blur\", \"group\": \"Motion Group\", \"dialog\": \"C3Dlg\", \"kind\": \"Generation\", \"needsSource\": false, \"noAlphaMask\": true, \"available\": false, \"params\": \\[{\"slot\": 0, \"label\": \"Length\", \"labelId\": 10510, \"kind\": 0, \"default\": 50, \"min\": 0, \"max\": 200, \"trendMin\": 0, \"trendMax\": 2000, \"wrap\": 0}, [^
]*},
 {\"id\": 3122,[^
]*},
 {\"id\": 3123,[^
]*}
\\]
\$" _BACKTRACE_TRIPLES "/work/wt/views/tests/cli/CMakeLists.txt;12;add_test;/work/wt/views/tests/cli/CMakeLists.txt;0;")
add_test([=[cli.ops_table]=] "/work/wt/views/work/wt/views/build/src/cli/pixqv-cli" "ops")
set_tests_properties([=[cli.ops_table]=] PROPERTIES  PASS_REGULAR_EXPRESSION "^70 operations.*3111  Asterize .*not yet available.*Rotation +0  \\[0..360\\] trend -99999..99999 wraps 360.*Base Color +0xFF0000.*3198  Transition" _BACKTRACE_TRIPLES "/work/wt/views/tests/cli/CMakeLists.txt;15;add_test;/work/wt/views/tests/cli/CMakeLists.txt;0;")
add_test([=[cli.ops_unknown_group]=] "/work/wt/views/work/wt/views/build/src/cli/pixqv-cli" "ops" "--group" "Nope")
set_tests_properties([=[cli.ops_unknown_group]=] PROPERTIES  WILL_FAIL "TRUE" _BACKTRACE_TRIPLES "/work/wt/views/tests/cli/CMakeLists.txt;18;add_test;/work/wt/views/tests/cli/CMakeLists.txt;0;")
add_test([=[cli.info]=] "/work/wt/views/work/wt/views/build/src/cli/pixqv-cli" "info" "/work/wt/views/tests/fuzz/seeds/bmp/b24.bmp" "/work/wt/views/tests/fuzz/seeds/bmp/rle4.bmp")
set_tests_properties([=[cli.info]=] PROPERTIES  PASS_REGULAR_EXPRESSION "size: +7 x 5.*depth: +24 bit.*size: +4 x 2.*depth: +4 bit" _BACKTRACE_TRIPLES "/work/wt/views/tests/cli/CMakeLists.txt;23;add_test;/work/wt/views/tests/cli/CMakeLists.txt;0;")
add_test([=[cli.info_unreadable]=] "/work/wt/views/work/wt/views/build/src/cli/pixqv-cli" "info" "/work/wt/views/tests/fuzz/seeds/bmp/b24.bmp" "/work/wt/views/tests/cli/CMakeLists.txt")
set_tests_properties([=[cli.info_unreadable]=] PROPERTIES  WILL_FAIL "TRUE" _BACKTRACE_TRIPLES "/work/wt/views/tests/cli/CMakeLists.txt;25;add_test;/work/wt/views/tests/cli/CMakeLists.txt;0;")
add_test([=[cli.convert_depth_not_offered]=] "/work/wt/views/work/wt/views/build/src/cli/pixqv-cli" "convert" "/work/wt/views/tests/fuzz/seeds/bmp/b24.bmp" "/work/wt/views/work/wt/views/build/tests/cli/x.tif" "--depth" "8")
set_tests_properties([=[cli.convert_depth_not_offered]=] PROPERTIES  WILL_FAIL "TRUE" _BACKTRACE_TRIPLES "/work/wt/views/tests/cli/CMakeLists.txt;27;add_test;/work/wt/views/tests/cli/CMakeLists.txt;0;")
add_test([=[cli.convert_round_trip]=] "sh" "-c" "/work/wt/views/work/wt/views/build/src/cli/pixqv-cli convert /work/wt/views/tests/fuzz/seeds/bmp/b32.bmp /work/wt/views/work/wt/views/build/tests/cli/rt.bmp --depth 32 &&    /work/wt/views/work/wt/views/build/src/cli/pixqv-cli convert /work/wt/views/work/wt/views/build/tests/cli/rt.bmp /work/wt/views/work/wt/views/build/tests/cli/rt16.bmp --depth 16 &&    /work/wt/views/work/wt/views/build/src/cli/pixqv-cli info /work/wt/views/work/wt/views/build/tests/cli/rt.bmp /work/wt/views/work/wt/views/build/tests/cli/rt16.bmp")
set_tests_properties([=[cli.convert_round_trip]=] PROPERTIES  PASS_REGULAR_EXPRESSION "depth: +32 bit.*alpha: +yes.*depth: +16 bit" _BACKTRACE_TRIPLES "/work/wt/views/tests/cli/CMakeLists.txt;29;add_test;/work/wt/views/tests/cli/CMakeLists.txt;0;")
add_test([=[cli.mask_rect]=] "sh" "-c" "/work/wt/views/work/wt/views/build/src/cli/pixqv-cli mask 4x3 /work/wt/views/work/wt/views/build/tests/cli/m.pgm --area rect:1,1,2,1 &&    printf 'P5\\n4 3\\n255\\n\\000\\000\\000\\000\\000\\377\\377\\000\\000\\000\\000\\000' | cmp - /work/wt/views/work/wt/views/build/tests/cli/m.pgm")
set_tests_properties([=[cli.mask_rect]=] PROPERTIES  _BACKTRACE_TRIPLES "/work/wt/views/tests/cli/CMakeLists.txt;42;add_test;/work/wt/views/tests/cli/CMakeLists.txt;0;")
add_test([=[cli.mask_bad_area]=] "/work/wt/views/work/wt/views/build/src/cli/pixqv-cli" "mask" "4x3" "/work/wt/views/work/wt/views/build/tests/cli/bad.pgm" "--area" "rect:1")
set_tests_properties([=[cli.mask_bad_area]=] PROPERTIES  WILL_FAIL "TRUE" _BACKTRACE_TRIPLES "/work/wt/views/tests/cli/CMakeLists.txt;45;add_test;/work/wt/views/tests/cli/CMakeLists.txt;0;")
