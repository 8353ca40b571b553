#include "scene/siment.h"

#include "frametimer.h"
#include "render/device/devicehost.h"

#include <cstdio>
#include <cstring>

namespace miSim
{

using mirel::Vec3;

namespace
{
// Reports keep the name this module had before the scene got its own folder.
constexpr const char* kSimentFile = "core/siment";
constexpr float kL = mirel::kLargestFloat;

void FreeTransform(Transform& t)
{
    miPhysics::FreeBody(t.body);
    t = Transform{};
}
} // namespace

mirel::ObjectManagerPooled<DynamicEnt> g_dynamicEntManager(kDynamicEntCapacity);
mirel::ObjectManagerPooled<LightEnt> g_lightManager(kLightEntCapacity);
mirel::ObjectManagerPooled<ParticleEmitterEnt> g_particleEmitterManager(kParticleEmitterCapacity);

DynamicEnt* FindDynamicEnt(const char* name)
{
    return g_dynamicEntManager.Find(name);
}
LightEnt* FindLight(const char* name)
{
    return g_lightManager.Find(name);
}
ParticleEmitterEnt* FindParticleEmitter(const char* name)
{
    return g_particleEmitterManager.Find(name);
}

void DynamicEnt::OnCreate()
{
    materialId = -1;
    depthMaterialId = -1;
    instanced = 0;
    instanceCount = 1;
    type = kEntityScene;
    userWord = 0;
    userIndex = -1;
    userData = nullptr;
}

void DynamicEnt::OnRelease()
{
    if (transform.constantBufferId != kNoConstantBuffer)
        miRender::GetDeviceHost().ReleaseConstantBuffer(static_cast<int32_t>(transform.constantBufferId));
    delete[] userData;
    userData = nullptr;
    // The pool hands this slot out again as it is; a reused slot must start like a new entity
    // rather than with the last one's pose, model and cleared shadow bit.
    FreeTransform(transform);
    modelId = kNoModel;
    flags = kEntityCastsShadow;
}

void DynamicEnt::Update()
{
    UpdateTransform(transform, false);
}

void LightEnt::OnCreate()
{
    type = kEntityLight;
    params[0] = 0.0f;
    params[1] = 50.0f;
}

void LightEnt::OnRelease()
{
    FreeTransform(transform);
}

void LightEnt::Update()
{
    UpdateTransform(transform, false);
}

void ParticleEmitterEnt::OnCreate()
{
    type = kEntityParticleEmitter;
    for (float& f : block)
        f = 1.0f;
}

void ParticleEmitterEnt::OnRelease()
{
    FreeTransform(transform);
}

void InitTransform(Transform& t, const char* entityName, const Vec3& position, const Vec3& rotation,
                   const Vec3& boundsMin, const Vec3& boundsMax)
{
    t.position = position;
    t.rotation = rotation;
    t.localBoundsMin = boundsMin;
    t.localBoundsMax = boundsMax;
    t.physicsDriven = 0;
    UpdateTransform(t, true);

    char name[128];
    const int length = std::snprintf(name, sizeof name, "%s_entConst", entityName ? entityName : "");
    if (length < 0 || length >= 64)
    {
        // A shortened name would collide with another long-named entity's buffer.
        mirel::Assert(false, kSimentFile, __LINE__, "ObjectManagerPooled: name too long");
        t.constantBufferId = kNoConstantBuffer;
        return;
    }
    const int32_t id = miRender::GetDeviceHost().CreateEntityConstantBuffer(name, kEntityConstantRegister,
                                                                            kEntityConstantBytes, t.world.m);
    t.constantBufferId = id >= 0 ? static_cast<uint32_t>(id) : kNoConstantBuffer;
}

void SetSkyMaterial(DynamicEnt& entity)
{
    const int32_t id = miRender::GetDeviceHost().FindOrLoadMaterial("skybox");
    mirel::Assert(id >= 0, kSimentFile, __LINE__, "Material not found: %s", "skybox");
    if (id >= 0) entity.materialId = id;
}

DynamicEnt* BuildDynamicEnt(const char* name, const char* modelName, const Vec3& position,
                            const Vec3& rotation, uint32_t type)
{
    DynamicEnt* e = g_dynamicEntManager.Find(name);
    if (e)
        e->OnRelease(); // rebuilding: the old constant buffer goes before the new one is made
    else
        e = g_dynamicEntManager.Create(name);
    if (!e) return nullptr;
    e->OnCreate();
    e->type = type;
    Vec3 lo, hi;
    const int32_t model = miRender::GetDeviceHost().FindOrLoadModel(modelName, lo, hi);
    e->modelId = model >= 0 ? static_cast<uint32_t>(model) : kNoModel;
    InitTransform(e->transform, name, position, rotation, lo, hi);
    if (type == kEntitySky)
    {
        SetSkyMaterial(*e);
        e->transform.localBoundsMin = e->transform.worldBoundsMin = {-kL, -kL, -kL};
        e->transform.localBoundsMax = e->transform.worldBoundsMax = {kL, kL, kL};
    }
    return e;
}

void ProcessSceneReleases()
{
    g_cameraManager.ProcessPendingReleases();
    g_dynamicEntManager.ProcessPendingReleases();
    g_lightManager.ProcessPendingReleases();
    g_particleEmitterManager.ProcessPendingReleases();
}

void ClearScenePools()
{
    g_cameraManager.Clear();
    g_dynamicEntManager.Clear();
    g_lightManager.Clear();
    g_particleEmitterManager.Clear();
}

} // namespace miSim

namespace miPhysics
{

PhysEngRigidBodySim* g_rigidBodySim = nullptr;
PhysicsModule g_physicsModule;

namespace
{
SimulationFactory g_factory = nullptr;
} // namespace

void SetSimulationFactory(SimulationFactory factory)
{
    g_factory = factory;
}

void PhysicsModule::Init()
{
    g_rigidBodySim = g_factory ? g_factory() : new PhysEngRigidBodySim();
    if (g_rigidBodySim) g_rigidBodySim->Init();
}

void PhysicsModule::Shutdown()
{
    if (!g_rigidBodySim) return;
    g_rigidBodySim->Shutdown();
    delete g_rigidBodySim;
    g_rigidBodySim = nullptr;
}

void PhysicsModule::Update()
{
    UpdateStep(mirel::FrameDelta());
}

void PhysicsModule::UpdateStep(float dt)
{
    if (g_rigidBodySim) g_rigidBodySim->Step(dt);
}

} // namespace miPhysics

namespace miWorld
{

WorldModule g_worldModule;

void WorldModule::Update()
{
    miSim::UpdateAll(miSim::g_dynamicEntManager);
    miSim::UpdateAll(miSim::g_lightManager);
    miSim::UpdateAll(miSim::g_particleEmitterManager);
}

} // namespace miWorld
