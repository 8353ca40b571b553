#include "render/shaderscan.h"

#include <cctype>
#include <cstdlib>
#include <regex>

namespace miResources
{

namespace
{

// Direct3D 11.0 limits that Wine 10's compiler does not enforce.
constexpr long kMaxThreadsXY = 1024;
constexpr long kMaxThreadsZ = 64;
constexpr long kMaxThreadsPerGroup = 1024;
constexpr long kMaxUavRegister = 7;
constexpr long kMaxGroupSharedBytes = 32768;

// Comments become spaces, line breaks stay, so offsets and line numbers still match the text.
std::string WithoutComments(const std::string& text)
{
    std::string out = text;
    for (size_t i = 0; i + 1 < text.size(); ++i)
    {
        size_t end = i;
        if (text[i] == '/' && text[i + 1] == '/')
            end = text.find('\n', i);
        else if (text[i] == '/' && text[i + 1] == '*')
        {
            end = text.find("*/", i + 2);
            if (end != std::string::npos) end += 2;
        }
        else
            continue;
        if (end == std::string::npos) end = text.size();
        for (; i < end; ++i)
            if (text[i] != '\n') out[i] = ' ';
        --i;
    }
    return out;
}

int32_t LineAt(const std::string& text, size_t offset)
{
    int32_t line = 1;
    for (size_t i = 0; i < offset && i < text.size(); ++i)
        line += text[i] == '\n';
    return line;
}

size_t SkipSpace(const std::string& s, size_t i)
{
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i])))
        ++i;
    return i;
}

bool IsWordChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// The offset after the bracket that closes the one at open, or npos.
size_t AfterBrackets(const std::string& s, size_t open)
{
    int depth = 0;
    for (size_t i = open; i < s.size(); ++i)
    {
        if (s[i] == '[') ++depth;
        if (s[i] == ']' && --depth == 0) return i + 1;
    }
    return std::string::npos;
}

bool IsPlainAssignment(const std::string& s, size_t i)
{
    return i < s.size() && s[i] == '=' && s[i + 1] != '=';
}

// Whether the use of a UAV at `at` (its name ends at nameEnd) reads the element. Only a whole
// element stored with "=" does not; a component store needs the rest of the element first.
bool ReadsElement(const std::string& s, size_t nameEnd)
{
    size_t i = SkipSpace(s, nameEnd);
    if (i < s.size() && s[i] == '.')
    {
        const size_t method = SkipSpace(s, i + 1);
        return s.compare(method, 4, "Load") == 0 && !IsWordChar(s[method + 4]);
    }
    if (i >= s.size() || s[i] != '[') return false;
    while (i < s.size() && s[i] == '[')
    {
        i = AfterBrackets(s, i);
        if (i == std::string::npos) return false;
        i = SkipSpace(s, i);
    }
    return !IsPlainAssignment(s, i);
}

bool SingleComponent32(std::string type)
{
    type = std::regex_replace(type, std::regex("\\s+"), " ");
    for (const char* ok : {"float", "int", "uint", "dword", "float1", "int1", "uint1"})
        if (type == ok) return true;
    return false;
}

// Bytes of one groupshared element of a built-in type, 0 when the type is not one.
long BuiltInBytes(const std::string& type)
{
    std::smatch m;
    if (!std::regex_match(type, m,
                          std::regex("(float|int|uint|dword|bool|half|double)([1-4])?(?:x([1-4]))?")))
        return 0;
    const long scalar = m[1] == "double" ? 8 : 4;
    return scalar * (m[2].matched ? std::atol(m[2].str().c_str()) : 1) *
           (m[3].matched ? std::atol(m[3].str().c_str()) : 1);
}

