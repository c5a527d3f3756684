# ynbpack's portable parts under Wine: the Shift-JIS table against Windows'
# own code page 932 (64-bit, which the hosts run).
set(YNB_TOOL_DIR ${CMAKE_SOURCE_DIR}/tools/ynbpack)
if(YNB_ARCH STREQUAL "x64")
    add_executable(ynbtest_shiftjis ${CMAKE_CURRENT_SOURCE_DIR}/tools/ShiftJisTest.cpp ${YNB_TOOL_DIR}/ShiftJis.cpp
        ${YNB_TOOL_DIR}/ShiftJisTable.cpp ${YNB_TOOL_DIR}/Unicode.cpp)
    target_include_directories(ynbtest_shiftjis PRIVATE ${YNB_TOOL_DIR})
    target_link_libraries(ynbtest_shiftjis PRIVATE gtest_main)
    ynb_wine_test(win.shiftjis ynbtest_shiftjis)
endif()

# ynbpack.exe gives the host's ynbpack's bytes.
if(TARGET ynbpack AND TARGET kakeibo)
    ynb_wine_test(win.ynbpack-exe bash ${CMAKE_CURRENT_SOURCE_DIR}/scripts/ynbpack-windows.sh
        ${CMAKE_CROSSCOMPILING_EMULATOR} ${YNBPACK} $<TARGET_FILE:ynbpack> ${PRODUCT_DIR} ${CMAKE_BINARY_DIR})
    add_dependencies(ynbpack setup_stub uninstall_stub)
endif()
