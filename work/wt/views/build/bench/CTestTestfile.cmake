# CMake generated Testfile for 
# Source directory: /work/wt/views/bench
# Build directory: /work/wt/views/work/wt/views/build/bench
# 
# This file includes the relevant testing commands required for 
# testing this directory and lists subdirectories to be tested as well.
