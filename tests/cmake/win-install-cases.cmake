# Installation cases from end to end: folder texts, options, manifests and
# failures, with a product of its own whose folder has two components
# (Cases\Bin), installed in a Wine root of its own (the installation writes to
# C:\ and D:\, the desktop, the documents, the Start menu and HKLM).
set(YNB_CASES_PRODUCT ${CMAKE_SOURCE_DIR}/tests/products/cases)
set(YNB_CASES_SOURCE ${CMAKE_BINARY_DIR}/generated/CasesProductData.cpp)
ynb_embed_inputs(YNB_CASES_EMBED_INPUTS ${YNB_CASES_PRODUCT})
add_custom_command(
    OUTPUT ${YNB_CASES_SOURCE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated
    COMMAND ${YNBPACK} embed ${YNB_CASES_PRODUCT} ${YNB_CASES_SOURCE}
    DEPENDS ${YNBPACK} ${YNB_CASES_EMBED_INPUTS}
    VERBATIM)
# Its own product data comes first, so the linker takes nothing from ynbproduct.
add_executable(setup_cases WIN32 ${CMAKE_SOURCE_DIR}/src/app/Main.cpp ${YNB_CASES_SOURCE} ${YNB_RESOURCES})
target_include_directories(setup_cases PRIVATE ${YNB_ART_INCLUDE} ${CMAKE_SOURCE_DIR}/src/app)
target_link_libraries(setup_cases PRIVATE ynbwin)

# Three distributions for the one program:
#   main     made by ynbpack build --no-setup from the product's manifest.txt
#   empty    a manifest without entries (an empty file)
#   refused  manifests/refused.txt as it stands, and no log folder in the payload
set(YNB_CASES_DIST ${CMAKE_BINARY_DIR}/fixtures/cases-dist)
set(YNB_CASES_SCRIPT ${CMAKE_SOURCE_DIR}/tests/scripts/case-dist.sh)
file(GLOB_RECURSE YNB_CASES_FILES CONFIGURE_DEPENDS ${YNB_CASES_PRODUCT}/*)
add_custom_command(
    OUTPUT ${YNB_CASES_DIST}/main/data00.dat ${YNB_CASES_DIST}/empty/data00.dat ${YNB_CASES_DIST}/refused/data00.dat
    COMMAND ${YNBPACK} build --no-setup ${YNB_CASES_PRODUCT} ${YNB_CASES_DIST}/main
    COMMAND bash ${YNB_CASES_SCRIPT} ${YNBPACK} ${YNB_CASES_PRODUCT} ${YNB_CASES_DIST}/empty /dev/null Cases/ins
    COMMAND bash ${YNB_CASES_SCRIPT} ${YNBPACK} ${YNB_CASES_PRODUCT} ${YNB_CASES_DIST}/refused
        ${YNB_CASES_PRODUCT}/manifests/refused.txt Cases/ins --without Cases/Bin/ynb
    DEPENDS ${YNBPACK} ${YNB_CASES_SCRIPT} ${YNB_CASES_FILES}
    COMMENT "Building the distributions of the installation cases"
    VERBATIM)
add_custom_target(cases_dist ALL DEPENDS ${YNB_CASES_DIST}/main/data00.dat)

file(STRINGS ${YNB_CASES_PRODUCT}/keys.txt YNB_CASES_MANIFEST_KEY REGEX "^manifest=[0-9]+")
string(REGEX REPLACE "^manifest=([0-9]+).*" "\\1" YNB_CASES_MANIFEST_KEY "${YNB_CASES_MANIFEST_KEY}")

add_dependencies(ynbtest_InstallCasesTest setup_cases cases_dist)
target_compile_definitions(ynbtest_InstallCasesTest PRIVATE
    YNB_SETUP_CASES_EXE="$<TARGET_FILE:setup_cases>"
    YNB_CASES_DIST="${YNB_CASES_DIST}"
    YNB_CASES_PAYLOAD="${YNB_CASES_PRODUCT}/payload"
    YNB_CASES_MANIFEST_KEY=${YNB_CASES_MANIFEST_KEY})

set(root ${CMAKE_BINARY_DIR}/../wine-install-cases)
add_test(NAME win.install-cases.prefix
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/scripts/cases-prefix.sh ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh)
set_tests_properties(win.install-cases.prefix PROPERTIES
    FIXTURES_SETUP install_cases_prefix
    SKIP_RETURN_CODE 77
    ENVIRONMENT "YNB_WINE_ROOT=${root}"
    TIMEOUT 600)
set_tests_properties(win.InstallCasesTest PROPERTIES
    FIXTURES_REQUIRED install_cases_prefix
    ENVIRONMENT "YNB_WINE_ROOT=${root}")
