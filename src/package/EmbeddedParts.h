// The parts of a single-file setup.exe: the payload and the two documents
// lie inside the program's own file, after its sections, where its product
// data says (config/ProductArea.h). Such a program reads them there, in
// place, and never a data00.dat or document lying beside it; a program of
// four files reads the files.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "config/ProductArea.h"

namespace package {

// The program holds its parts.
bool IsSingleFile();

// The program's own file opened for reading, without letting anybody write or
// delete it meanwhile, and the range of a part checked to lie inside it;
// an invalid handle (and the reason in detail, the Win32 error in error)
// otherwise. The caller closes the handle.
HANDLE OpenEmbeddedPart(config::EmbeddedPart part, config::EmbeddedRange& range, std::string& detail, DWORD& error);

// A document's bytes: the program's own part when it holds it (its SHA-256
// checked), else the file of that name in the current folder. false when it
// cannot be read, is larger than a document may be (16 MiB) or not the one
// the program was made with.
bool ReadDocument(const char* name, std::vector<char>& bytes);

} // namespace package
