# Window tests: the wizard and its dialogs driven from a separate program.

# A second setup.exe whose product has an empty name.
set(YNB_NONAME_PRODUCT ${CMAKE_SOURCE_DIR}/tests/products/noname)
set(YNB_NONAME_SOURCE ${CMAKE_BINARY_DIR}/generated/NonameProductData.cpp)
ynb_embed_inputs(YNB_NONAME_EMBED_INPUTS ${YNB_NONAME_PRODUCT})
add_custom_command(
    OUTPUT ${YNB_NONAME_SOURCE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated
    COMMAND ${YNBPACK} embed ${YNB_NONAME_PRODUCT} ${YNB_NONAME_SOURCE}
    DEPENDS ${YNBPACK} ${YNB_NONAME_EMBED_INPUTS}
    VERBATIM)
# Its own product data comes first, so the linker takes nothing from ynbproduct.
add_executable(setup_noname WIN32 ${CMAKE_SOURCE_DIR}/src/app/Main.cpp ${YNB_NONAME_SOURCE}
    ${CMAKE_SOURCE_DIR}/src/app/Setup.rc)
target_include_directories(setup_noname PRIVATE ${YNB_ART_INCLUDE} ${CMAKE_SOURCE_DIR}/src/app)
target_link_libraries(setup_noname PRIVATE ynbwin)

set(YNB_UI_ARTIFACTS ${CMAKE_BINARY_DIR}/artifacts)
target_compile_definitions(ynbtest_WizardTest PRIVATE
    YNB_SETUP_EXE="$<TARGET_FILE:setup_seams>"
    YNB_SETUP_NONAME_EXE="$<TARGET_FILE:setup_noname>"
    YNB_DOCUMENTS="${PRODUCT_DIR}"
    YNB_ARTIFACTS="${YNB_UI_ARTIFACTS}")
# The product's distribution, for the installation that leads to the
# completion page.
set(YNB_UI_DIST ${CMAKE_BINARY_DIR}/fixtures/ui-dist)
file(GLOB_RECURSE YNB_UI_PRODUCT_FILES CONFIGURE_DEPENDS ${PRODUCT_DIR}/payload/* ${PRODUCT_DIR}/manifest.txt
    ${PRODUCT_DIR}/setup.cfg ${PRODUCT_DIR}/keys.txt)
set(YNB_UI_BUILT)
if(TARGET kakeibo)
    set(YNB_UI_BUILT --tree ${CMAKE_BINARY_DIR}/payload)
endif()
add_custom_command(
    OUTPUT ${YNB_UI_DIST}/data00.dat
    COMMAND ${YNBPACK} build --no-setup ${PRODUCT_DIR} ${YNB_UI_DIST} ${YNB_UI_BUILT}
        --uninstaller $<TARGET_FILE:uninstall_seams>
    DEPENDS ${YNBPACK} uninstall_seams $<$<TARGET_EXISTS:kakeibo>:kakeibo> ${YNB_UI_PRODUCT_FILES}
    VERBATIM)
add_custom_target(ui_dist ALL DEPENDS ${YNB_UI_DIST}/data00.dat)
# The same product as one setup.exe made from the prebuilt programs.
set(YNB_UI_SINGLE ${CMAKE_BINARY_DIR}/fixtures/ui-single)
add_custom_command(
    OUTPUT ${YNB_UI_SINGLE}/setup.exe
    COMMAND ${YNBPACK} build ${PRODUCT_DIR} ${YNB_UI_SINGLE} ${YNB_UI_BUILT} --single-file --arch ${YNB_ARCH}
        --stubs ${YNB_STUB_DIR}
    DEPENDS ${YNBPACK} setup_stub uninstall_stub $<$<TARGET_EXISTS:kakeibo>:kakeibo> ${YNB_UI_PRODUCT_FILES}
    VERBATIM)
add_custom_target(ui_single ALL DEPENDS ${YNB_UI_SINGLE}/setup.exe)
target_compile_definitions(ynbtest_WizardTest PRIVATE YNB_UI_DIST="${YNB_UI_DIST}"
    YNB_SETUP_SINGLE_EXE="${YNB_UI_SINGLE}/setup.exe")
add_dependencies(ynbtest_WizardTest setup_seams setup_noname ui_dist ui_single)

set(YNB_WINE_RUN ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh)
set(YNB_UI_PREFIX ${CMAKE_SOURCE_DIR}/tests/scripts/ui-prefix.sh)

add_test(NAME win.ui.prefix COMMAND bash ${YNB_UI_PREFIX} ${YNB_WINE_RUN} plain)
set_tests_properties(win.ui.prefix PROPERTIES
    FIXTURES_SETUP ui_prefix
    ENVIRONMENT "YNB_WINE_ROOT=${CMAKE_BINARY_DIR}/../wine")
set_tests_properties(win.WizardTest PROPERTIES FIXTURES_REQUIRED "ui_prefix;ui_shots")

# The default folder where "C:\Program Files" is missing: each in a Wine root
# of its own, prepared first.
foreach(mode other-folder no-folder)
    set(root ${CMAKE_BINARY_DIR}/../wine-ui-${mode})
    if(mode STREQUAL other-folder)
        set(expected "C:\\Apps")
    elseif(CMAKE_SIZEOF_VOID_P EQUAL 4)
        # A 32-bit program's shell under Wine names the x86 folder (from the
        # process's environment) even without the registry's values: the
        # folder the shell names is taken. The root is the 64-bit case.
        set(expected "C:\\Program Files (x86)")
    else()
        set(expected "C:\\")
    endif()
    add_test(NAME win.ui.prefix.${mode} COMMAND bash ${YNB_UI_PREFIX} ${YNB_WINE_RUN} ${mode})
    set_tests_properties(win.ui.prefix.${mode} PROPERTIES
        FIXTURES_SETUP ui_prefix_${mode}
        ENVIRONMENT "YNB_WINE_ROOT=${root}"
        TIMEOUT 600)
    add_test(NAME win.ui.DefaultFolder.${mode}
        COMMAND ynbtest_WizardTest --gtest_filter=Wizard.DefaultFolder)
    set_tests_properties(win.ui.DefaultFolder.${mode} PROPERTIES
        FIXTURES_REQUIRED ui_prefix_${mode}
        SKIP_RETURN_CODE 77
        ENVIRONMENT "YNB_WINE_ROOT=${root};YNB_EXPECTED_DEFAULT_FOLDER=${expected}"
        TIMEOUT 600)
endforeach()

# Through the installation to the completion page: in a Wine root of its own,
# since the installation writes to the desktop, the Start menu and HKLM.
set(root ${CMAKE_BINARY_DIR}/../wine-ui-install)
add_test(NAME win.ui.prefix.install COMMAND bash ${YNB_UI_PREFIX} ${YNB_WINE_RUN} plain)
set_tests_properties(win.ui.prefix.install PROPERTIES
    FIXTURES_SETUP ui_prefix_install
    ENVIRONMENT "YNB_WINE_ROOT=${root}"
    TIMEOUT 600)
add_test(NAME win.ui.Completion COMMAND ynbtest_WizardTest --gtest_filter=Completion.*)
set_tests_properties(win.ui.Completion PROPERTIES
    FIXTURES_REQUIRED "ui_prefix_install;ui_shots"
    SKIP_RETURN_CODE 77
    ENVIRONMENT "YNB_WINE_ROOT=${root};YNB_UI_INSTALL=1"
    TIMEOUT 600)

# The screenshots as PNG, after the tests that take them.
add_test(NAME win.ui.screenshots
    COMMAND bash -c "shopt -s nullglob; for f in \"$1\"/*.bmp; do convert \"$f\" \"\${f%.bmp}.png\" && rm \"$f\"; done; ls \"$1\"/*.png >/dev/null"
        convert-shots ${YNB_UI_ARTIFACTS}/screenshots)
set_tests_properties(win.ui.screenshots PROPERTIES FIXTURES_CLEANUP ui_shots)

# The package manager's installer manifest of a single-file setup.exe (the
# wizard test's), validated as the host's winget test validates the zips'.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(YNB_STUB_FOUR ${CMAKE_BINARY_DIR}/fixtures/stub-four)
    add_custom_command(
        OUTPUT ${YNB_STUB_FOUR}/setup.exe
        COMMAND ${YNBPACK} build ${PRODUCT_DIR} ${YNB_STUB_FOUR} ${YNB_UI_BUILT} --arch ${YNB_ARCH} --stubs ${YNB_STUB_DIR}
        DEPENDS ${YNBPACK} setup_stub uninstall_stub $<$<TARGET_EXISTS:kakeibo>:kakeibo> ${YNB_UI_PRODUCT_FILES}
        VERBATIM)
    add_custom_target(stub_four ALL DEPENDS ${YNB_STUB_FOUR}/setup.exe)
    add_test(NAME dist.winget.single-file
        COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/scripts/ynbpack-winget.py ${YNBPACK} ${CMAKE_SOURCE_DIR}
            ${CMAKE_CURRENT_SOURCE_DIR}/data/winget-schemas ${YNB_UI_SINGLE}/setup.exe ${YNB_STUB_FOUR}/setup.exe
            ${YNB_STUB_DIR}/setup.exe)
endif()
