# The installation benchmark of `make bench` (bench/install-bench.sh): a
# setup.exe with the benchmark product's configuration compiled in, and the
# program that drives it against the NSIS reference under Wine.
set(YNB_BENCH_PRODUCT ${CMAKE_SOURCE_DIR}/bench/product)
set(YNB_BENCH_PRODUCT_SOURCE ${CMAKE_BINARY_DIR}/generated/BenchProductData.cpp)
ynb_embed_inputs(YNB_BENCH_EMBED_INPUTS ${YNB_BENCH_PRODUCT})
add_custom_command(
    OUTPUT ${YNB_BENCH_PRODUCT_SOURCE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated
    COMMAND ${YNBPACK} embed ${YNB_BENCH_PRODUCT} ${YNB_BENCH_PRODUCT_SOURCE}
    DEPENDS ${YNBPACK} ${YNB_BENCH_EMBED_INPUTS}
    VERBATIM)
# Its own product data comes first, so the linker takes nothing from ynbproduct.
add_executable(setup_bench WIN32 EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/src/app/Main.cpp ${YNB_BENCH_PRODUCT_SOURCE} ${YNB_RESOURCES})
target_include_directories(setup_bench PRIVATE ${YNB_ART_INCLUDE} ${CMAKE_SOURCE_DIR}/src/app)
target_link_libraries(setup_bench PRIVATE ynbwin)
target_compile_options(setup_bench PRIVATE -Os)
target_link_options(setup_bench PRIVATE -s)

add_executable(ynbbench_install EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/bench/InstallBench.cpp)
# The test driver it shares includes the engine's headers.
target_include_directories(ynbbench_install PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(ynbbench_install PRIVATE shell32 advapi32 user32 gdi32 psapi)
set_target_properties(setup_bench ynbbench_install PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
