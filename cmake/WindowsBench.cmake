# Benchmarks of the Windows build, run under Wine by `make bench`: the
# installation against NSIS and against a bare extraction on one thread.
add_executable(ynbbench_bare ${CMAKE_SOURCE_DIR}/bench/BareExtract.cpp)
set_target_properties(ynbbench_bare PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
include(${CMAKE_SOURCE_DIR}/bench/InstallBench.cmake)
