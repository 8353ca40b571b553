#include "cadora.h"

#include "detect.h"
#include "switches.h"

#include "input/input.h"

#include "core/props.h"

#include <chrono>
#include <thread>

namespace miCadora
{

CadoraApp g_cadoraApp;
float loadProgress = 0.0f;
bool loadStarted = false;

namespace
{

void ReloadConfig() { mirel::LoadConfigFile(); }

// Material reload reaches the material manager once materials exist in the engine.
void ReloadMaterials() {}

void RegisterHotkey(char key, void (*callback)())
{
    miInput::KeyBinding binding;
    binding.key = key;
    binding.callback = callback;
    miInput::RegisterKey(binding);
}

void Pause300ms() { std::this_thread::sleep_for(std::chrono::milliseconds(300)); }

} // namespace

void SceneBuildStep()
{
    if (!loadStarted) return;
    float& p = loadProgress;
    if (p < 0.1f)
        p += 0.1f;
    else if (p < 0.2f)
        p += 0.2f;
    else if (p < 0.4f)
        p += 0.2f;
    else if (p < 1.0f)
    {
        Pause300ms();
        p += 0.2f;
    }
}

void CadoraApp::Init() {}

void CadoraApp::Load()
{
    RegisterHotkey('M', ReloadMaterials);
    RegisterHotkey('R', ReloadConfig);
    // The demo renderer's keys, until that renderer registers them itself.
    RegisterRendererHotkeys();
}

void CadoraApp::Shutdown()
{
    if (GetDetectionRecord()) ShutdownDisplay();
}

void CadoraApp::Update()
{
    if (!mirel::g_engineState.loadingDone.load())
    {
        SceneBuildStep();
        // Until the load screen exists, the scene counts as ready once its build has run.
        loadStarted = true;
        if (loadProgress >= 1.0f) mirel::g_engineState.loadingDone.store(1);
        return;
    }
}

} // namespace miCadora
