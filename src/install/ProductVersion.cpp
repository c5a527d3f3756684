#include "install/ProductVersion.h"

#include <algorithm>
#include <vector>

#include "config/CommandLine.h"

namespace install {

namespace {

std::vector<std::string_view> Parts(std::string_view version)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t dot = version.find('.'); dot != std::string_view::npos; dot = version.find('.', start)) {
        parts.push_back(version.substr(start, dot - start));
        start = dot + 1;
    }
    parts.push_back(version.substr(start));
    return parts;
}

bool IsNumber(std::string_view part)
{
    return !part.empty() && part.find_first_not_of("0123456789") == std::string_view::npos;
}

// Numbers by their value however many digits or leading zeros they have;
// a number before any text.
int ComparePart(std::string_view a, std::string_view b)
{
    const bool numberA = a.empty() || IsNumber(a);
    const bool numberB = b.empty() || IsNumber(b);
    if (numberA != numberB)
        return numberA ? -1 : 1;
    if (!numberA)
        return a.compare(b);
    a = a.substr(std::min(a.find_first_not_of('0'), a.size()));
    b = b.substr(std::min(b.find_first_not_of('0'), b.size()));
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

} // namespace

int CompareVersions(std::string_view a, std::string_view b)
{
    if (a.empty() || b.empty())
        return 0;
    const std::vector<std::string_view> partsA = Parts(a);
    const std::vector<std::string_view> partsB = Parts(b);
    for (std::size_t i = 0; i < std::max(partsA.size(), partsB.size()); ++i) {
        const int order = ComparePart(
            i < partsA.size() ? partsA[i] : std::string_view(), i < partsB.size() ? partsB[i] : std::string_view());
        if (order != 0)
            return order < 0 ? -1 : 1;
    }
    return 0;
}

SetupCase JudgeSetup(const InstalledProduct& installed, std::string_view version, const SetupRequest& request)
{
    if (!installed.installed)
        return request.repair ? SetupCase::RepairNotInstalled : SetupCase::FirstInstallation;
    if (request.otherFolder)
        return SetupCase::InstalledElsewhere;
    const int order = CompareVersions(version, installed.version);
    if (request.repair && order != 0)
        return SetupCase::RepairOtherVersion;
    if (order > 0)
        return SetupCase::Upgrade;
    if (order == 0)
        return SetupCase::SameVersion;
    return request.allowDowngrade ? SetupCase::Downgrade : SetupCase::NewerInstalled;
}

uint32_t RefusalExitCode(SetupCase setupCase)
{
    switch (setupCase) {
    case SetupCase::NewerInstalled:
        return config::kExitNewerInstalled;
    case SetupCase::InstalledElsewhere:
    case SetupCase::RepairOtherVersion:
        return config::kExitInstalledElsewhere;
    case SetupCase::RepairNotInstalled:
        return config::kExitNotInstalled;
    default:
        return 0;
    }
}

} // namespace install
