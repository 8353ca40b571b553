// A private asset tree per test: shader and material files written by the test, or a copy of
// the shipped assets; the pools of the material code are emptied around each test.
#pragma once

#include "core/utils.h"
#include "render/device/devicehost.h"
#include "render/material.h"
#include "render/shaderexpand.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

namespace mirel::test
{

class AssetTree
{
  public:
    AssetTree()
    {
        char name[] = "/tmp/mirel-assets-XXXXXX";
        root_ = mkdtemp(name) ? name : "";
        std::filesystem::create_directories(root_ + "/shaders");
        std::filesystem::create_directories(root_ + "/materials");
        SetAssetRoot(root_.c_str());
        ClearPools();
    }
    ~AssetTree()
    {
        ClearPools();
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    AssetTree(const AssetTree&) = delete;
    AssetTree& operator=(const AssetTree&) = delete;

    // Replaces the tree's content with the repository's shipped assets.
    void CopyShipped()
    {
        std::filesystem::copy(MIREL_SOURCE_ASSETS, root_,
                              std::filesystem::copy_options::recursive |
                                  std::filesystem::copy_options::overwrite_existing);
    }

    std::string Path(const std::string& relative) const { return root_ + "/" + relative; }
    const std::string& Root() const { return root_; }
    void Write(const std::string& relative, const std::string& text) const
    {
        std::filesystem::create_directories(std::filesystem::path(Path(relative)).parent_path());
        std::ofstream(Path(relative), std::ios::binary) << text;
    }
    // Names of the expansion's temporary files present anywhere in the tree.
    std::set<std::string> TempFiles() const
    {
        std::set<std::string> found;
        for (const auto& e : std::filesystem::recursive_directory_iterator(root_))
        {
            std::string name = e.path().filename().string();
            if (name.rfind("expanded", 0) == 0) found.insert(e.path().lexically_relative(root_).string());
        }
        return found;
    }

  private:
    static void ClearPools()
    {
        miResources::MaterialManager().Clear();
        miResources::MaterialCfgs().Clear();
        miRender::SetDeviceHost(nullptr);
    }
    std::string root_;
};

} // namespace mirel::test
