# The product's own programs, when its folder brings any (program/CMakeLists.txt):
# built for Windows into payload/ of the build tree, in the payload's layout,
# for `ynbpack build --tree`.
if(EXISTS ${PRODUCT_DIR}/program/CMakeLists.txt)
    add_subdirectory(${PRODUCT_DIR}/program ${CMAKE_BINARY_DIR}/product)
endif()
