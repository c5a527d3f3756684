#include "config/CommandLine.h"

#include <utility>

namespace config {

namespace {

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

wchar_t Upper(wchar_t c)
{
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

// Whether the switch's name (after its / or -) is word, in any case; for a
// word ending in '=', the value follows it.
bool Names(std::wstring_view name, std::wstring_view word)
{
    const bool takesValue = !word.empty() && word.back() == L'=';
    if (takesValue ? name.size() < word.size() : name.size() != word.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (Upper(name[i]) != word[i])
            return false;
    return true;
}

// The next argument from position: quoted (the quotes dropped) or up to a
// blank; position moves past it.
std::wstring NextArgument(std::wstring_view line, std::size_t& position)
{
    std::wstring argument;
    bool quoted = false;
    for (; position < line.size(); ++position) {
        const wchar_t c = line[position];
        if (c == L'"')
            quoted = !quoted;
        else if (IsBlank(c) && !quoted)
            break;
        else
            argument += c;
    }
    return argument;
}

std::wstring Trimmed(std::wstring_view text)
{
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    // One pair of quotes around the whole folder is taken off.
    if (text.size() >= 2 && text.front() == L'"' && text.back() == L'"')
        text = text.substr(1, text.size() - 2);
    return std::wstring(text);
}

} // namespace

CommandLineResult ParseCommandLine(std::wstring_view line, Program program, CommandLine& out)
{
    out = CommandLine();
    std::size_t position = 0;
    // The program's own name.
    if (!line.empty() && line[0] == L'"') {
        const std::size_t close = line.find(L'"', 1);
        position = close == std::wstring_view::npos ? line.size() : close + 1;
    }
    while (position < line.size() && !IsBlank(line[position]))
        ++position;

    const bool setup = program == Program::Setup;
    for (;;) {
        while (position < line.size() && IsBlank(line[position]))
            ++position;
        if (position >= line.size())
            return {};
        const std::size_t start = position;
        // Quotes may surround a whole switch ("/D=C:\Program Files\A").
        const std::wstring argument = NextArgument(line, position);
        if (argument.empty() || (argument[0] != L'/' && argument[0] != L'-'))
            return { CommandLineProblem::NotASwitch, argument };
        const std::wstring_view name = std::wstring_view(argument).substr(1);
        if (setup && Names(name, L"D=")) {
            // The rest of the line is the folder.
            out.folder = line[start] == L'"'
                ? Trimmed(std::wstring(name.substr(2)) + std::wstring(line.substr(position)))
                : Trimmed(line.substr(start + 3));
            if (out.folder.empty())
                return { CommandLineProblem::MissingValue, std::wstring(line.substr(start)) };
            out.hasFolder = true;
            return {};
        }
        bool* flag = nullptr;
        if (Names(name, L"?"))
            flag = &out.help;
        else if (Names(name, L"S"))
            flag = &out.silent;
        else if (setup && Names(name, L"PROGRESS"))
            flag = &out.progress;
        else if (setup && Names(name, L"NODESKTOP"))
            flag = &out.noDesktop;
        else if (setup && Names(name, L"NOSTARTMENU"))
            flag = &out.noStartMenu;
        else if (setup && Names(name, L"ALLOWDOWNGRADE"))
            flag = &out.allowDowngrade;
        else if (setup && Names(name, L"REPAIR"))
            flag = &out.repair;
        else if (Names(name, L"CLOSEAPPLICATIONS"))
            flag = &out.closeApplications;
        else if (setup && Names(name, L"CURRENTUSER"))
            flag = &out.currentUser;
        else if (setup && Names(name, L"ALLUSERS"))
            flag = &out.allUsers;
        else if (Names(name, L"ELEVATED"))
            flag = &out.elevated;
        if (flag != nullptr) {
            if (*flag)
                return { CommandLineProblem::Repeated, argument };
            *flag = true;
            if (out.currentUser && out.allUsers)
                return { CommandLineProblem::Conflicting, argument };
            continue;
        }
        // A switch with a value: the text after its "=".
        std::wstring* value = nullptr;
        std::size_t nameLength = 0;
        if (Names(name, L"LOGPIPE=")) {
            value = &out.logPipe;
            nameLength = 8;
        } else if (Names(name, L"LOG=")) {
            value = &out.log;
            nameLength = 4;
        }
        if (value != nullptr) {
            if (!value->empty())
                return { CommandLineProblem::Repeated, argument };
            *value = std::wstring(name.substr(nameLength));
            if (value->empty())
                return { CommandLineProblem::MissingValue, argument };
            continue;
        }
        return { CommandLineProblem::Unknown, argument };
    }
}

std::wstring ElevatedArguments(const CommandLine& options, Program program, const std::wstring& logPipe)
{
    const bool setup = program == Program::Setup;
    std::wstring text = setup ? L"/ELEVATED /ALLUSERS" : L"/ELEVATED";
    const std::pair<bool, const wchar_t*> flags[]
        = { { options.silent, L" /S" }, { options.progress, L" /PROGRESS" }, { options.noDesktop, L" /NODESKTOP" },
              { options.noStartMenu, L" /NOSTARTMENU" }, { options.allowDowngrade, L" /ALLOWDOWNGRADE" },
              { options.repair, L" /REPAIR" }, { options.closeApplications, L" /CLOSEAPPLICATIONS" } };
    for (const auto& [given, name] : flags)
        if (given)
            text += name;
    if (!logPipe.empty())
        text += L" /LOGPIPE=" + logPipe;
    // Quoted, so that blanks at either end and quotes in it come back as they are.
    if (setup && options.hasFolder)
        text += L" /D=\"" + options.folder + L"\"";
    return text;
}

const wchar_t* CommandLineProblemText(CommandLineProblem problem)
{
    switch (problem) {
    case CommandLineProblem::None:
        return L"";
    case CommandLineProblem::NotASwitch:
        return L"スイッチではない引数があります";
    case CommandLineProblem::Unknown:
        return L"知らないスイッチがあります";
    case CommandLineProblem::MissingValue:
        return L"スイッチの値がありません";
    case CommandLineProblem::Repeated:
        return L"同じスイッチが二度あります";
    case CommandLineProblem::Conflicting:
        return L"/CURRENTUSER と /ALLUSERS は一緒に使えません";
    }
    return L"";
}

} // namespace config
