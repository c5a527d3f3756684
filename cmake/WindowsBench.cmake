# Benchmarks of the Windows build, built and run under Wine by `make bench`
# only: the silent installations against NSIS and against the floor program.
add_executable(ynbbench_floor EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/bench/Floor.cpp)
target_link_options(ynbbench_floor PRIVATE -municode)
target_link_libraries(ynbbench_floor PRIVATE shell32)
set_target_properties(ynbbench_floor PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
include(${CMAKE_SOURCE_DIR}/bench/InstallBench.cmake)
