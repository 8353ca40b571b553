#include "core/datastructs.h"

namespace mirel::detail
{

void SwapBytes(void* a, void* b, size_t size)
{
    auto* x = static_cast<unsigned char*>(a);
    auto* y = static_cast<unsigned char*>(b);
    unsigned char chunk[256];
    while (size > 0)
    {
        const size_t n = size < sizeof chunk ? size : sizeof chunk;
        std::memcpy(chunk, x, n);
        std::memcpy(x, y, n);
        std::memcpy(y, chunk, n);
        x += n;
        y += n;
        size -= n;
    }
}

void CopyName(char (&dst)[64], const char* src)
{
    size_t n = 0;
    while (n < sizeof dst - 1 && src[n])
        ++n;
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}

} // namespace mirel::detail
