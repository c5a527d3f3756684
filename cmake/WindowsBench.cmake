# Benchmarks of the Windows build, run under Wine by `make bench`.
add_executable(ynbbench_payload ${CMAKE_SOURCE_DIR}/bench/PayloadBench.cpp)
target_link_libraries(ynbbench_payload PRIVATE ynbwin)
set_target_properties(ynbbench_payload PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
include(${CMAKE_SOURCE_DIR}/bench/InstallBench.cmake)
