// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/ZeroBlock.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

// Sample blocks are addressed with 32-bit sizes; nothing larger is ever needed.
constexpr std::size_t DefaultLimit = 0xFFFFFFFFu;
std::atomic<std::size_t> limit{DefaultLimit};

} // namespace

void CZeroBlock::SetLimit(std::size_t bytes)
{
    limit = bytes;
}

std::size_t CZeroBlock::Limit()
{
    return limit;
}

CZeroBlock::~CZeroBlock()
{
    Free();
}

CZeroBlock::CZeroBlock(CZeroBlock&& other) noexcept
    : data(std::exchange(other.data, nullptr)), size(std::exchange(other.size, 0))
{
}

CZeroBlock& CZeroBlock::operator=(CZeroBlock&& other) noexcept
{
    if (this != &other) {
        Free();
        data = std::exchange(other.data, nullptr);
        size = std::exchange(other.size, 0);
    }
    return *this;
}

bool CZeroBlock::Allocate(std::size_t bytes)
{
    Free();
    if (bytes > limit)
        return false;
    // calloc(0) may return null; one byte keeps "a block of 0 bytes" a block.
    auto* block = static_cast<std::uint8_t*>(std::calloc(bytes ? bytes : 1, 1));
    if (!block)
        return false;
    data = block;
    size = bytes;
    return true;
}

bool CZeroBlock::Resize(std::size_t bytes)
{
    if (!data)
        return Allocate(bytes);
    if (bytes > limit)
        return false;
    auto* block = static_cast<std::uint8_t*>(std::realloc(data, bytes ? bytes : 1));
    if (!block)
        return false;
    if (bytes > size)
        std::memset(block + size, 0, bytes - size);
    data = block;
    size = bytes;
    return true;
}

void CZeroBlock::Free()
{
    std::free(data);
    data = nullptr;
    size = 0;
}
