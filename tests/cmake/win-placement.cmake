# Where the engine places every kind of manifest entry, against golden data
# (tests/products/placement/expected.txt): two payloads of the demo product's
# folder and keys, installed by the engine alone in a Wine root of its own
# with drive D: mapped (the entries write to C:\, D:\, the desktop, the
# documents and the Windows folder).
set(YNB_PLACEMENT_FIXTURE ${CMAKE_SOURCE_DIR}/tests/products/placement)
set(YNB_PLACEMENT_DIST ${CMAKE_BINARY_DIR}/fixtures/placement-dist)
set(YNB_PLACEMENT_DIRECT_DIST ${CMAKE_BINARY_DIR}/fixtures/placement-direct-dist)
set(YNB_PLACEMENT_SCRIPT ${CMAKE_SOURCE_DIR}/tests/scripts/placement-dist.sh)
file(GLOB_RECURSE YNB_PLACEMENT_FILES CONFIGURE_DEPENDS ${YNB_PLACEMENT_FIXTURE}/payload/*)
# The one tree with either manifest: every kind of entry, or only those that
# name a payload file and a target outside the staging folder.
function(ynb_placement_payload dist manifest)
    add_custom_command(
        OUTPUT ${dist}/data00.dat
        COMMAND bash ${YNB_PLACEMENT_SCRIPT} ${YNBPACK} ${YNB_PLACEMENT_FIXTURE} ${PRODUCT_DIR}/keys.txt
            ${dist}/data00.dat --manifest ${manifest} --readonly Hanamaru/ins/ro.txt
        DEPENDS ${YNBPACK} ${YNB_PLACEMENT_SCRIPT} ${YNB_PLACEMENT_FILES} ${manifest} ${PRODUCT_DIR}/keys.txt
        COMMENT "Building the placement test's payload of ${manifest}"
        VERBATIM)
endfunction()
ynb_placement_payload(${YNB_PLACEMENT_DIST} ${YNB_PLACEMENT_FIXTURE}/manifest.txt)
ynb_placement_payload(${YNB_PLACEMENT_DIRECT_DIST} ${YNB_PLACEMENT_FIXTURE}/manifest-direct.txt)
add_custom_target(placement_dist ALL DEPENDS ${YNB_PLACEMENT_DIST}/data00.dat ${YNB_PLACEMENT_DIRECT_DIST}/data00.dat)

add_dependencies(ynbtest_PlacementTest placement_dist)
# The engine links the product's record and keys: the fixture is the demo's.
get_filename_component(YNB_PLACEMENT_PRODUCT ${PRODUCT_DIR} REALPATH)
get_filename_component(YNB_PLACEMENT_DEMO ${CMAKE_SOURCE_DIR}/product/demo REALPATH)
if(YNB_PLACEMENT_PRODUCT STREQUAL YNB_PLACEMENT_DEMO)
    target_compile_definitions(ynbtest_PlacementTest PRIVATE
        YNB_PLACEMENT_DIST="${YNB_PLACEMENT_DIST}"
        YNB_PLACEMENT_DIRECT_DIST="${YNB_PLACEMENT_DIRECT_DIST}"
        YNB_PLACEMENT_EXPECTED="${YNB_PLACEMENT_FIXTURE}/expected.txt")
endif()

set(root ${CMAKE_BINARY_DIR}/../wine-placement)
add_test(NAME win.placement.prefix
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/scripts/cases-prefix.sh ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh)
set_tests_properties(win.placement.prefix PROPERTIES
    FIXTURES_SETUP placement_prefix
    SKIP_RETURN_CODE 77
    ENVIRONMENT "YNB_WINE_ROOT=${root}"
    RESOURCE_LOCK wine-placement
    TIMEOUT 600)
set_tests_properties(win.PlacementTest PROPERTIES
    FIXTURES_REQUIRED placement_prefix
    ENVIRONMENT "YNB_WINE_ROOT=${root}"
    RESOURCE_LOCK wine-placement)
