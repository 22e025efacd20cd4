// Pieces shared by the wave file's memory-mode, file-mode and copy code:
// chunk ids, sizes, the message texts, little-endian helpers and temporary
// file names. Internal to the wavefile library.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

#include "wavefile/WaveFile.h"

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
void PutUInt16(std::uint8_t* bytes, std::uint16_t value);
void PutUInt32(std::uint8_t* bytes, std::uint32_t value);
std::uint16_t GetUInt16(const std::uint8_t* bytes);
std::uint32_t GetUInt32(const std::uint8_t* bytes);
std::string ResolveTempDirectory(const std::string& given);
// A new unique empty file from a mkstemp template; empty when none was made.
std::string MakeUniqueFile(const std::string& directory, const char* prefix);
std::string DirectoryOf(const std::string& path);
// A block about to be filled whole from a file: huge pages cut the page
// faults of the fill several hundredfold. Only advice; ignored where unsupported.
void AdviseLargeBlock(std::uint8_t* data, std::size_t bytes);
mode_t NewFileMode();

} // namespace wavefile_detail
