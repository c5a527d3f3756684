// The product's artwork (art/ of its folder): what each picture must be for
// the programs' resources (src/app/Setup.rc, Uninstall.rc). A picture the
// product lacks is taken from the project's own (src/app/art).
#pragma once

#include <string>
#include <vector>

#include "Files.h"

namespace ynbpack {

// Empty when data is a Windows bitmap file of width x height pixels (either
// row order), with its pixels all there; otherwise why not.
std::string BitmapProblem(const Bytes& data, int width, int height);

// Empty when data is an icon file whose images all lie inside it and which
// holds an image of each size (square, in pixels); otherwise why not.
std::string IconProblem(const Bytes& data, const std::vector<int>& sizes);

// Adds "PATH: why" to problems for each picture of the folder that is there
// but not what the programs need. Files it does not know are left alone.
void CheckArtwork(const std::string& artFolder, std::vector<std::string>& problems);

} // namespace ynbpack
