# Windows build (MinGW-w64): setup.exe and the Windows test programs, linked
# statically so that they need no DLL beyond the system's own.
set(YNBPACK "" CACHE FILEPATH "The host build's ynbpack, which generates the product data")
if(NOT YNBPACK OR NOT EXISTS "${YNBPACK}")
    message(FATAL_ERROR "YNBPACK must name the host build's ynbpack (build the host preset first)")
endif()

# The architecture by ynbpack's name for it.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(YNB_ARCH x64)
else()
    set(YNB_ARCH x86)
endif()

add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601 STRICT)
add_link_options(-static)
# Size: every function and datum in its own section, unused ones dropped.
add_compile_options(-ffunction-sections -fdata-sections)
add_link_options(-Wl,--gc-sections)

add_library(ynbcore STATIC ${YNB_CORE_SOURCES})
target_include_directories(ynbcore PUBLIC ${CMAKE_SOURCE_DIR}/src)

# What `ynbpack embed` compiles of a product folder: setup.cfg, keys.txt and,
# when the product has one, product.txt.
function(ynb_embed_inputs out product)
    set(inputs ${product}/setup.cfg ${product}/keys.txt)
    if(EXISTS ${product}/product.txt)
        list(APPEND inputs ${product}/product.txt)
    endif()
    set(${out} ${inputs} PARENT_SCOPE)
endfunction()

# The product data area: configuration text scrambled with the configuration
# key, the three keys and the uninstall entry's texts; and the programs'
# version resources; regenerated when the product folder changes.
set(YNB_PRODUCT_SOURCE ${CMAKE_BINARY_DIR}/generated/ProductData.cpp)
set(YNB_VERSION_DIR ${CMAKE_BINARY_DIR}/generated/version)
ynb_embed_inputs(YNB_PRODUCT_INPUTS ${PRODUCT_DIR})
add_custom_command(
    OUTPUT ${YNB_PRODUCT_SOURCE} ${YNB_VERSION_DIR}/setup.version ${YNB_VERSION_DIR}/uninstall.version
    COMMAND ${CMAKE_COMMAND} -E make_directory ${YNB_VERSION_DIR}
    COMMAND ${YNBPACK} embed ${PRODUCT_DIR} ${YNB_PRODUCT_SOURCE} ${YNB_VERSION_DIR}
    DEPENDS ${YNBPACK} ${YNB_PRODUCT_INPUTS}
    COMMENT "Embedding the product data of ${PRODUCT_DIR}"
    VERBATIM)
add_library(ynbproduct STATIC ${YNB_PRODUCT_SOURCE})
target_link_libraries(ynbproduct PUBLIC ynbcore)

