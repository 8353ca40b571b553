// Fuzz inputs reach the readers as files, the way the program feeds them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

inline const char* FuzzWriteInput(const uint8_t* data, size_t size)
{
    static std::string path = "/tmp/mirel-fuzz-" + std::to_string(getpid()) + ".txt";
    if (std::FILE* f = std::fopen(path.c_str(), "wb"))
    {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    return path.c_str();
}
