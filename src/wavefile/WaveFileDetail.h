// SPDX-License-Identifier: GPL-3.0-or-later
// Pieces shared by the wave file's memory-mode, file-mode and copy code:
// chunk ids, sizes, the message texts, failure reasons and temporary files.
// Internal to the wavefile library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

#include "core/LittleEndian.h"
#include "wavefile/WaveFile.h"
#include "wavefile/WaveFileFailure.h"

namespace wavefile_detail {

inline constexpr std::uint32_t WaveId = MakeFourCC('W', 'A', 'V', 'E');
inline constexpr std::uint32_t FormatId = MakeFourCC('f', 'm', 't', ' ');
inline constexpr std::uint32_t DataId = MakeFourCC('d', 'a', 't', 'a');
// The calibration chunk's identifier is the number 101, not four letters.
inline constexpr std::uint32_t CalibrationId = 101;
inline constexpr std::uint32_t CalibrationBytes = sizeof(CalibrationData);
inline constexpr std::uint32_t FormatBytes = 16;
// Channels, rate and block align all lie within the first 14 bytes.
inline constexpr std::uint32_t MinFormatBytes = 14;
inline constexpr std::uint16_t PcmTag = 1;
inline constexpr std::uint32_t CopyBlockBytes = 8192;
inline constexpr std::uint32_t CopyBlockFrames = 4096;
inline constexpr std::uint32_t SaveChunkBytes = 1u << 20;
inline constexpr std::int64_t MaxRiffOffset = std::numeric_limits<std::uint32_t>::max();

inline const char* const FileOpenFail = "IDS_FILE_OPEN_FAIL";
inline const char* const InvalidWaveFile = "IDS_INVALID_WAVE_FILE";
inline const char* const WaveDataMemory = "IDS_WAVE_DATA_MEMORY";
inline const char* const FailureWriting = "IDS_FAILURE_WRITING_WAVE_FILE";
inline const char* const FailureDeletingTemp = "IDS_FAILURE_DELETING_TEMP_FILE";
inline const char* const CheckTempVariable = "IDS_CHECK_TEMP_VARIABLE";
inline const char* const CalibrationCreateFail = "Error on mmioCreateChunk for Calibration data";
inline const char* const CalibrationWriteFail = "Error writing Calibration data to wave file";

void Show(const std::string& text);
std::string ResolveTempDirectory(const std::string& given);
// A block about to be filled whole from a file: huge pages cut the page
// faults of the fill several hundredfold. Only advice; ignored where unsupported.
void AdviseLargeBlock(std::uint8_t* data, std::size_t bytes);

// The reason an errno value stands for.
WaveFileReason ReasonOf(int error);
// Records a failed system step from its errno value.
void RecordError(const char* operation, const std::string& path, int error, const std::string& detail = {});
// Records a failure that no system call gave (a broken file, a refusal).
void RecordReason(WaveFileReason reason, const char* operation, const std::string& path);

// A new unique empty file named prefix... in `directory`, registered for
// removal by a signal handler; empty (and the failure recorded) when none
// could be made.
std::string MakeTemporaryFile(const std::string& directory, const char* prefix);
// Removes a temporary file and forgets it; the errno value of the removal.
int RemoveTemporaryFile(const std::string& name);

} // namespace wavefile_detail
