#include "core/utils.h"
#include "support/fuzz_common.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    mirel::SetAssertEcho(false);
    const int maxTokens = size ? 1 + data[0] % 20 : 16;
    mirel::TextParser parser(maxTokens, FuzzWriteInput(data, size));
    int lines = 0;
    while (parser.ReadLine() && lines < 100000)
    {
        ++lines;
        for (int i = 0; i < parser.tokenCount; ++i)
            if (std::strlen(parser.Token(i)) > 126) __builtin_trap();
        if (parser.tokenCount < 1 || parser.tokenCount > parser.maxTokens) __builtin_trap();
    }
    return 0;
}
