# CMake generated Testfile for 
# Source directory: /work/wt/views
# Build directory: /work/wt/views/work/wt/views/build
# 
# This file includes the relevant testing commands required for 
# testing this directory and lists subdirectories to be tested as well.
subdirs("src")
subdirs("plugins")
subdirs("tests")
subdirs("bench")
