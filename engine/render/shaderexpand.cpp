#include "render/shaderexpand.h"

#include "render/material.h"
#include "core/utils.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace miResources
{

namespace
{
// Included files larger than this are treated like files that cannot be opened.
constexpr long kMaxIncludeBytes = 16L * 1024 * 1024;

int32_t g_paddingCounter = 0;
// Folder of the expansion under way, so that the exit on an uncreatable output can first
// remove the files the earlier passes left there.
const char* g_activeFolder = nullptr;

const char* const kTempWords[] = {"expandedIncludesFile", "expandedSnippetsFile", "expandedConstantsFile",
                                  "expandedFinalFile", "expandedFinalFile"};

void RemoveTempFiles(const char* folder)
{
    if (!folder) return;
    for (int k = kTempIncludes; k <= kTempFinalHlsl; ++k)
    {
        char path[256];
        if (TempFilePath(path, folder, static_cast<TempFileKind>(k))) std::remove(path);
    }
}

std::FILE* OpenPassOutput(const char* path)
{
    std::FILE* out = path ? std::fopen(path, "w") : nullptr;
    if (!out)
    {
        RemoveTempFiles(g_activeFolder);
        std::exit(-1);
    }
    return out;
}

void WriteLine(std::FILE* out, const char* line)
{
    std::fputs(line, out);
    std::fputc('\n', out);
}

// Closes the output; a pass that failed, or whose writes failed, leaves no file behind.
bool FinishPass(std::FILE* out, const char* outputPath, bool ok)
{
    if (std::ferror(out)) ok = false;
    if (std::fclose(out) != 0) ok = false;
    if (!ok) std::remove(outputPath);
    return ok;
}

bool IsWord(const char* token, const char* word)
{
    return std::strcmp(token, word) == 0;
}

void ParseError(int line)
{
    MIREL_ASSERT(false, line, "Parse error");
}

void EmptySnippetPool()
{
    auto& pool = SnippetManager();
    // Releasing the live snippets costs their number; clearing would rebuild every slot.
    for (int32_t i = 0; i < pool.Count(); ++i)
        pool.Release(pool.AtIndex(i)->handle);
    pool.ProcessPendingReleases();
}

void AppendPadding(ShaderVarList& list, int32_t type)
{
    ShaderVar pad = {};
    pad.type = type;
    std::snprintf(pad.name, sizeof pad.name, "dummy_align_%d", static_cast<int>(g_paddingCounter));
    ++g_paddingCounter;
    list.Append(pad);
}

const char* DeclarationFormat(int32_t type)
{
    switch (type)
    {
    case kVarFloat:
        return "float  %s;\n";
    case kVarFloat3:
        return "float3  %s;\n";
    case kVarFloat4:
        return "float4 %s;\n";
    case kVarInt:
        return "int  %s;\n";
    case kVarInt3:
        return "int3  %s;\n";
    case kVarInt4:
        return "int4 %s;\n";
    case kVarMatrix:
        return "matrix %s;\n";
    default:
        return nullptr;
    }
}

struct ActiveFolder
{
    explicit ActiveFolder(const char* folder) { g_activeFolder = folder; }
    ~ActiveFolder() { g_activeFolder = nullptr; }
};
} // namespace

bool TempFilePath(char (&out)[256], const char* folder, TempFileKind kind)
{
    const char* format = kind == kTempFinalHlsl ? "%s/%s_%d.hlsl" : "%s/%s_%d.txt";
    int n = std::snprintf(out, sizeof out, format, folder ? folder : "", kTempWords[kind], 0);
    return n >= 0 && n <= kMaxPathLength;
}

bool AssetPath(char (&out)[256], const char* folderWord, const char* name, const char* extension)
{
    int n = std::snprintf(out, sizeof out, "%s/%s/%s.%s", mirel::GetAssetRoot(), folderWord, name ? name : "",
                          extension);
    return n >= 0 && n <= kMaxPathLength;
}

bool ExpandIncludes(const char* folder, const char* inputPath, const char* outputPath)
{
    std::FILE* out = OpenPassOutput(outputPath);
    mirel::TextParser in(kPassTokenSlots, inputPath);
    bool ok = in.IsOpen();
    while (ok && in.ReadLine())
    {
        if (in.lineTooLong)
        {
            ok = false;
            break;
        }
        if (!IsWord(in.Token(0), "@include"))
        {
            WriteLine(out, in.Line());
            continue;
        }
        char path[256];
        int n = std::snprintf(path, sizeof path, "%s/%s", folder ? folder : "", in.Token(1));
        if (n < 0 || n > kMaxPathLength) continue;
        std::FILE* included = std::fopen(path, "r");
        if (!included) continue;
        long size = -1;
        if (std::fseek(included, 0, SEEK_END) == 0) size = std::ftell(included);
        std::rewind(included);
        if (size < 0 || size > kMaxIncludeBytes)
        {
            std::fclose(included);
            continue;
        }
        char* text = static_cast<char*>(std::calloc(static_cast<size_t>(size) + 40, 1));
        if (text)
        {
            // Text-mode reads may return fewer bytes than the size; only those are real text.
            size_t got = std::fread(text, 1, static_cast<size_t>(size), included);
            // A read error (a folder named like a file) counts as a file that cannot be opened.
            if (!std::ferror(included))
            {
                std::fwrite(text, 1, got, out);
                std::fputc('\n', out);
            }
            std::free(text);
        }
        std::fclose(included);
    }
    return FinishPass(out, outputPath, ok);
}

bool CollectSnippets(const char* inputPath, const char* outputPath)
{
    EmptySnippetPool();
    std::FILE* out = OpenPassOutput(outputPath);
    mirel::TextParser in(kPassTokenSlots, inputPath);
    bool ok = in.IsOpen();
    static char body[kMaxSnippetBytes + 1];
    while (ok && in.ReadLine())
    {
        if (in.lineTooLong)
        {
            ok = false;
            break;
        }
        if (!IsWord(in.Token(0), "snippet"))
        {
            WriteLine(out, in.Line());
            continue;
        }
        char name[64];
        if (std::strlen(in.Token(1)) > 63)
        {
            ParseError(__LINE__);
            ok = false;
            break;
        }
        std::strcpy(name, in.Token(1));
        if (!in.ReadLine() || in.lineTooLong || in.Line()[0] != '{')
        {
            ParseError(__LINE__);
            ok = false;
            break;
        }
        int depth = 1;
        size_t length = 0;
        body[0] = '\0';
        for (;;)
        {
            if (!in.ReadLine() || in.lineTooLong)
            {
                // The file ended inside the block.
                ParseError(__LINE__);
                ok = false;
                break;
            }
            const char* line = in.Line();
            if (line[0] == '{')
                ++depth;
            else if (line[0] == '}' && --depth == 0)
                break;
            size_t n = std::strlen(line);
            if (length + n + 1 > static_cast<size_t>(kMaxSnippetBytes))
            {
                ParseError(__LINE__);
                ok = false;
                break;
            }
            std::memcpy(body + length, line, n);
            body[length + n] = '\n';
            length += n + 1;
            body[length] = '\0';
        }
        if (!ok) break;
        // The first definition of a name wins.
        if (SnippetManager().Find(name)) continue;
        CodeSnippet* snippet = SnippetManager().Create(name);
        if (!snippet) continue;
        snippet->text = static_cast<char*>(std::calloc(length + 40, 1));
        if (!snippet->text) continue;
        std::memcpy(snippet->text, body, length);
        snippet->length = static_cast<int32_t>(length);
    }
    return FinishPass(out, outputPath, ok);
}

bool ExpandSnippets(const char* inputPath, const char* outputPath)
{
    std::FILE* out = OpenPassOutput(outputPath);
    mirel::TextParser in(kPassTokenSlots, inputPath);
    bool ok = in.IsOpen();
    while (ok && in.ReadLine())
    {
        if (in.lineTooLong)
        {
            ok = false;
            break;
        }
        if (!IsWord(in.Token(0), "$include"))
        {
            WriteLine(out, in.Line());
            continue;
        }
        if (CodeSnippet* snippet = SnippetManager().Find(in.Token(1)))
        {
            if (snippet->text) std::fwrite(snippet->text, 1, static_cast<size_t>(snippet->length), out);
            std::fputc('\n', out);
        }
    }
    return FinishPass(out, outputPath, ok);
}

bool ExpandConstants(const char* inputPath, const char* outputPath, const ShaderVarList& vars)
{
    std::FILE* out = outputPath ? std::fopen(outputPath, "w") : nullptr;
    if (!out)
    {
        MIREL_ASSERT(false, __LINE__, "System error, cannot open file");
        return false;
    }
    mirel::TextParser in(kPassTokenSlots, inputPath);
    bool ok = in.IsOpen();
    while (ok && in.ReadLine())
    {
        if (in.lineTooLong)
        {
            ok = false;
            break;
        }
        if (!IsWord(in.Token(0), "mirel_shadervars"))
        {
            WriteLine(out, in.Line());
            continue;
        }
        if (!in.ReadLine() || in.lineTooLong || in.Line()[0] != '{')
        {
            ParseError(__LINE__);
            ok = false;
            break;
        }
        while (in.ReadLine() && in.Line()[0] != '}')
        {
        }
        std::fputs("\ncbuffer ConstantBuffer : register( b4 )\n { \n", out);
        for (int32_t i = 0; i < vars.count; ++i)
        {
            const ShaderVar& v = vars.Data()[i];
            if (const char* format = DeclarationFormat(v.type)) std::fprintf(out, format, v.name);
        }
        std::fputs("\n}\n", out);
    }
    return FinishPass(out, outputPath, ok);
}

void RemoveMaterialTempFiles(const char* folder)
{
    RemoveTempFiles(folder);
}

bool ExpandMaterialText(const char* folder, const char* inputPath, char (&finalPath)[256])
{
    char includes[256], snippets[256];
    if (!TempFilePath(includes, folder, kTempIncludes) || !TempFilePath(snippets, folder, kTempSnippets) ||
        !TempFilePath(finalPath, folder, kTempFinalText))
        return false;
    ActiveFolder active(folder);
    bool ok = ExpandIncludes(folder, inputPath, includes) && CollectSnippets(includes, snippets) &&
              ExpandSnippets(snippets, finalPath);
    if (!ok) RemoveTempFiles(folder);
    return ok;
}

bool ExpandShaderSource(MaterialCfg& cfg)
{
    char sourcePath[256];
    bool fits = AssetPath(sourcePath, "shaders", cfg.shaderName, "hlsl");
    std::FILE* probe = fits ? std::fopen(sourcePath, "r") : nullptr;
    if (!probe)
    {
        MIREL_ASSERT(false, __LINE__, "Shader file not found: %s", sourcePath);
        return false;
    }
    std::fclose(probe);

    char folder[256];
    int n = std::snprintf(folder, sizeof folder, "%s/shaders", mirel::GetAssetRoot());
    char includes[256], snippets[256], constants[256], finalPath[256];
    if (n < 0 || n > kMaxPathLength || !TempFilePath(includes, folder, kTempIncludes) ||
        !TempFilePath(snippets, folder, kTempSnippets) || !TempFilePath(constants, folder, kTempConstants) ||
        !TempFilePath(finalPath, folder, kTempFinalHlsl))
        return false;

    ActiveFolder active(folder);
    bool ok = ExpandIncludes(folder, sourcePath, includes) && CollectSnippets(includes, snippets) &&
              ExpandSnippets(snippets, constants) && ExpandConstants(constants, finalPath, cfg.vars);
    if (ok)
    {
        ok = false;
        if (std::FILE* f = std::fopen(finalPath, "rb"))
        {
            long size = -1;
            if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
            std::rewind(f);
            char* text = size >= 0 ? static_cast<char*>(std::malloc(static_cast<size_t>(size) + 1)) : nullptr;
            if (text)
            {
                size_t got = std::fread(text, 1, static_cast<size_t>(size), f);
                text[got] = '\0';
                std::free(cfg.source);
                cfg.source = text;
                cfg.sourceLength = static_cast<uint32_t>(got);
                ok = true;
            }
            std::fclose(f);
        }
    }
    RemoveTempFiles(folder);
    return ok;
}

bool ParseShaderVarLine(const mirel::TextParser& line, ShaderVar& out)
{
    static const struct
    {
        const char* word;
        int32_t type;
        int32_t tokens; // exact count; 0 = any
    } kTypes[] = {{"float", kVarFloat, 4},  {"float3", kVarFloat3, 6}, {"float4", kVarFloat4, 7},
                  {"int", kVarInt, 4},      {"int3", kVarInt3, 6},     {"int4", kVarInt4, 7},
                  {"matrix", kVarMatrix, 0}};
    const char* word = line.Token(0);
    for (const auto& t : kTypes)
    {
        if (!IsWord(word, t.word)) continue;
        const char* name = line.Token(1);
        size_t nameLength = std::strlen(name);
        if ((t.tokens != 0 && line.tokenCount != t.tokens) || nameLength == 0 || nameLength > 63)
        {
            ParseError(__LINE__);
            return false;
        }
        ShaderVar v = {};
        std::memcpy(v.name, name, nameLength + 1);
        v.type = t.type;
        if (t.type == kVarMatrix)
        {
            for (int i = 0; i < 4; ++i)
                v.matrix[i * 5] = 1.0f;
        }
        else
        {
            const int32_t components = t.tokens - 3;
            for (int32_t i = 0; i < components; ++i)
                v.value[i] = static_cast<float>(std::strtod(line.Token(3 + i), nullptr));
        }
        out = v;
        return true;
    }
    // A type outside the seven would leave a stale record; it is refused as a file error.
    ParseError(__LINE__);
    return false;
}

void ReadShaderVars(const char* shaderName, ShaderVarList& list)
{
    char path[256];
    if (!AssetPath(path, "shaders", shaderName, "hlsl")) return;
    mirel::TextParser in(kPassTokenSlots, path);
    if (!in.IsOpen()) return;
    bool found = false;
    while (!found && in.ReadLine())
        found = IsWord(in.Token(0), "mirel_shadervars");
    if (!found) return;
    if (!in.ReadLine() || in.Line()[0] != '{')
    {
        ParseError(__LINE__);
        return;
    }
    while (in.ReadLine() && in.Line()[0] != '}')
    {
        ShaderVar v;
        if (in.lineTooLong || !ParseShaderVarLine(in, v)) continue;
        list.Append(v);
        if (v.type == kVarFloat || v.type == kVarInt)
            AppendPadding(list, kVarFloat3);
        else if (v.type == kVarFloat3 || v.type == kVarInt3)
            AppendPadding(list, kVarFloat);
    }
}

} // namespace miResources
