#include "wavefile/WaveFileDetail.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/Services.h"

namespace wavefile_detail {

void Show(const std::string& text)
{
    Services().ShowMessage(text, MessageIcon::None);
}

void PutUInt16(std::uint8_t* bytes, std::uint16_t value)
{
    bytes[0] = static_cast<std::uint8_t>(value);
    bytes[1] = static_cast<std::uint8_t>(value >> 8);
}

void PutUInt32(std::uint8_t* bytes, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint16_t GetUInt16(const std::uint8_t* bytes)
{
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

std::uint32_t GetUInt32(const std::uint8_t* bytes)
{
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

std::string ResolveTempDirectory(const std::string& given)
{
    if (!given.empty())
        return given;
    const char* fromEnvironment = std::getenv("TMPDIR");
    if (fromEnvironment != nullptr && *fromEnvironment != '\0')
        return fromEnvironment;
    return "/tmp";
}

// A new unique empty file from a mkstemp template; empty when none was made.
std::string MakeUniqueFile(const std::string& directory, const char* prefix)
{
    std::string pattern = directory;
    if (pattern.empty() || pattern.back() != '/')
        pattern += '/';
    pattern += prefix;
    pattern += "XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0)
        return {};
    ::close(fd);
    return name.data();
}

std::string DirectoryOf(const std::string& path)
{
    std::string::size_type slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// A block about to be filled whole from a file: huge pages cut the page
// faults of the fill several hundredfold. Only advice; ignored where unsupported.
void AdviseLargeBlock(std::uint8_t* data, std::size_t bytes)
{
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t HugePage = 2u << 20;
    auto first = (reinterpret_cast<std::uintptr_t>(data) + HugePage - 1) & ~(HugePage - 1);
    auto last = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(HugePage - 1);
    if (last > first)
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

mode_t NewFileMode()
{
    // Read the mask where the kernel shows it: setting it, even for a moment,
    // would leave files that other threads create meanwhile unmasked.
    if (std::FILE* status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        bool found = false;
        unsigned long mask = 0;
        while (!found && std::fgets(line, sizeof line, status) != nullptr)
            if (std::strncmp(line, "Umask:", 6) == 0) {
                char* end = nullptr;
                mask = std::strtoul(line + 6, &end, 8);
                found = end != line + 6;
            }
        std::fclose(status);
        if (found)
            return 0666 & ~static_cast<mode_t>(mask);
    }
    // Older kernels: umask can only be read by setting it; put it straight back.
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace wavefile_detail
