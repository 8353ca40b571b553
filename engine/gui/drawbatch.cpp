#include "gui/drawbatch.h"

#include "render/material.h"

namespace miGui
{

bool DrawBatch(SpriteBatch& batch, miRender::PlatformDevicePipe& pipe)
{
    if (batch.vertexCount <= 0 || batch.bufferId < 0) return false;
    miRender::DeviceHost& host = miRender::GetDeviceHost();
    int32_t materialId = host.FindMaterial("sprite");
    if (materialId < 0) materialId = host.LoadMaterial("sprite");
    miResources::Material* material = miResources::MaterialManager().FromHandle(materialId);
    if (!material) return false;
    if (const SpriteSheet* sheet = BatchSheet(batch))
        if (sheet->textureId >= 0) material->srvIds[0][0] = sheet->textureId;
    const uint32_t bytes = static_cast<uint32_t>(batch.vertexCount) * sizeof(SpriteVertex);
    host.WriteVertexBuffer(batch.bufferId, batch.vertices, bytes);
    pipe.DrawDynamic(materialId, batch.bufferId, static_cast<uint32_t>(batch.vertexCount));
    return true;
}

} // namespace miGui
