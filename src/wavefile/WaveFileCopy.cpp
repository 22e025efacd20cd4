#include "wavefile/WaveFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/Services.h"
#include "wavefile/WaveFileDetail.h"

using namespace wavefile_detail;

// Copies ------------------------------------------------------------------------

int CWaveFile::CopyFileBytes(const std::string& sourceName, const std::string& destinationName)
{
    if (sourceName.empty() || destinationName.empty())
        return 0;
    int source = ::open(sourceName.c_str(), O_RDONLY | O_CLOEXEC);
    if (source < 0) {
        Show(std::strerror(errno));
        return 0;
    }
    // Truncating the destination would destroy the source when they are one file.
    struct stat from {};
    struct stat to {};
    if (::fstat(source, &from) == 0 && ::stat(destinationName.c_str(), &to) == 0 && from.st_dev == to.st_dev &&
        from.st_ino == to.st_ino) {
        ::close(source);
        return 1;
    }
    int destination = ::open(destinationName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (destination < 0) {
        Show(std::strerror(errno));
        ::close(source);
        return 0;
    }
    std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[CopyBlockBytes]());
    if (!buffer) {
        ::close(source);
        ::close(destination);
        return 0;
    }
    bool ok = true;
    {
        CWaitCursor waitCursor;
        for (;;) {
            ssize_t got = ::read(source, buffer.get(), CopyBlockBytes);
            if (got < 0 && errno == EINTR)
                continue;
            if (got == 0)
                break;
            ssize_t put = 0;
            while (got > 0 && put < got) {
                ssize_t n = ::write(destination, buffer.get() + put, static_cast<std::size_t>(got - put));
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    break;
                put += n;
            }
            if (got < 0 || put != got) {
                Show(CheckTempVariable);
                ok = false;
                break;
            }
        }
    }
    ::close(source);
    if (::close(destination) != 0 && ok) {
        Show(CheckTempVariable);
        ok = false;
    }
    return ok ? 1 : 0;
}

void CWaveFile::ReadSamplesAt(std::uint32_t frame, std::uint8_t* destination, std::uint32_t byteCount)
{
    std::uint64_t at = FrameOffset(frame);
    std::uint64_t available = at < byteSize ? byteSize - at : 0;
    auto wanted = static_cast<std::uint32_t>(std::min<std::uint64_t>(available, byteCount));
    std::uint32_t n = 0;
    if (wanted > 0 && fileHandle.Seek(std::int64_t{dataOffset} + static_cast<std::int64_t>(at), SEEK_SET) >= 0)
        n = StreamRead(destination, wanted);
    std::memset(destination + n, 0, byteCount - n);
}

int CWaveFile::CopyWaveFile(const std::string& sourceName, const std::string& destinationName, std::uint32_t frames)
{
    auto source = std::make_unique<CWaveFile>(sourceName, WaveFileMode::FileMode, false, tempDirectory);
    auto target = std::make_unique<CWaveFile>(source->GetFormat(), false, tempDirectory);
    if (source->IsFailed() || target->IsFailed())
        return 0;
    target->SetFileName(destinationName);
    if (hasCalibration)
        target->SetCalibration(calibration);
    // The copy's length is known: set its room aside at once.
    std::uint64_t bytes = source->FrameOffset(frames);
    std::uint64_t length = target->dataOffset + bytes + (bytes & 1u) + (hasCalibration ? 8 + CalibrationBytes : 0);
    if (length <= static_cast<std::uint64_t>(MaxRiffOffset))
        target->fileHandle.Reserve(static_cast<std::int64_t>(length));

    CWaitCursor waitCursor;
    int result = 1;
    const std::uint32_t frameBytes = source->FramesToBytes(1);
    std::vector<std::uint8_t> samples(std::size_t{CopyBlockFrames} * frameBytes);
    for (std::uint32_t p = 0; p < frames;) {
        std::uint32_t count = std::min(CopyBlockFrames, frames - p);
        auto bytes = count * frameBytes;
        // Read straight from the data, so the last frame is carried too.
        source->ReadSamplesAt(p, samples.data(), bytes);
        target->SetPosition(p);
        result = target->Write(samples.data(), bytes);
        p += count;
    }
    source->Save();
    // A copy that never reached its name did not succeed, and its temporary
    // file is of no use to anyone: the source is still there.
    if (!target->Save()) {
        result = 0;
        if (target->fileHandle.IsOpen())
            target->fileHandle.Close();
        std::remove(target->workFileName.c_str());
    }
    return result;
}
