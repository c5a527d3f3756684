# The distribution side of the 64-bit build, on the host (no Wine): the
# signing of `make dist` with a throw-away CA, and the project's pictures
# where the product brings none.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    add_test(NAME dist.signing
        COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/scripts/dist-signing.sh ${YNBPACK} ${PRODUCT_DIR}
            ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
    set_tests_properties(dist.signing PROPERTIES TIMEOUT 600)
    add_test(NAME dist.art-defaults
        COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/scripts/art-defaults.sh ${CMAKE_RC_COMPILER} ${CMAKE_SOURCE_DIR}
            ${PRODUCT_DIR} $<TARGET_FILE:setup> $<TARGET_FILE:uninstall>)
endif()
