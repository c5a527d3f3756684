# ynbpack stamp: the payload's digest written into a setup program.
add_test(NAME ynbpack.stamp
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/scripts/ynbpack-stamp.sh $<TARGET_FILE:ynbpack>)
