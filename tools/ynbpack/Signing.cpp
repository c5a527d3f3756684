#include "Signing.h"

#include <algorithm>
#include <cstring>
#include <iostream>

#include "Host.h"
#include "PeImage.h"
#include "Progress.h"

namespace ynbpack {

namespace {

std::string Quoted(const std::string& path)
{
#ifdef _WIN32
    return "\"" + path + "\""; // a Windows path holds no quote
#else
    std::string out = "'";
    for (char c : path)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
#endif
}

std::string Replaced(std::string text, const std::string& field, const std::string& value)
{
    for (std::size_t at = text.find(field); at != std::string::npos; at = text.find(field, at + value.size()))
        text.replace(at, field.size(), value);
    return text;
}

} // namespace

void CheckSigningCommand(const std::string& command)
{
    if (command.find("{in}") == std::string::npos)
        throw UsageError("--sign: the command names no {in}, the program it signs");
}

Bytes SignProgram(const std::string& command, const Bytes& program, const std::string& name)
{
    CheckSigningCommand(command);
    ScratchFolder scratch;
    const std::string in = Utf8Of(scratch.Path() / PathOf(name));
    const std::string out = Utf8Of(scratch.Path() / PathOf("signed-" + name));
    WriteFile(in, program);
    const bool writesNew = command.find("{out}") != std::string::npos;
    const std::string line = Replaced(Replaced(command, "{in}", Quoted(in)), "{out}", Quoted(out));
    Progress::Get().Step("signing " + name);
    const int status = RunShellCommand(line);
    if (status != 0)
        throw UsageError("signing " + name + " failed: the command ended with status " + std::to_string(status));
    const Bytes signedProgram = ReadFile(writesNew ? out : in);
    const PeImage image(signedProgram, name + " as signed");
    const std::size_t entry = image.CertificateEntry();
    if (!image.Signed() || entry == 0)
        throw UsageError("signing " + name + " left it without a signature");
    // Everything the signature covers stays as ynbpack made it.
    const std::size_t table = ReadLe32(signedProgram, entry);
    const std::size_t checksum = image.ChecksumOffset();
    bool same = table >= program.size() && table - program.size() < 8 && signedProgram.size() > table;
    for (std::size_t i = 0; same && i < program.size(); ++i)
        same = signedProgram[i] == program[i] || (i >= checksum && i < checksum + 4) || (i >= entry && i < entry + 8);
    for (std::size_t i = program.size(); same && i < table; ++i)
        same = signedProgram[i] == 0;
    if (!same)
        throw UsageError("signing " + name + " changed it beyond its signature");
    return signedProgram;
}

} // namespace ynbpack
