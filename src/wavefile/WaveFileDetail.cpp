// SPDX-License-Identifier: GPL-3.0-or-later
#include "wavefile/WaveFileDetail.h"

#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#endif

#include <cerrno>
#include <memory>

#include "platform/Services.h"
#include "wavefile/FileSystem.h"
#include "wavefile/TemporaryFiles.h"

namespace wavefile_detail {

void Show(const std::string& text)
{
    Services().ShowMessage(text, MessageIcon::None);
}

std::string ResolveTempDirectory(const std::string& given)
{
    return given.empty() ? FileSystem().TemporaryDirectory() : given;
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

WaveFileReason ReasonOf(int error)
{
    switch (error) {
    case 0: return WaveFileReason::None;
    case ENOENT:
    case ENOTDIR: return WaveFileReason::NotFound;
    case EACCES:
    case EPERM:
    case EROFS: return WaveFileReason::AccessDenied;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
    case EFBIG: return WaveFileReason::NoSpace;
    case ENOMEM: return WaveFileReason::OutOfMemory;
    case EISDIR:
    case ENXIO:
    case ESPIPE: return WaveFileReason::NotRegular;
    default: return WaveFileReason::IoError;
    }
}

void RecordError(const char* operation, const std::string& path, int error, const std::string& detail)
{
    WaveFileReason reason = ReasonOf(error);
    if (reason == WaveFileReason::None)
        reason = WaveFileReason::IoError;
    // A FIFO or socket refused at opening: the reason's own words say more
    // than the system's "No such device or address".
    RecordWaveFileFailure(reason, operation, path, error == ENXIO ? 0 : error, detail);
}

void RecordReason(WaveFileReason reason, const char* operation, const std::string& path)
{
    RecordWaveFileFailure(reason, operation, path, 0);
}

std::string MakeTemporaryFile(const std::string& directory, const char* prefix)
{
    std::string name;
    std::unique_ptr<IFile> file;
    int error = FileSystem().CreateTemporary(directory, prefix, name, file);
    if (error != 0) {
        RecordError("create temporary file", directory, error);
        return {};
    }
    RegisterTemporaryFile(name);
    file->Close();
    return name;
}

int RemoveTemporaryFile(const std::string& name)
{
    int error = FileSystem().Remove(name);
    ForgetTemporaryFile(name);
    return error;
}

} // namespace wavefile_detail
