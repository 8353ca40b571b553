// Every shipped material configuration, expanded as the engine expands it, compiles with
// D3DCompile (d3dcompiler_47) for each stage it names, with the stage's entry point and profile.
#include "core/utils.h"
#include "render/material.h"
#include "render/shaderexpand.h"

#include <windows.h>

#include <d3dcompiler.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

using namespace miResources;
namespace fs = std::filesystem;

namespace
{

const char* const kStages[kStageCount][2] = {{"mainPS", "ps_5_0"}, {"mainVS", "vs_5_0"},
                                             {"mainGS", "gs_5_0"}, {"mainHS", "hs_5_0"},
                                             {"mainDS", "ds_5_0"}, {"mainCS", "cs_5_0"}};

TEST(ShippedShaders, EveryStageCompiles)
{
    // The expansion writes beside the sources, so it runs on a private copy of the asset tree.
    const fs::path root =
        fs::temp_directory_path() / ("mirel-shaders-" + std::to_string(GetCurrentProcessId()));
    fs::remove_all(root);
    fs::copy(fs::path(mirel::GetExecutableDirectory()) / "shader_assets", root, fs::copy_options::recursive);
    mirel::SetAssetRoot(root.generic_string().c_str());
    mirel::SetAssertEcho(false);
    mirel::ResetAssertReports();
    int configurations = 0, compiled = 0;
    for (const auto& e : fs::recursive_directory_iterator(root / "materials"))
    {
        if (e.path().extension() != ".matcfg") continue;
        const std::string name =
            e.path().lexically_relative(root / "materials").replace_extension("").generic_string();
        SCOPED_TRACE(name);
        ++configurations;
        MaterialCfg cfg;
        std::snprintf(cfg.name, sizeof cfg.name, "%s", name.c_str());
        char last[2048];
        ASSERT_TRUE(ParseMaterialCfg(cfg)) << mirel::LastAssertMessage(last, sizeof last);
        ASSERT_NE(cfg.source, nullptr);
        EXPECT_NE(cfg.stageMask, 0u);
        for (int32_t s = 0; s < kStageCount; ++s)
        {
            if (!(cfg.stageMask & (1u << s))) continue;
            ID3DBlob *code = nullptr, *errors = nullptr;
            // The whole text with its terminator, no macros, no include handler, flags 0.
            const HRESULT hr = D3DCompile(cfg.source, cfg.sourceLength + 1, nullptr, nullptr, nullptr,
                                          kStages[s][0], kStages[s][1], 0, 0, &code, &errors);
            const bool ok = SUCCEEDED(hr) && code && code->GetBufferSize() > 0;
            EXPECT_TRUE(ok) << cfg.shaderName << " " << kStages[s][1] << ":\n"
                            << (errors ? static_cast<const char*>(errors->GetBufferPointer()) : "");
            compiled += ok;
            for (ID3DBlob* blob : {code, errors})
                if (blob) blob->Release();
        }
    }
    EXPECT_GE(configurations, 17);
    EXPECT_GE(compiled, 34);
    EXPECT_EQ(mirel::AssertReportCount(), 0);
    std::printf("%d configurations, %d stages compiled\n", configurations, compiled);
    mirel::SetAssertEcho(true);
    std::error_code ec;
    fs::remove_all(root, ec);
}

} // namespace
