// Every shipped material configuration, expanded as the engine expands it, compiles with
// D3DCompile (d3dcompiler_47) for each stage it names, with the stage's entry point and profile.
#include "core/utils.h"
#include "render/material.h"
#include "render/shaderexpand.h"

#include <windows.h>

#include <d3dcompiler.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using namespace miResources;
namespace fs = std::filesystem;

namespace
{

const struct
{
    const char* entry;
    const char* profile;
} kStages[kStageCount] = {{"mainPS", "ps_5_0"}, {"mainVS", "vs_5_0"}, {"mainGS", "gs_5_0"},
                          {"mainHS", "hs_5_0"}, {"mainDS", "ds_5_0"}, {"mainCS", "cs_5_0"}};

// The expansion writes beside the sources, so it runs on a private copy of the asset tree.
class ShippedShaders : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        const fs::path source = fs::path(mirel::GetExecutableDirectory()) / "shader_assets";
        root_ = fs::temp_directory_path() / ("mirel-shaders-" + std::to_string(GetCurrentProcessId()));
        fs::remove_all(root_);
        fs::copy(source, root_, fs::copy_options::recursive);
        mirel::SetAssetRoot(root_.generic_string().c_str());
        mirel::SetAssertEcho(false);
        mirel::ResetAssertReports();
    }
    void TearDown() override
    {
        mirel::SetAssertEcho(true);
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    std::vector<std::string> Configurations() const
    {
        std::vector<std::string> names;
        const fs::path materials = root_ / "materials";
        for (const auto& e : fs::recursive_directory_iterator(materials))
            if (e.path().extension() == ".matcfg")
                names.push_back(
                    e.path().lexically_relative(materials).replace_extension("").generic_string());
        return names;
    }

    fs::path root_;
};

TEST_F(ShippedShaders, EveryStageCompiles)
{
    const std::vector<std::string> names = Configurations();
    ASSERT_GE(names.size(), 17u);
    int compiled = 0;
    for (const std::string& name : names)
    {
        SCOPED_TRACE(name);
        MaterialCfg cfg;
        std::snprintf(cfg.name, sizeof cfg.name, "%s", name.c_str());
        char last[2048];
        ASSERT_TRUE(ParseMaterialCfg(cfg)) << mirel::LastAssertMessage(last, sizeof last);
        ASSERT_NE(cfg.source, nullptr);
        EXPECT_NE(cfg.stageMask, 0u);
        for (int32_t s = 0; s < kStageCount; ++s)
        {
            if (!(cfg.stageMask & (1u << s))) continue;
            ID3DBlob* code = nullptr;
            ID3DBlob* errors = nullptr;
            // The whole text with its terminator, no macros, no include handler, flags 0.
            HRESULT hr = D3DCompile(cfg.source, cfg.sourceLength + 1, nullptr, nullptr, nullptr,
                                    kStages[s].entry, kStages[s].profile, 0, 0, &code, &errors);
            std::string message = errors ? std::string(static_cast<const char*>(errors->GetBufferPointer()),
                                                       errors->GetBufferSize())
                                         : std::string();
            std::printf("%-24s %-7s %s %s\n", name.c_str(), kStages[s].profile,
                        SUCCEEDED(hr) ? "ok" : "FAILED", message.c_str());
            EXPECT_TRUE(SUCCEEDED(hr) && code && code->GetBufferSize() > 0)
                << cfg.shaderName << " " << kStages[s].profile << ":\n"
                << message;
            if (SUCCEEDED(hr)) ++compiled;
            if (code) code->Release();
            if (errors) errors->Release();
        }
    }
    EXPECT_EQ(mirel::AssertReportCount(), 0);
    EXPECT_GE(compiled, 34);
    std::printf("%d stages compiled\n", compiled);
}

} // namespace
