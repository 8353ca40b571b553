// The text passes every shader source and material file goes through before it is parsed or
// compiled, and the reader of a shader's variable block.
//
//   1 "@include <file>"  -> the file's whole text (one level deep)
//   2 "snippet <name>" + braced block -> cut out and kept as a named code snippet
//   3 "$include <name>"  -> the snippet's text
//   4 "mirel_shadervars" + braced block -> the generated register-b4 constant buffer
//
// Every pass writes the trimmed non-empty lines of its input, one "\n" each. A pass that fails
// removes its own output and returns false; the callers then remove the files of the earlier
// passes, so no later step ever reads partial output.
#pragma once

#include "render/device/resources.h"

#include <cstdint>

namespace miResources
{

class MaterialCfg;

// Token slots of the passes' tokenizer, of the material readers' and the longest snippet body.
constexpr int32_t kPassTokenSlots = 16;
constexpr int32_t kMaterialTokenSlots = 15;
constexpr int32_t kMaxSnippetBytes = 8096;
// The longest asset path, terminator excluded.
constexpr int32_t kMaxPathLength = 255;

// Temporary file names beside the sources ("%s/%s_%d.txt" / "%s/%s_%d.hlsl", number 0).
enum TempFileKind : int32_t
{
    kTempIncludes = 0, // expandedIncludesFile_0.txt
    kTempSnippets,     // expandedSnippetsFile_0.txt
    kTempConstants,    // expandedConstantsFile_0.txt
    kTempFinalText,    // expandedFinalFile_0.txt  (material files)
    kTempFinalHlsl,    // expandedFinalFile_0.hlsl (shader sources)
};
// False when the path would not fit kMaxPathLength.
bool TempFilePath(char (&out)[256], const char* folder, TempFileKind kind);
// "%s/%s/%s.%s" from the asset root; false when it would not fit.
bool AssetPath(char (&out)[256], const char* folderWord, const char* name, const char* extension);

// Passes 1-3 end the program with status -1 when their output cannot be created.
bool ExpandIncludes(const char* folder, const char* inputPath, const char* outputPath);
bool CollectSnippets(const char* inputPath, const char* outputPath);
bool ExpandSnippets(const char* inputPath, const char* outputPath);
// Reports "System error, cannot open file" when its output cannot be created.
bool ExpandConstants(const char* inputPath, const char* outputPath, const ShaderVarList& vars);

// Passes 1-3 of a material file in folder into the three material temporary files; on
// success finalPath receives the last one's path. On failure none of the three is left.
bool ExpandMaterialText(const char* folder, const char* inputPath, char (&finalPath)[256]);
void RemoveMaterialTempFiles(const char* folder);

// Passes 1-4 of "shaders/<cfg.shaderName>.hlsl" with the configuration's variables; the
// result replaces cfg.source / cfg.sourceLength. The four temporary files are always removed.
bool ExpandShaderSource(MaterialCfg& cfg);

// Parses the current line of a tokenizer as "<type> <name> <skipped> <x> [<y> <z> <w>]".
// False (reported as "Parse error") for an unknown type word, a wrong token count or a name
// over 63 characters; out is then left unchanged.
bool ParseShaderVarLine(const mirel::TextParser& line, ShaderVar& out);

// Appends the variable block of the raw "shaders/<shaderName>.hlsl" to list, each variable
// followed by its padding entry. A missing file or block leaves the list unchanged.
void ReadShaderVars(const char* shaderName, ShaderVarList& list);

} // namespace miResources
