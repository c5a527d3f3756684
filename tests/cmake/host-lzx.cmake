# The LZX encoder, built with sanitizers, against libmspack's decoder.
find_package(PkgConfig REQUIRED)
pkg_check_modules(MSPACK REQUIRED IMPORTED_TARGET libmspack)
add_executable(ynbtest_lzx ${CMAKE_CURRENT_SOURCE_DIR}/tools/LzxEncoderTest.cpp ${YNB_LZX_SOURCES})
target_include_directories(ynbtest_lzx PRIVATE ${CMAKE_SOURCE_DIR}/tools/ynbpack)
target_link_libraries(ynbtest_lzx PRIVATE ynbcore_san GTest::gtest_main PkgConfig::MSPACK)
add_test(NAME lzx COMMAND ynbtest_lzx)
set_tests_properties(lzx PROPERTIES TIMEOUT 900)

# ynbpack's --compression, checked against cabextract.
add_test(NAME ynbpack.lzx
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/scripts/ynbpack-lzx.sh $<TARGET_FILE:ynbpack> ${CMAKE_SOURCE_DIR})

# The resource writer and the version resource, built with sanitizers.
add_executable(ynbtest_pe ${CMAKE_CURRENT_SOURCE_DIR}/tools/PeResourcesTest.cpp ${YNB_TOOL_SOURCES})
target_include_directories(ynbtest_pe PRIVATE ${CMAKE_SOURCE_DIR}/tools/ynbpack)
target_link_libraries(ynbtest_pe PRIVATE ynbcore_san GTest::gtest_main)
add_test(NAME pe COMMAND ynbtest_pe)

# ynbpack's Shift-JIS table.
add_executable(ynbtest_shiftjis ${CMAKE_CURRENT_SOURCE_DIR}/tools/ShiftJisTest.cpp ${YNB_SHIFTJIS_SOURCES})
target_include_directories(ynbtest_shiftjis PRIVATE ${CMAKE_SOURCE_DIR}/tools/ynbpack)
target_link_libraries(ynbtest_shiftjis PRIVATE ynbcore_san GTest::gtest_main)
add_test(NAME shiftjis COMMAND ynbtest_shiftjis)

# ynbpack's deflate encoder against zlib's inflate.
find_package(ZLIB REQUIRED)
add_executable(ynbtest_deflate ${CMAKE_CURRENT_SOURCE_DIR}/tools/DeflateTest.cpp ${YNB_LZX_SOURCES})
target_include_directories(ynbtest_deflate PRIVATE ${CMAKE_SOURCE_DIR}/tools/ynbpack)
target_link_libraries(ynbtest_deflate PRIVATE ynbcore_san GTest::gtest_main ZLIB::ZLIB)
add_test(NAME deflate COMMAND ynbtest_deflate)
