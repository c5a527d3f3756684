# The prebuilt programs: the demo product made into them by ynbpack alone,
# read by Windows (a probe under Wine) and by llvm-readobj, and installed
# under Wine exactly as the distribution of the programs `make` compiles for
# it. In the installations' Wine root, one test at a time.
add_executable(ynbprobe_resources ${CMAKE_CURRENT_SOURCE_DIR}/win-tools/ResourceProbe.cpp)
target_link_options(ynbprobe_resources PRIVATE -municode)
target_link_libraries(ynbprobe_resources PRIVATE version shell32)
if(TARGET kakeibo)
    ynb_wine_test(win.stubs bash ${CMAKE_CURRENT_SOURCE_DIR}/scripts/stubs.sh ${CMAKE_CROSSCOMPILING_EMULATOR}
        ${YNBPACK} ${PRODUCT_DIR} ${CMAKE_BINARY_DIR} ${YNB_ARCH} $<TARGET_FILE:ynbprobe_resources>)
    set_tests_properties(win.stubs PROPERTIES
        ENVIRONMENT "YNB_WINE_ROOT=${CMAKE_BINARY_DIR}/../wine-install"
        RESOURCE_LOCK wine-install)
endif()
