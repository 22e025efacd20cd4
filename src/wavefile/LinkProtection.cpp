// SPDX-License-Identifier: GPL-3.0-or-later
#include "wavefile/LinkProtection.h"

namespace {

constexpr std::uint32_t Sticky = 01000;
constexpr std::uint32_t GroupWritable = 0020;
constexpr std::uint32_t OthersWritable = 0002;

} // namespace

bool MayFollowLink(int level, const HoldingDirectory& directory, std::uint32_t linkOwner, std::uint32_t follower)
{
    if (level == 0 || linkOwner == follower)
        return true;
    if ((directory.mode & (Sticky | OthersWritable)) != (Sticky | OthersWritable))
        return true;
    return linkOwner == directory.owner;
}

bool MayCreateOver(int level, const HoldingDirectory& directory, std::uint32_t fileOwner, std::uint32_t opener)
{
    if (level == 0 || (directory.mode & Sticky) == 0 || fileOwner == directory.owner || fileOwner == opener)
        return true;
    if ((directory.mode & OthersWritable) != 0)
        return false;
    return level < 2 || (directory.mode & GroupWritable) == 0;
}

std::string ProtectedLinkReason(const std::string& link)
{
    return "'" + link +
           "' is another user's link in a sticky directory that others may write to, which the system "
           "follows only for its owner (fs.protected_symlinks)";
}

std::string ProtectedFileReason(const std::string& file)
{
    return "'" + file +
           "' is another user's file in a sticky directory that others may write to, which the system "
           "lets only its owner open for writing (fs.protected_regular)";
}
