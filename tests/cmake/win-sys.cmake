# System services: tests that need the host around the Windows program.
ynb_wine_test(sys.links
    bash ${CMAKE_CURRENT_SOURCE_DIR}/scripts/sys-links.sh ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:ynbtest_FileTest>)
ynb_wine_test(sys.shortcut-lnkinfo
    bash ${CMAKE_CURRENT_SOURCE_DIR}/scripts/sys-shortcut.sh ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:ynbtest_ShortcutTest>)
ynb_wine_test(sys.registry-reg-query
    bash ${CMAKE_CURRENT_SOURCE_DIR}/scripts/sys-registry.sh ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:ynbtest_RegistTest>)
ynb_wine_test(sys.security-host-modes
    bash ${CMAKE_CURRENT_SOURCE_DIR}/scripts/sys-security.sh ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:ynbtest_FileSecurityTest>)
