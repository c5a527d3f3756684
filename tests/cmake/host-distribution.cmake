# The package manager's manifests from ynbpack winget, validated against the
# schemas of their format kept in tests/data with Debian's python3-jsonschema
# and python3-yaml, and read back field by field.
set(YNB_PYTHON /usr/bin/python3 CACHE FILEPATH "Debian's Python 3, with python3-jsonschema and python3-yaml")
set(YNB_WINGET_SCHEMAS ${CMAKE_CURRENT_SOURCE_DIR}/data/winget-schemas CACHE PATH
    "The package manager's manifest schemas, format 1.28.0")
add_test(NAME ynbpack.winget
    COMMAND ${YNB_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/scripts/ynbpack-winget.py $<TARGET_FILE:ynbpack>
        ${CMAKE_SOURCE_DIR} ${YNB_WINGET_SCHEMAS})
