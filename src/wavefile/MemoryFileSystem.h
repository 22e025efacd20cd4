// SPDX-License-Identifier: GPL-3.0-or-later
// A file system held in memory, for tests and fuzzers: files are byte
// vectors under their names, so a parse needs no disk, and any operation can
// be made to fail with a chosen error to reach the failure paths a real disk
// only gives now and then.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "wavefile/FileSystem.h"

class CMemoryFileSystem final : public IFileSystem {
public:
    using Bytes = std::vector<std::uint8_t>;

    // Failures to give, each an errno value (0: none).
    struct Faults {
        // Writes fail with `writeError` once this many bytes were written in
        // all (the write that crosses the limit stores what fits).
        std::uint64_t writeBudget = UINT64_MAX;
        int writeError = 0;
        int openError = 0;   // every creation of a new file (Open of a new name, temporary files)
        int syncError = 0;
        int closeError = 0;  // a close after a write
        int renameError = 0;
        bool anonymous = true; // whether CreateAnonymous works
    };

    void Put(const std::string& name, Bytes bytes);
    // The bytes under a name, none when it does not exist.
    std::optional<Bytes> Get(const std::string& name) const;
    std::vector<std::string> Names() const;
    Faults faults;

    int Open(const std::string& name, FileAccess access, std::unique_ptr<IFile>& file) override;
    int Inspect(const std::string& name, FileInfo& info) override;
    int ResolveTarget(const std::string& name, std::string& target, std::string& refusal) override
    {
        target = name;
        refusal.clear();
        return 0;
    }
    int Rename(const std::string& from, const std::string& to) override;
    int Remove(const std::string& name) override;
    int CreateTemporary(const std::string& directory, const std::string& prefix, std::string& name,
                        std::unique_ptr<IFile>& file) override;
    int CreateAnonymous(const std::string& directory, std::unique_ptr<IFile>& file) override;
    int LinkAnonymous(IFile& file, const std::string& name) override;
    int Adopt(IFile& file, const FileInfo& like) override;
    std::string TemporaryDirectory() override { return "/tmp"; }
    std::string DirectoryOf(const std::string& path) override;

    // Bytes all files took in writes so far; the budget counts against it.
    std::uint64_t written = 0;

private:
    std::map<std::string, std::shared_ptr<Bytes>> files;
    unsigned nextName = 0;
};
