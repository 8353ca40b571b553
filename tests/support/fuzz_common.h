// Fuzz inputs reach the readers as files, the way the program feeds them; without a path, one
// file of the process.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

inline const char* FuzzWriteInput(const uint8_t* data, size_t size, const char* path = nullptr)
{
    static const std::string own = "/tmp/mirel-fuzz-" + std::to_string(getpid()) + ".txt";
    if (!path) path = own.c_str();
    std::FILE* f = std::fopen(path, "wb");
    if (!f) std::abort();
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    return path;
}
