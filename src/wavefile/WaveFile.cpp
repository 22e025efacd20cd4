#include "wavefile/WaveFile.h"

// Interface first; the operations follow.
CWaveFile::CWaveFile(const std::string& name, WaveFileMode fileMode, bool tempCopy, const std::string& directory)
    : mode(fileMode), useTempCopy(tempCopy ? 1 : 0), tempDirectory(directory), fileName(name)
{
    failed = 1;
}
CWaveFile::CWaveFile(std::uint32_t frames, CSampleFormat sampleFormat, const std::string& directory)
    : CSampleBuffer(frames, sampleFormat), untitled(1), createdNew(1), tempDirectory(directory)
{
}
CWaveFile::CWaveFile(CSampleFormat sampleFormat, bool tempCopy, const std::string& directory)
    : CSampleBuffer(0, sampleFormat), untitled(1), mode(WaveFileMode::FileMode), createdNew(1),
      useTempCopy(tempCopy ? 1 : 0), tempDirectory(directory)
{
    failed = 1;
}
CWaveFile::~CWaveFile() = default;
void CWaveFile::SetFileName(const std::string& name) { fileName = name; untitled = 0; }
int CWaveFile::Save() { return 0; }
int CWaveFile::Load() { return 0; }
int CWaveFile::Read(std::uint8_t* d, std::uint32_t n) { return CSampleBuffer::Read(d, n); }
int CWaveFile::Write(const std::uint8_t* s, std::uint32_t n) { return CSampleBuffer::Write(s, n); }
void CWaveFile::Seek(std::uint32_t frame) { position = frame; }
void CWaveFile::SetCalibration(const CalibrationData& block) { calibration = block; hasCalibration = 1; }
void CWaveFile::ReadCalibration() {}
void CWaveFile::WriteCalibration() {}
int CWaveFile::OpenWorkFile() { return 0; }
int CWaveFile::CreateWorkFile() { return 0; }
std::uint32_t CWaveFile::StreamRead(std::uint8_t*, std::uint32_t) { return 0; }
int CWaveFile::StreamWrite(const std::uint8_t*, std::uint32_t) { return 0; }
void CWaveFile::AppendCalibration(const std::string&) {}
int CWaveFile::CopyFileBytes(const std::string&, const std::string&) { return 0; }
int CWaveFile::CopyWaveFile(const std::string&, const std::string&, std::uint32_t) { return 0; }
