# The portable core (no Win32): built natively for the unit tests, the fuzzers
# and ynbpack, and into the Windows programs. One source a line.
set(YNB_CORE_SOURCES
    src/package/ClsSecurity.cpp
    src/config/SetupText.cpp
    src/config/CommandLine.cpp
    src/package/PayloadBlocks.cpp
    src/sys/NameRules.cpp
    src/sys/CaseFold.cpp
    src/sys/PathWalk.cpp
    src/package/CabinetTable.cpp
    src/package/ExtractSchedule.cpp
    src/package/Sha256.cpp
    src/package/PayloadStamp.cpp
    src/install/Manifest.cpp
    src/install/InstallLog.cpp
    src/install/InstallPaths.cpp
    src/install/ProductVersion.cpp
    src/install/Scope.cpp
    src/install/InstallPlan.cpp
    src/install/FilesInUse.cpp
    src/install/UninstallPlan.cpp
    src/sys/SecurityRules.cpp
    src/sys/InUseRules.cpp
)
