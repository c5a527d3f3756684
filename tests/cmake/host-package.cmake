# ynbpack's cabinet and payload commands, checked against cabextract.
add_test(NAME ynbpack.payload
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/scripts/ynbpack-payload.sh $<TARGET_FILE:ynbpack>)
