# The LZX encoder, built with sanitizers, against libmspack's decoder.
find_package(PkgConfig REQUIRED)
pkg_check_modules(MSPACK REQUIRED IMPORTED_TARGET libmspack)
# And the deflate encoder, against zlib's inflate.
find_package(ZLIB REQUIRED)
add_executable(ynbtest_lzx ${CMAKE_CURRENT_SOURCE_DIR}/tools/LzxEncoderTest.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/tools/DeflateTest.cpp ${YNB_LZX_SOURCES})
target_include_directories(ynbtest_lzx PRIVATE ${CMAKE_SOURCE_DIR}/tools/ynbpack)
target_link_libraries(ynbtest_lzx PRIVATE ynbcore_san GTest::gtest_main PkgConfig::MSPACK ZLIB::ZLIB)
add_test(NAME lzx COMMAND ynbtest_lzx)
set_tests_properties(lzx PROPERTIES TIMEOUT 900)

# ynbpack's --compression, checked against cabextract.
add_test(NAME ynbpack.lzx
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/scripts/ynbpack-lzx.sh $<TARGET_FILE:ynbpack> ${CMAKE_SOURCE_DIR})

# ynbpack's resource writer, version resource and Shift-JIS table, built with
# sanitizers.
add_executable(ynbtest_tools ${CMAKE_CURRENT_SOURCE_DIR}/tools/PeResourcesTest.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/tools/ShiftJisTest.cpp ${YNB_TOOL_SOURCES} ${YNB_SHIFTJIS_SOURCES})
target_include_directories(ynbtest_tools PRIVATE ${CMAKE_SOURCE_DIR}/tools/ynbpack)
target_link_libraries(ynbtest_tools PRIVATE ynbcore_san GTest::gtest_main)
add_test(NAME tools COMMAND ynbtest_tools)