void ScanTypedUavs(const std::string& code, std::vector<ShaderFinding>& out)
{
    static const std::regex decl(
        "\\b(RWBuffer|RWTexture1D|RWTexture1DArray|RWTexture2D|RWTexture2DArray|RWTexture3D)"
        "\\s*<([^>]*)>\\s*([A-Za-z_]\\w*)");
    for (std::sregex_iterator d(code.begin(), code.end(), decl), end; d != end; ++d)
    {
        const std::string type = std::regex_replace((*d)[2].str(), std::regex("^\\s+|\\s+$"), "");
        if (SingleComponent32(type)) continue;
        const std::string name = (*d)[3];
        const size_t from = static_cast<size_t>(d->position(0) + d->length(0));
        for (size_t at = code.find(name, from); at != std::string::npos; at = code.find(name, at + 1))
        {
            const size_t nameEnd = at + name.size();
            if ((at > 0 && IsWordChar(code[at - 1])) || (nameEnd < code.size() && IsWordChar(code[nameEnd])))
                continue;
            if (ReadsElement(code, nameEnd))
                out.push_back({ShaderRule::kTypedUavLoad, LineAt(code, at),
                               (*d)[1].str() + "<" + type + "> " + name + " is read"});
        }
    }
}

void ScanLimits(const std::string& code, std::vector<ShaderFinding>& out)
{
    static const std::regex threads(
        "\\[\\s*numthreads\\s*\\(\\s*(\\d+)\\s*,\\s*(\\d+)\\s*,\\s*(\\d+)\\s*\\)\\s*\\]");
    for (std::sregex_iterator m(code.begin(), code.end(), threads), end; m != end; ++m)
    {
        const long x = std::atol((*m)[1].str().c_str()), y = std::atol((*m)[2].str().c_str()),
                   z = std::atol((*m)[3].str().c_str());
        if (x > kMaxThreadsXY || y > kMaxThreadsXY || z > kMaxThreadsZ || x * y * z > kMaxThreadsPerGroup)
            out.push_back(
                {ShaderRule::kThreadGroupSize, LineAt(code, static_cast<size_t>(m->position(0))), m->str()});
    }
    static const std::regex uav("\\bregister\\s*\\(\\s*u(\\d+)");
    for (std::sregex_iterator m(code.begin(), code.end(), uav), end; m != end; ++m)
        if (std::atol((*m)[1].str().c_str()) > kMaxUavRegister)
            out.push_back(
                {ShaderRule::kUavRegister, LineAt(code, static_cast<size_t>(m->position(0))), m->str()});
    static const std::regex shared(
        "\\bgroupshared\\s+([A-Za-z_]\\w*)\\s+[A-Za-z_]\\w*\\s*((?:\\[\\s*\\d+\\s*\\]\\s*)*)");
    static const std::regex dimension("\\d+");
    long total = 0;
    for (std::sregex_iterator m(code.begin(), code.end(), shared), end; m != end; ++m)
    {
        long bytes = BuiltInBytes((*m)[1]);
        const std::string dims = (*m)[2];
        for (std::sregex_iterator n(dims.begin(), dims.end(), dimension); n != end; ++n)
            bytes *= std::atol(n->str().c_str());
        total += bytes;
        if (total > kMaxGroupSharedBytes && total - bytes <= kMaxGroupSharedBytes)
            out.push_back({ShaderRule::kGroupSharedBytes, LineAt(code, static_cast<size_t>(m->position(0))),
                           std::to_string(total) + " bytes of groupshared memory"});
    }
}

} // namespace

std::vector<ShaderFinding> ScanPortableHlsl(const std::string& text)
{
    const std::string code = WithoutComments(text);
    std::vector<ShaderFinding> out;
    ScanTypedUavs(code, out);
    ScanLimits(code, out);
    return out;
}

const char* ShaderRuleName(ShaderRule rule)
{
    switch (rule)
    {
    case ShaderRule::kTypedUavLoad:
        return "typed UAV load of more than one 32-bit component";
    case ShaderRule::kThreadGroupSize:
        return "thread group larger than Direct3D 11.0 allows";
    case ShaderRule::kUavRegister:
        return "UAV register above u7";
    case ShaderRule::kGroupSharedBytes:
        return "groupshared memory above 32768 bytes";
    }
    return "";
}

} // namespace miResources
