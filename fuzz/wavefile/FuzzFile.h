// The fuzz input as a file in a private directory, removed afterwards, and
// services that swallow the messages.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/Services.h"

class CQuietServices : public CDefaultServices {
public:
    void ShowMessage(const std::string&, MessageIcon) override {}
};

inline void FuzzQuietServices()
{
    static CQuietServices quiet;
    SetServices(&quiet);
}

class CFuzzFile {
public:
    CFuzzFile(const std::uint8_t* data, std::size_t size)
    {
        static const std::string root = [] {
            std::string pattern = std::filesystem::temp_directory_path().string() + "/tallowmere-fuzz-XXXXXX";
            if (::mkdtemp(pattern.data()) == nullptr)
                std::abort();
            return pattern;
        }();
        directory = root;
        name = root + "/input.wav";
        std::FILE* file = std::fopen(name.c_str(), "wb");
        if (file == nullptr)
            std::abort();
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    ~CFuzzFile()
    {
        // Every file the target made goes, so each run starts clean.
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(directory, ignored))
            std::filesystem::remove(entry.path(), ignored);
    }
    std::string directory;
    std::string name;
};
