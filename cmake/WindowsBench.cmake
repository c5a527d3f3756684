# Benchmarks of the Windows build, built and run under Wine by `make bench`
# only: the installation against NSIS and against a bare extraction on one
# thread.
add_executable(ynbbench_bare EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/bench/BareExtract.cpp)
set_target_properties(ynbbench_bare PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
include(${CMAKE_SOURCE_DIR}/bench/InstallBench.cmake)
