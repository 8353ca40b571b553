// Engine modules: static objects run in rank order at start-up, every update step and shut-down.
#pragma once

#include <cstdint>

namespace miSim
{

class Module
{
  public:
    Module(int32_t init, int32_t update) : initRank(init), updateRank(update) {}
    virtual ~Module() = default;
    virtual void Init() {}
    virtual void Shutdown() {}
    virtual void Update() {}

    int32_t initRank;
    int32_t updateRank;
};

} // namespace miSim
