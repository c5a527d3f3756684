# ynbpack manifest and build, on the command line.
add_test(NAME ynbpack.product
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/scripts/ynbpack-product.sh $<TARGET_FILE:ynbpack> ${CMAKE_SOURCE_DIR})
