# libFuzzer targets of the portable core, with AddressSanitizer and
# UndefinedBehaviorSanitizer. Needs clang.
set(YNB_FUZZ_FLAGS -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -g -O1)
add_library(ynbcore_fuzz STATIC ${YNB_CORE_SOURCES})
target_include_directories(ynbcore_fuzz PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_compile_options(ynbcore_fuzz PUBLIC -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -g -O1)

function(ynb_fuzz_target name)
    add_executable(${name} ${ARGN})
    target_link_libraries(${name} PRIVATE ynbcore_fuzz)
    target_compile_options(${name} PRIVATE ${YNB_FUZZ_FLAGS})
    target_link_options(${name} PRIVATE ${YNB_FUZZ_FLAGS})
endfunction()

file(GLOB YNB_FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_*.cpp)
foreach(source ${YNB_FUZZ_SOURCES})
    get_filename_component(name ${source} NAME_WE)
    ynb_fuzz_target(${name} ${source})
endforeach()

# The LZX round trip: the encoder against libmspack's decoder.
find_package(PkgConfig REQUIRED)
pkg_check_modules(MSPACK REQUIRED IMPORTED_TARGET libmspack)
target_sources(fuzz_lzx PRIVATE ${CMAKE_SOURCE_DIR}/tools/ynbpack/LzxEncoder.cpp)
target_include_directories(fuzz_lzx PRIVATE ${CMAKE_SOURCE_DIR}/tools/ynbpack ${CMAKE_SOURCE_DIR}/tests/tools)
target_link_libraries(fuzz_lzx PRIVATE PkgConfig::MSPACK)

# ynbpack's reading of programs: their headers, resources and product data.
set(YNB_TOOL ${CMAKE_SOURCE_DIR}/tools/ynbpack)
target_sources(fuzz_pe PRIVATE ${YNB_TOOL}/PeImage.cpp ${YNB_TOOL}/PeResources.cpp ${YNB_TOOL}/Artwork.cpp
    ${YNB_TOOL}/Files.cpp ${YNB_TOOL}/Errors.cpp ${YNB_TOOL}/Host.cpp)
target_include_directories(fuzz_pe PRIVATE ${YNB_TOOL})
