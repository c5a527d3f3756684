# Native build: the portable core, the ynbpack tool, unit tests and benchmarks.
find_package(GTest REQUIRED)
find_package(benchmark REQUIRED)

add_library(ynbcore STATIC ${YNB_CORE_SOURCES})
target_include_directories(ynbcore PUBLIC ${CMAKE_SOURCE_DIR}/src)

# The same core with sanitizers, for the unit tests.
set(YNB_SANITIZE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
add_library(ynbcore_san STATIC ${YNB_CORE_SOURCES})
target_include_directories(ynbcore_san PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_compile_options(ynbcore_san PUBLIC ${YNB_SANITIZE})
target_link_options(ynbcore_san PUBLIC ${YNB_SANITIZE})

add_subdirectory(tools/ynbpack)
add_subdirectory(tests)
add_subdirectory(bench)
