// The product folder as a whole: its information file product.txt, its
// configuration, and the check of every file that a build reads.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "Errors.h"
#include "Files.h"
#include "config/SetupRecord.h"

namespace ynbpack {

// product.txt: optional UTF-8 "key=value" lines; '#' at the start of a line
// makes it a comment. Every key at most once:
//   id           the package identifier, 2 to 8 parts joined by dots
//                (Hanamaru.Kakeibo)
//   version      the version (1.0.0): the uninstall entry's DisplayVersion
//   publisher    the publisher: its Publisher
//   url          the product's https page: its URLInfoAbout
//   license      the licence's name
//   license-url  the licence's page
//   description  a short description of the product
//   copyright    the copyright notice
// Values are checked for what the uninstall entry and the package manager's
// manifests accept.
struct ProductInfo {
    bool present = false; // the folder has product.txt
    std::map<std::string, std::string> values; // by key, UTF-8

    // The value, or an empty text when the file does not give it.
    std::string Get(const std::string& key) const;
};

// An http:// or https:// address (the scheme in any case) with something
// after the scheme, in printable ASCII without blanks.
bool IsWebAddress(const std::string& value);

// Reads PRODUCT/product.txt; an absent file gives an empty ProductInfo. Each
// fault adds "PATH:LINE: why" to problems, and the line is left out.
ProductInfo ReadProductInfo(const std::string& product, std::vector<std::string>& problems);
// The same, throwing with every problem.
ProductInfo ReadProductInfo(const std::string& product);

// setup.cfg parsed as the setup program parses it; throws when the file is
// missing or longer than the program holds.
SetupRecord ReadConfiguration(const std::string& path);

// A payload path in Shift-JIS bytes (as setup.exe opens it) by the UTF-8
// name the host's tree gives it; ASCII and bytes that are no Shift-JIS stay
// as they are.
std::string HostName(const std::string& shiftJis);
// A relative path of the payload, with backslashes or slashes, that stays
// inside the tree; throws otherwise.
std::filesystem::path PayloadPath(const std::string& relative);
// The staging folder relative to the payload: the product folder's first
// component and "ins"; throws when the configuration gives none.
std::filesystem::path StagingPath(const SetupRecord& record);
// Adds a problem for each source of the plain manifest that the staging
// folder of the host's payload tree lacks: a folder when the source ends with
// a backslash, a file otherwise.
void ManifestSourceProblems(const std::string& manifestPath, const Bytes& plain, const std::filesystem::path& staging,
    std::vector<std::string>& problems);
// The same, asking holds whether the staging folder holds a source (a path
// relative to it), as a file or as a folder.
void ManifestSourceProblems(const std::string& manifestPath, const Bytes& plain, std::vector<std::string>& problems,
    const std::function<bool(const std::filesystem::path& relative, bool folder)>& holds);

// Every problem of the product folder, one text a line: setup.cfg, keys.txt,
// setup.txt, license.txt, manifest.txt, product.txt and art/. With
// payloadComplete the folder's payload/ is all the payload (no built
// programs join it): it must exist and hold every manifest source in its
// staging folder.
std::vector<std::string> ProductProblems(const std::string& product, bool payloadComplete);
// Throws one UsageError listing them all, when there are any.
void CheckProduct(const std::string& product, bool payloadComplete);

} // namespace ynbpack
