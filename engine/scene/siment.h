// Scene entities (drawable objects, lights, particle emitters), their pools, and the world and
// physics modules that update them every step.
#pragma once

#include "core/datastructs.h"
#include "core/mimath.h"
#include "module.h"
#include "scene/camera.h"

#include <cstdint>

namespace miSim
{

enum EntityType : uint32_t
{
    kEntityScene = 0,
    kEntitySky = 2,
    kEntityLight = 3,
    kEntityParticleEmitter = 4,
};

enum EntityFlag : uint32_t
{
    kEntityHidden = 1u << 0,
    kEntityNeverCulled = 1u << 1,
    kEntityCastsShadow = 1u << 2,
};

constexpr uint32_t kNoModel = 0xFFFFFFFFu;

class SimEnt : public mirel::ManagedResource
{
  public:
    void OnCreate() override { type = kEntityScene; }
    virtual void Update() {}

    uint32_t type = kEntityScene;
};

class DynamicEnt : public SimEnt
{
  public:
    void OnCreate() override;
    void OnRelease() override;
    void Update() override;

    Transform transform;
    uint32_t modelId = kNoModel;
    // -1: every surface keeps its own material.
    int32_t materialId = -1;
    // -1: depth-only passes pick the depth material by vertex layout.
    int32_t depthMaterialId = -1;
    uint32_t flags = kEntityCastsShadow;
    uint8_t instanced = 0;
    uint32_t instanceCount = 1;
    // Reserved per-entity slots with no meaning yet; the data is owned and freed on release.
    uint32_t userWord = 0;
    int32_t userIndex = -1;
    uint8_t* userData = nullptr;
};

class LightEnt : public SimEnt
{
  public:
    void OnCreate() override;
    void OnRelease() override;
    void Update() override;

    Transform transform;
    float params[6] = {};
};

class ParticleEmitterEnt : public SimEnt
{
  public:
    static constexpr int kBlockFloats = 2048;
    void OnCreate() override;
    void OnRelease() override;

    Transform transform;
    float block[kBlockFloats] = {};
};

constexpr int32_t kDynamicEntCapacity = 100;
constexpr int32_t kLightEntCapacity = 50;
constexpr int32_t kParticleEmitterCapacity = 100;

extern mirel::ObjectManagerPooled<DynamicEnt> g_dynamicEntManager;
extern mirel::ObjectManagerPooled<LightEnt> g_lightManager;
extern mirel::ObjectManagerPooled<ParticleEmitterEnt> g_particleEmitterManager;

DynamicEnt* FindDynamicEnt(const char* name);
LightEnt* FindLight(const char* name);
ParticleEmitterEnt* FindParticleEmitter(const char* name);

constexpr int32_t kEntityConstantRegister = 3;
constexpr int32_t kEntityConstantBytes = 64;

// Sets the pose and local box, builds the world matrix and creates the entity's constant buffer
// "<entity>_entConst" holding it.
void InitTransform(Transform& transform, const char* entityName, const mirel::Vec3& position,
                   const mirel::Vec3& rotation, const mirel::Vec3& boundsMin, const mirel::Vec3& boundsMax);
void SetSkyMaterial(DynamicEnt& entity);

// The scene-building sequence: find (and reset) or create the entity, set its type, resolve the
// model, place it. Null when the pool is full. A sky gets its material and a never-culled box.
DynamicEnt* BuildDynamicEnt(const char* name, const char* modelName, const mirel::Vec3& position,
                            const mirel::Vec3& rotation, uint32_t type = kEntityScene);

// Every live entity of a pool, in slot order.
template <typename T> void UpdateAll(mirel::ObjectManagerPooled<T>& manager)
{
    for (int32_t i = 0; i < manager.Count(); ++i)
        manager.AtIndex(i)->Update();
}

// The deferred-release and shut-down passes over the scene pools, in the order cameras, dynamic
// entities, lights, particle emitters.
void ProcessSceneReleases();
void ClearScenePools();

} // namespace miSim

namespace miPhysics
{

// The rigid-body simulation's interface; this system has no bodies, so every operation is empty.
class PhysEngRigidBodySim
{
  public:
    virtual ~PhysEngRigidBodySim() = default;
    virtual void Init() {}
    virtual void Shutdown() {}
    virtual void Step(float /*dt*/) {}
    virtual RigidBody* CreateBody(const mirel::Mat4& /*world*/) { return nullptr; }
    virtual void DestroyBody(RigidBody* /*body*/) {}
    virtual void SetBodyMatrix(RigidBody* /*body*/, const mirel::Mat4& /*world*/) {}
    // The matrix of a physics-driven transform; false when the body has none.
    virtual bool GetBodyMatrix(const RigidBody* /*body*/, mirel::Mat4& /*world*/) { return false; }
    virtual void ApplyImpulse(RigidBody* /*body*/, const mirel::Vec3& /*impulse*/) {}
    virtual void SetGravity(const mirel::Vec3& /*gravity*/) {}
};

extern PhysEngRigidBodySim* g_rigidBodySim;

// Tests substitute the simulation the module makes; null restores the empty one.
using SimulationFactory = PhysEngRigidBodySim* (*)();
void SetSimulationFactory(SimulationFactory factory);

class PhysicsModule : public miSim::Module
{
  public:
    PhysicsModule() : Module(2, 1) {}
    void Init() override;
    void Shutdown() override;
    void Update() override;
    void UpdateStep(float dt);
};

extern PhysicsModule g_physicsModule;

} // namespace miPhysics

namespace miWorld
{

class WorldModule : public miSim::Module
{
  public:
    WorldModule() : Module(4, 2) {}
    // Dynamic entities, then lights, then particle emitters.
    void Update() override;
};

extern WorldModule g_worldModule;

} // namespace miWorld