# The installation engine and the services below it (configuration, payload,
# system), which know no window; then the windows on top of it. Everything but
# the entries, so that the Windows tests link the same code.
file(GLOB YNB_ENGINE_SOURCES CONFIGURE_DEPENDS
    ${CMAKE_SOURCE_DIR}/src/config/*.cpp
    ${CMAKE_SOURCE_DIR}/src/install/*.cpp
    ${CMAKE_SOURCE_DIR}/src/package/*.cpp
    ${CMAKE_SOURCE_DIR}/src/sys/*.cpp)
# The prebuilt programs' empty product data goes into them alone.
list(REMOVE_ITEM YNB_ENGINE_SOURCES ${YNB_CORE_SOURCES} ${CMAKE_SOURCE_DIR}/src/config/ProductStub.cpp)
add_library(ynbengine STATIC ${YNB_ENGINE_SOURCES})
target_link_libraries(ynbengine PUBLIC ynbproduct ynbcore)
target_compile_options(ynbengine PUBLIC -Os)
target_link_libraries(ynbengine PUBLIC ole32 uuid shell32 user32 advapi32 kernel32)

file(GLOB YNB_WIN_SOURCES CONFIGURE_DEPENDS
    ${CMAKE_SOURCE_DIR}/src/app/*.cpp
    ${CMAKE_SOURCE_DIR}/src/ui/*.cpp
    ${CMAKE_SOURCE_DIR}/src/wizard/*.cpp)
list(REMOVE_ITEM YNB_WIN_SOURCES ${CMAKE_SOURCE_DIR}/src/app/Main.cpp ${CMAKE_SOURCE_DIR}/src/app/UninstallMain.cpp)
add_library(ynbwin STATIC ${YNB_WIN_SOURCES})
# mpr.dll (the network button) is loaded by its full path, never imported.
target_link_libraries(ynbwin PUBLIC ynbengine comctl32 gdi32 user32)

set(YNB_RESOURCES ${CMAKE_SOURCE_DIR}/src/app/Setup.rc ${CMAKE_SOURCE_DIR}/src/app/Uninstall.rc)
# The pictures and the program icon: each the product's own (its art folder)
# when it has it, else the project's (src/app/art). The resource compiler
# takes them by name from the first folder of the include path that holds
# them, the product's first.
set(YNB_ART_INCLUDE ${PRODUCT_DIR}/art ${CMAKE_SOURCE_DIR}/src/app/art)
set(YNB_ART ${CMAKE_SOURCE_DIR}/src/app/setup.manifest ${CMAKE_SOURCE_DIR}/src/app/Resource.h
    ${CMAKE_SOURCE_DIR}/src/app/Version.rc2)
foreach(picture image1.bmp image2.ico program.ico)
    if(EXISTS ${PRODUCT_DIR}/art/${picture})
        list(APPEND YNB_ART ${PRODUCT_DIR}/art/${picture})
    else()
        list(APPEND YNB_ART ${CMAKE_SOURCE_DIR}/src/app/art/${picture})
    endif()
endforeach()
set_source_files_properties(${YNB_RESOURCES} PROPERTIES OBJECT_DEPENDS "${YNB_ART};${YNB_VERSION_DIR}/setup.version")
add_executable(setup WIN32 ${CMAKE_SOURCE_DIR}/src/app/Main.cpp ${CMAKE_SOURCE_DIR}/src/app/Setup.rc)
# The uninstaller, which the product's payload carries (ynbpack build --uninstaller).
add_executable(uninstall WIN32 ${CMAKE_SOURCE_DIR}/src/app/UninstallMain.cpp ${CMAKE_SOURCE_DIR}/src/app/Uninstall.rc)
# The same two as the tests run them, with the test seams (sys/TestSeam.h):
# seams/setup.exe and seams/uninstall.exe. Their object comes before the
# engine's library on the link line and so takes the place of the shipped
# SeamValue, which gives nothing; make dist takes the programs above.
add_library(ynbseams OBJECT ${CMAKE_SOURCE_DIR}/tests/win-tools/TestSeams.cpp)
target_include_directories(ynbseams PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_compile_options(ynbseams PRIVATE -Os)
add_executable(setup_seams WIN32 ${CMAKE_SOURCE_DIR}/src/app/Main.cpp ${CMAKE_SOURCE_DIR}/src/app/Setup.rc
    $<TARGET_OBJECTS:ynbseams>)
add_executable(uninstall_seams WIN32 ${CMAKE_SOURCE_DIR}/src/app/UninstallMain.cpp
    ${CMAKE_SOURCE_DIR}/src/app/Uninstall.rc $<TARGET_OBJECTS:ynbseams>)
foreach(program setup uninstall)
    target_include_directories(${program} PRIVATE ${YNB_ART_INCLUDE} ${YNB_VERSION_DIR} ${CMAKE_SOURCE_DIR}/src/app)
    target_compile_definitions(${program} PRIVATE YNB_PRODUCT_VERSION)
    target_include_directories(${program}_seams PRIVATE ${YNB_ART_INCLUDE} ${YNB_VERSION_DIR} ${CMAKE_SOURCE_DIR}/src/app)
    target_compile_definitions(${program}_seams PRIVATE YNB_PRODUCT_VERSION)
    set_target_properties(${program}_seams PROPERTIES OUTPUT_NAME ${program}
        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/seams)
endforeach()

# The prebuilt programs (stubs): setup.exe and uninstall.exe that hold no
# product, with the project's pictures and version, in stub/ of the build
# tree; ynbpack build writes a product into them. The stubs' empty product
# data comes first, so the linker takes nothing from ynbproduct.
set(YNB_STUB_DIR ${CMAKE_BINARY_DIR}/stub)
add_executable(setup_stub WIN32 ${CMAKE_SOURCE_DIR}/src/app/Main.cpp ${CMAKE_SOURCE_DIR}/src/config/ProductStub.cpp
    ${CMAKE_SOURCE_DIR}/src/app/Setup.rc)
add_executable(uninstall_stub WIN32 ${CMAKE_SOURCE_DIR}/src/app/UninstallMain.cpp
    ${CMAKE_SOURCE_DIR}/src/config/ProductStub.cpp ${CMAKE_SOURCE_DIR}/src/app/Uninstall.rc)
foreach(program setup uninstall)
    target_include_directories(${program}_stub PRIVATE ${CMAKE_SOURCE_DIR}/src/app/art ${CMAKE_SOURCE_DIR}/src/app)
    set_target_properties(${program}_stub PROPERTIES OUTPUT_NAME ${program} RUNTIME_OUTPUT_DIRECTORY ${YNB_STUB_DIR})
endforeach()

foreach(program setup uninstall setup_stub uninstall_stub setup_seams uninstall_seams)
    target_link_libraries(${program} PRIVATE ynbwin)
    target_compile_options(${program} PRIVATE -Os)
    target_link_options(${program} PRIVATE -s)
    add_custom_command(TARGET ${program} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -DFILE=$<TARGET_FILE:${program}> -P ${CMAKE_SOURCE_DIR}/cmake/PrintSize.cmake
        VERBATIM)
endforeach()

# GoogleTest for Windows, from the sources the machine ships.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

# ynbpack for Windows, the same tool as the host's, for 64-bit Windows (which
# runs it on x64 and, through its emulation, on Arm64).
if(YNB_ARCH STREQUAL "x64")
    add_subdirectory(${CMAKE_SOURCE_DIR}/tools/ynbpack ${CMAKE_BINARY_DIR}/tools/ynbpack)
endif()

include(${CMAKE_CURRENT_LIST_DIR}/ProductProgram.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/WindowsBench.cmake)

add_subdirectory(tests)
