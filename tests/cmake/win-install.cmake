# The installation from end to end: the demo product's distribution made with
# the host's ynbpack, installed by setup.exe in a Wine root of its own (the
# installation writes to the desktop, the documents and the Start menu).
if(TARGET ynbtest_InstallTest AND TARGET ynbtest_UninstallTest AND TARGET kakeibo)
    set(YNB_INSTALL_DIST ${CMAKE_BINARY_DIR}/fixtures/install-dist)
    file(GLOB_RECURSE YNB_PRODUCT_FILES CONFIGURE_DEPENDS ${PRODUCT_DIR}/payload/* ${PRODUCT_DIR}/manifest.txt
        ${PRODUCT_DIR}/setup.txt ${PRODUCT_DIR}/license.txt ${PRODUCT_DIR}/setup.cfg ${PRODUCT_DIR}/keys.txt)
    add_custom_command(
        OUTPUT ${YNB_INSTALL_DIST}/data00.dat
        COMMAND ${YNBPACK} build --no-setup ${PRODUCT_DIR} ${YNB_INSTALL_DIST} --tree ${CMAKE_BINARY_DIR}/payload
            --uninstaller $<TARGET_FILE:uninstall_seams>
        DEPENDS ${YNBPACK} kakeibo uninstall_seams ${YNB_PRODUCT_FILES}
        COMMENT "Building the distribution of the demo product for the installation test"
        VERBATIM)
    add_custom_target(install_dist ALL DEPENDS ${YNB_INSTALL_DIST}/data00.dat)
    # The uninstallation test installs the same distribution first; each has
    # a Wine root of its own, so that they run side by side and the
    # uninstallation test sees no other program's files come and go.
    foreach(test InstallTest UninstallTest EngineTest CutTest)
        add_dependencies(ynbtest_${test} setup_seams uninstall_seams setup uninstall install_dist)
        target_compile_definitions(ynbtest_${test} PRIVATE
            YNB_SETUP_EXE="$<TARGET_FILE:setup_seams>"
            YNB_UNINSTALL_EXE="$<TARGET_FILE:uninstall_seams>"
            YNB_SHIPPED_SETUP_EXE="$<TARGET_FILE:setup>"
            YNB_INSTALL_DIST="${YNB_INSTALL_DIST}"
            YNB_PRODUCT_PAYLOAD="${PRODUCT_DIR}/payload"
            YNB_BUILT_PAYLOAD="${CMAKE_BINARY_DIR}/payload")
    endforeach()
    target_compile_definitions(ynbtest_UninstallTest PRIVATE YNB_ARTIFACTS="${CMAKE_BINARY_DIR}/artifacts")
    target_compile_definitions(ynbtest_InstallTest PRIVATE YNB_ARTIFACTS="${CMAKE_BINARY_DIR}/artifacts")
    target_compile_definitions(ynbtest_CutTest PRIVATE YNB_ARTIFACTS="${CMAKE_BINARY_DIR}/artifacts")
    # An earlier version of the demo product for the engine's upgrade: other
    # files, placed by a manifest of its own (tests/products/upgrade).
    set(YNB_UPGRADE_DIST ${CMAKE_BINARY_DIR}/fixtures/upgrade-dist)
    file(GLOB_RECURSE YNB_UPGRADE_FILES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/products/upgrade/*)
    add_custom_command(
        OUTPUT ${YNB_UPGRADE_DIST}/data00.dat
        COMMAND bash ${CMAKE_SOURCE_DIR}/tests/scripts/placement-dist.sh ${YNBPACK}
            ${CMAKE_SOURCE_DIR}/tests/products/upgrade ${PRODUCT_DIR}/keys.txt ${YNB_UPGRADE_DIST}/data00.dat
        DEPENDS ${YNBPACK} ${CMAKE_SOURCE_DIR}/tests/scripts/placement-dist.sh ${YNB_UPGRADE_FILES}
            ${PRODUCT_DIR}/keys.txt
        COMMENT "Building an earlier version's payload for the engine's upgrade test"
        VERBATIM)
    add_custom_target(upgrade_dist ALL DEPENDS ${YNB_UPGRADE_DIST}/data00.dat)
    foreach(test EngineTest CutTest)
        add_dependencies(ynbtest_${test} upgrade_dist)
        target_compile_definitions(ynbtest_${test} PRIVATE YNB_UPGRADE_DIST="${YNB_UPGRADE_DIST}")
    endforeach()
    # Runs cut off at their changes, and their recovery, in a Wine root of
    # their own beside the others.
    set_tests_properties(win.CutTest PROPERTIES ENVIRONMENT "YNB_WINE_ROOT=${CMAKE_BINARY_DIR}/../wine-cut")
    ynb_wine_test(win.install.protection
        bash ${CMAKE_CURRENT_SOURCE_DIR}/scripts/install-protection.sh ${CMAKE_CROSSCOMPILING_EMULATOR}
        $<TARGET_FILE:ynbtest_InstallTest>)
    # A volume with too little space for a silent installation (a small tmpfs
    # linked as a drive).
    ynb_wine_test(win.install.full-disk
        bash ${CMAKE_CURRENT_SOURCE_DIR}/scripts/full-disk.sh ${CMAKE_CROSSCOMPILING_EMULATOR}
        $<TARGET_FILE:ynbtest_InstallTest> --gtest_filter=Install.SilentlyRefusesAVolumeWithTooLittleSpace)
    ynb_wine_test(win.uninstall.links
        bash ${CMAKE_CURRENT_SOURCE_DIR}/scripts/uninstall-links.sh ${CMAKE_CROSSCOMPILING_EMULATOR}
        $<TARGET_FILE:ynbtest_UninstallTest>)
    # The installations share one Wine root (the engine's test installs the
    # same product), the uninstallations another; each root one test at a time.
    set_tests_properties(win.InstallTest win.EngineTest win.install.protection win.install.full-disk PROPERTIES
        ENVIRONMENT "YNB_WINE_ROOT=${CMAKE_BINARY_DIR}/../wine-install"
        RESOURCE_LOCK wine-install)
    set_tests_properties(win.UninstallTest win.uninstall.links PROPERTIES
        ENVIRONMENT "YNB_WINE_ROOT=${CMAKE_BINARY_DIR}/../wine-uninstall"
        RESOURCE_LOCK wine-uninstall)
    set_tests_properties(win.UninstallTest PROPERTIES FIXTURES_REQUIRED ui_shots)
endif()
