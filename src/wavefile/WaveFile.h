// SPDX-License-Identifier: GPL-3.0-or-later
// A sample buffer that is read from and written to a RIFF WAVE file, either
// wholly in memory (MemoryMode) or streamed through an open working file
// (FileMode), with the optional calibration chunk that rides after the RIFF
// chunk. All file access goes through the file system seam (FileSystem.h).
//
// Results: 1 for success and 0 for failure; constructors set `failed`
// (IsFailed) instead. Messages are shown through the services seam, modal,
// in the system's own words, and only where a line below names one; "no
// message" failures are silent to the user. Every failure, shown or not,
// records its reason for this thread (LastWaveFileFailure in
// WaveFileFailure.h: absent, broken, cut short, no space, I/O ...); the
// constructors, Load and Save forget the previous one first. Nothing throws.
#pragma once

#include <cstdint>
#include <string>

#include "core/SampleBuffer.h"
#include "core/SampleFormat.h"
#include "wavefile/FileSystem.h"
#include "wavefile/RiffFile.h"

enum class WaveFileMode : std::uint16_t { MemoryMode = 0, FileMode = 1 };

// 1020 bytes carried unchanged and never interpreted.
struct CalibrationData {
    std::uint32_t words[255];
};
static_assert(sizeof(CalibrationData) == 1020);

// Final: destroyed through its own type only, as its base is.
class CWaveFile final : public CSampleBuffer {
public:
    // Opens an existing file: MemoryMode loads it whole (Load) and closes it
    // again; FileMode keeps it (or, with useTempCopy, a temporary copy) open
    // (OpenWorkFile). An empty tempDirectory means the file system's
    // ($TMPDIR, else /tmp). `failed` is set on any failure of those, with
    // their messages.
    CWaveFile(const std::string& fileName, WaveFileMode mode, bool useTempCopy = false,
              const std::string& tempDirectory = {});
    // New, untitled file in memory with a zero-filled block of frameCount
    // frames. `failed` only when the block cannot be had; no message.
    CWaveFile(std::uint32_t frameCount, CSampleFormat format, const std::string& tempDirectory = {});
    // New, untitled file streamed through a new temporary working file
    // ("wav..." in the directory). `failed` with "IDS_FILE_OPEN_FAIL" when
    // the file cannot be made, with no message when its header cannot be written.
    CWaveFile(CSampleFormat format, bool useTempCopy, const std::string& tempDirectory = {});
    // FileMode: closes the working file ("IDS_FAILURE_WRITING_WAVE_FILE" if
    // that fails) and removes it when it is temporary or untitled
    // ("IDS_FAILURE_DELETING_TEMP_FILE" if that fails).
    ~CWaveFile();

    CWaveFile(const CWaveFile&) = delete;
    CWaveFile& operator=(const CWaveFile&) = delete;

    // The target that Save writes; clears `untitled`.
    void SetFileName(const std::string& name);

    // MemoryMode: writes the whole file beside the target and puts it over
    // the target (through symbolic links; permissions, and owner and group
    // where permitted, kept) only once it is complete and synced. A failed
    // save leaves the old file and no temporary file.
    //   1: saved. 0 without message and without `failed`: untitled.
    //   0, `failed`, "IDS_FILE_OPEN_FAIL": the target is a directory, FIFO or
    //     socket (never waited on), not writable, its directory cannot be
    //     written, or the system refuses the name at the rename.
    //   0, `failed`, "IDS_FAILURE_WRITING_WAVE_FILE": a write (short or
    //     failed, a full disk), a chunk, the sync or the close failed.
    //   A character device (a null or full device) is written in place, with
    //   the same two messages.
    // FileMode: finishes the working file and puts it under the target name.
    //   1: saved, or nothing open to save. 0, no message: untitled.
    //   0, `failed`, no message: the RIFF size cannot be written.
    //   0, "IDS_FAILURE_WRITING_WAVE_FILE": closing failed, or the file can be
    //     neither renamed nor copied to the target (no open file afterwards).
    int Save();
    // MemoryMode only (0 in FileMode): reads the whole file named by the
    // target. 1: loaded. Else 0 and `failed`, with:
    //   "IDS_FILE_OPEN_FAIL": it cannot be opened (absent, no permission, a
    //     directory, FIFO or socket);
    //   "IDS_INVALID_WAVE_FILE": no RIFF WAVE, "fmt " or "data" chunk, or a
    //     "fmt " chunk shorter than 14 bytes or without channels or block align;
    //   "IDS_WAVE_DATA_MEMORY": no memory for the samples (buffer left empty);
    //   no message: the "fmt " chunk or the samples cut short or unreadable, or
    //     a data chunk of size 0.
    int Load();

    // MemoryMode: the sample buffer's own Read and Write. FileMode: streamed
    // at the working file's current offset; no messages.
    // Read: 1 when any byte was read, 0 when none (no file, no destination,
    //   at the last frame, at the end of the data). Never a byte from past the
    //   data chunk, whatever the count: what lies beyond reads as zero bytes.
    // Write: 1, or 0 (`failed` set when the file refused the bytes).
    int Read(std::uint8_t* destination, std::uint32_t byteCount);
    int Write(const std::uint8_t* source, std::uint32_t byteCount);

    // FileMode: moves the working file's offset to the frame as well
    // (`failed` when that offset cannot be taken).
    void Seek(std::uint32_t frame) override;

    void SetCalibration(const CalibrationData& block);
    // Looks for the calibration chunk at the top level of the open file;
    // `hasCalibration` tells whether one was read whole. No message.
    void ReadCalibration();
    // Writes the calibration chunk at the open file's current offset. Never
    // fails a save: "Error on mmioCreateChunk for Calibration data" or
    // "Error writing Calibration data to wave file" and `hasCalibration` 0.
    void WriteCalibration();

