# Extraction tests under Wine: fixtures made at build time with the host's
# ynbpack and Debian's gcab; the DLL-planting defence.
set(YNB_PACKAGE_FIXTURES ${CMAKE_BINARY_DIR}/fixtures/package)
add_custom_command(
    OUTPUT ${YNB_PACKAGE_FIXTURES}/expected.txt
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/scripts/make-package-fixtures.sh ${YNBPACK} ${PRODUCT_DIR}/keys.txt
            ${YNB_PACKAGE_FIXTURES}
    DEPENDS ${YNBPACK} ${PRODUCT_DIR}/keys.txt ${CMAKE_CURRENT_SOURCE_DIR}/scripts/make-package-fixtures.sh
    COMMENT "Making the payload and cabinet fixtures"
    VERBATIM)
add_custom_target(package_fixtures ALL DEPENDS ${YNB_PACKAGE_FIXTURES}/expected.txt)
# The fixtures record their times in UTC as local time.
set_property(TEST win.ExtractorTest APPEND PROPERTY ENVIRONMENT "YNB_PACKAGE_FIXTURES=${YNB_PACKAGE_FIXTURES}" "TZ=UTC")
add_dependencies(ynbtest_ExtractorTest package_fixtures)

# A planted cabinet.dll and a probe beside it, in a folder of their own.
set(YNB_PLANTED_DIR ${CMAKE_BINARY_DIR}/planted)
add_library(planted_cabinet SHARED ${CMAKE_CURRENT_SOURCE_DIR}/win-tools/PlantedCabinet.cpp)
set_target_properties(planted_cabinet PROPERTIES PREFIX "" OUTPUT_NAME cabinet
    RUNTIME_OUTPUT_DIRECTORY ${YNB_PLANTED_DIR})
add_executable(ynbprobe_dllsearch ${CMAKE_CURRENT_SOURCE_DIR}/win-tools/DllSearchProbe.cpp)
target_link_libraries(ynbprobe_dllsearch PRIVATE ynbwin)
set_target_properties(ynbprobe_dllsearch PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${YNB_PLANTED_DIR})
add_dependencies(ynbprobe_dllsearch planted_cabinet package_fixtures)
ynb_wine_test(win.DllSearch bash ${CMAKE_CURRENT_SOURCE_DIR}/scripts/dll-search.sh
    ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh $<TARGET_FILE:ynbprobe_dllsearch> ${YNB_PACKAGE_FIXTURES}/ynbpack.dat)

# The payload stamp read by a probe linked like setup.exe, stamped by the
# host's ynbpack.
add_executable(ynbprobe_stamp ${CMAKE_CURRENT_SOURCE_DIR}/win-tools/StampProbe.cpp)
target_link_libraries(ynbprobe_stamp PRIVATE ynbcore)
target_compile_options(ynbprobe_stamp PRIVATE -Os)
target_link_options(ynbprobe_stamp PRIVATE -s)
ynb_wine_test(win.PayloadStamp bash ${CMAKE_CURRENT_SOURCE_DIR}/scripts/payload-stamp.sh
    ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh ${YNBPACK} $<TARGET_FILE:ynbprobe_stamp>)

# A volume that fills during the extraction: a small tmpfs linked as a drive.
ynb_wine_test(win.extract.full-disk bash ${CMAKE_CURRENT_SOURCE_DIR}/scripts/full-disk.sh
    ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:ynbtest_ExtractorTest> --gtest_filter=Extraction.NamesAFullDiskAsSuch)
set_property(TEST win.extract.full-disk APPEND PROPERTY ENVIRONMENT "YNB_PACKAGE_FIXTURES=${YNB_PACKAGE_FIXTURES}" "TZ=UTC")
