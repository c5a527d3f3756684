# The installation from end to end: the demo product's distribution made with
# the host's ynbpack, installed by setup.exe in a Wine root of its own (the
# installation writes to the desktop, the documents and the Start menu).
if(TARGET ynbtest_InstallTest AND TARGET kakeibo)
    set(YNB_INSTALL_DIST ${CMAKE_BINARY_DIR}/fixtures/install-dist)
    file(GLOB_RECURSE YNB_PRODUCT_FILES CONFIGURE_DEPENDS ${PRODUCT_DIR}/payload/* ${PRODUCT_DIR}/manifest.txt
        ${PRODUCT_DIR}/setup.txt ${PRODUCT_DIR}/license.txt ${PRODUCT_DIR}/setup.cfg ${PRODUCT_DIR}/keys.txt)
    add_custom_command(
        OUTPUT ${YNB_INSTALL_DIST}/data00.dat
        COMMAND ${YNBPACK} build ${PRODUCT_DIR} ${YNB_INSTALL_DIST} --tree ${CMAKE_BINARY_DIR}/payload
        DEPENDS ${YNBPACK} kakeibo ${YNB_PRODUCT_FILES}
        COMMENT "Building the distribution of the demo product for the installation test"
        VERBATIM)
    add_custom_target(install_dist ALL DEPENDS ${YNB_INSTALL_DIST}/data00.dat)
    add_dependencies(ynbtest_InstallTest setup install_dist)
    target_compile_definitions(ynbtest_InstallTest PRIVATE
        YNB_SETUP_EXE="$<TARGET_FILE:setup>"
        YNB_INSTALL_DIST="${YNB_INSTALL_DIST}"
        YNB_PRODUCT_PAYLOAD="${PRODUCT_DIR}/payload"
        YNB_BUILT_PAYLOAD="${CMAKE_BINARY_DIR}/payload")
    set_tests_properties(win.InstallTest PROPERTIES
        ENVIRONMENT "YNB_WINE_ROOT=${CMAKE_BINARY_DIR}/../wine-install")
endif()