    // FileMode only. 1: open at the samples. 0 and `failed`, no open file:
    // "IDS_FILE_OPEN_FAIL" (cannot be opened), "IDS_INVALID_WAVE_FILE" (a
    // chunk missing), no message (unreadable format, no samples).
    int OpenWorkFile();
    // FileMode only. 1: created with an empty data chunk. 0 and `failed`:
    // "IDS_FILE_OPEN_FAIL" (cannot be created), no message (header not written).
    int CreateWorkFile();

    // Raw read at the working file's offset: the count read, 0 on any
    // refusal or read error. No message.
    std::uint32_t StreamRead(std::uint8_t* destination, std::uint32_t byteCount);
    // Raw write at the working file's offset, keeping the chunk sizes true.
    // 1, or 0 (`failed` when the file refused the bytes). No message.
    int StreamWrite(const std::uint8_t* source, std::uint32_t byteCount);

    // Appends the calibration chunk to the end of a closed file; a failure
    // is only recorded.
    void AppendCalibration(const std::string& path);
    // Byte copy of a whole file in 8 KiB blocks. 1, or 0 with the system's
    // error text (strerror) when a file cannot be opened or created,
    // "IDS_CHECK_TEMP_VARIABLE" when a read, write or close fails, no message
    // without a name or without memory.
    static int CopyFileBytes(const std::string& sourceName, const std::string& destinationName);
    // Copies the first `frames` frames of one WAVE file into a new one, with
    // this object's calibration data. The last block write's result (1 for
    // no frames); 0 when either file cannot be set up (their messages) or the
    // copy cannot be put under its name (its temporary file removed).
    int CopyWaveFile(const std::string& sourceName, const std::string& destinationName, std::uint32_t frames);

    WaveFileMode GetMode() const { return mode; }
    const std::string& GetFileName() const { return fileName; }
    const std::string& GetWorkFileName() const { return workFileName; }
    const std::string& GetTempDirectory() const { return tempDirectory; }
    bool IsUntitled() const { return untitled != 0; }
    bool HasCalibration() const { return hasCalibration != 0; }
    const CalibrationData& GetCalibration() const { return calibration; }
    bool IsCreatedNew() const { return createdNew != 0; }
    bool UsesTempCopy() const { return useTempCopy != 0; }
    bool IsFileOpen() const { return fileHandle.IsOpen(); }
    std::uint32_t GetDataOffset() const { return dataOffset; }

private:
    // Reads the "fmt " chunk at the file's offset into `format`; 0 with or
    // without a message as the failure deserves. The file stays open.
    int ReadFormatChunk(const RiffChunk& fmtChunk);
    // Finds the RIFF WAVE chunk and its "fmt " chunk and reads the format,
    // leaving the offset after the "fmt " chunk. False with the failure
    // recorded and its message shown ("IDS_INVALID_WAVE_FILE" for a missing
    // chunk, none for an unreadable one).
    bool FindFormat(RiffChunk& riff, RiffChunk& fmt);
    // The file being read: the working file in FileMode, else the target.
    const std::string& OpenName() const { return mode == WaveFileMode::FileMode ? workFileName : fileName; }
    // Writes the 16 format bytes of a plain PCM "fmt " chunk.
    bool WriteFormatBytes();
    // MemoryMode save into an open, empty file; false on a short write.
    bool WriteWholeFile(CRiffFile& file);
    int SaveMemory();
    // MemoryMode save straight into a device (there is nothing to replace).
    int SaveInPlace(const std::string& target);
    // MemoryMode save into a new file beside the target, put over it only
    // when complete.
    int SaveReplacing(const std::string& target, const FileInfo& existing);
    // The new file for SaveReplacing: one without a name where the file
    // system has them, else a named temporary one (its name in `name`).
    bool OpenReplacement(const std::string& target, const FileInfo& existing, std::string& name);
    // Gives the finished replacement a name beside the target (a file
    // without one) and closes it; false with the failure recorded.
    bool FinishReplacement(const std::string& target, std::string& name);
    int SaveFile();
    // Renames a new working file to the target (copying it where renaming
    // fails); false, with "IDS_FAILURE_WRITING_WAVE_FILE" shown, when neither works.
    bool MoveWorkFileToTarget();
    // A new unique empty file named "wav..." in tempDirectory; false when none.
    bool MakeTempFileName(std::string& name) const;
    // Reads `byteCount` bytes of samples from `frame` on, zero-filling what
    // the data chunk does not hold; the last frame included.
    void ReadSamplesAt(std::uint32_t frame, std::uint8_t* destination, std::uint32_t byteCount);
    // Whether the working file and the target are one file.
    bool TargetIsWorkFile() const;
    // Puts the held data and RIFF sizes (and pad byte) of a grown data chunk
    // into the file, counting only the samples the file holds. False when
    // that write fails.
    bool WritePendingSizes();

    int untitled = 0;
    int hasCalibration = 0;
    WaveFileMode mode = WaveFileMode::MemoryMode;
    int createdNew = 0;
    int useTempCopy = 0;
    std::string tempDirectory;
    std::string fileName;
    std::string workFileName;
    std::uint32_t dataOffset = 44;
    CalibrationData calibration{};
    CRiffFile fileHandle;
    RiffChunk riffChunk{};
    RiffChunk dataChunk{};
    // Growing the data chunk cut off what followed it in the working file
    // (it would have been overwritten); the calibration chunk is put back on
    // the next save.
    bool trailerDropped = false;
    // The data chunk grew and its size fields in the file are not yet
    // rewritten: a stream of writes is not broken up by header updates.
    // They are written on save, on a failed write and before closing.
    bool sizesPending = false;
};
