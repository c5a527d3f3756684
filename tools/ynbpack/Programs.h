// The product's programs: what setup.exe and uninstall.exe hold of a product
// (its data area, its pictures, its program icon, its version texts), either
// compiled in (ynbpack embed) or written into the prebuilt programs, the
// stubs (ynbpack build).
#pragma once

#include <string>

#include "Files.h"
#include "PeImage.h"
#include "config/ProductArea.h"

namespace ynbpack {

enum class Program { Setup, Uninstall };

// The product data of a checked product folder: its configuration text
// scrambled with its key, the keys and product.txt's texts for the
// uninstall entry. Nothing embedded.
config::ProductData ProductDataOf(const std::string& product);
// The version resource of one of its programs: its role and file name, the
// configuration's product name, product.txt's version (0.0.0.0 without
// one), publisher and copyright.
Bytes ProgramVersionResource(const std::string& product, Program program);

// The prebuilt programs of one architecture (x86 or x64).
struct Stubs {
    std::string arch;
    std::string setup;
    std::string uninstall;
};
// The stubs in dir when it is given; otherwise the first folder of these
// that holds both: stubs/ARCH beside ynbpack (a release), win-ARCH/stub of
// the build tree ynbpack was built in.
Stubs FindStubs(const std::string& dir, const std::string& arch);

// The stub at path with the product written in: the product data area and,
// for the product's own pictures and icon, the resources, with the version
// texts. Throws when the file is no stub of this ynbpack's layout, or of
// another architecture than `arch`, or holds a product already.
PeImage ProgramFromStub(const std::string& path, const std::string& arch, const std::string& product, Program program,
    const config::ProductData& data);
// The area of the program's product section set to data.
void WriteProductData(PeImage& image, const config::ProductData& data);
// The product data a program holds, with why not when it holds none.
config::ProductAreaProblem ReadProductData(const PeImage& image, config::ProductData& data);

} // namespace ynbpack
