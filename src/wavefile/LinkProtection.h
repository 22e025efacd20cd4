// SPDX-License-Identifier: GPL-3.0-or-later
// The rules by which Linux protects links and files in sticky directories
// that anyone may write to (/tmp): fs.protected_symlinks and
// fs.protected_regular. A save follows links and replaces files itself
// (readlink, rename), where the kernel's open would have applied these
// rules; it asks them here so that a save never reaches further than
// opening the name for writing would, not even for root.
#pragma once

#include <cstdint>
#include <string>

// The directory that holds a link or a file: its mode bits and its owner.
struct HoldingDirectory {
    std::uint32_t mode = 0; // with the sticky bit (01000) and the write bits
    std::uint32_t owner = 0;
};

// Whether a process whose file-system user is `follower` may follow a link
// owned by `linkOwner` in `directory` under fs.protected_symlinks = `level`:
// always at level 0, to the link's owner, out of a directory that is not
// both sticky and world-writable, and for a link of the directory's owner.
bool MayFollowLink(int level, const HoldingDirectory& directory, std::uint32_t linkOwner, std::uint32_t follower);

// Whether that process may open an existing regular file owned by
// `fileOwner` in `directory` with O_CREAT under fs.protected_regular =
// `level`: refused only in a sticky directory, to files of neither the
// opener nor the directory's owner, when the directory is world-writable
// (level 1 or 2) or group-writable (level 2).
bool MayCreateOver(int level, const HoldingDirectory& directory, std::uint32_t fileOwner, std::uint32_t opener);

// The reasons a save gives for each refusal, naming the link or the file.
std::string ProtectedLinkReason(const std::string& link);
std::string ProtectedFileReason(const std::string& file);
