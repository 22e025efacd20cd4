// SPDX-License-Identifier: GPL-3.0-or-later
// A resizable block of bytes that is zero-filled when allocated and when it
// grows, and keeps its leading bytes when it shrinks. It stands where the
// movable global-memory blocks stood: one owner allocates and frees it.
#pragma once

#include <cstddef>
#include <cstdint>

class CZeroBlock {
public:
    CZeroBlock() = default;
    ~CZeroBlock();
    CZeroBlock(const CZeroBlock&) = delete;
    CZeroBlock& operator=(const CZeroBlock&) = delete;
    CZeroBlock(CZeroBlock&& other) noexcept;
    CZeroBlock& operator=(CZeroBlock&& other) noexcept;

    // Replaces any block by `bytes` zero bytes. A block of 0 bytes is still a
    // block. False, and no block, when the memory cannot be had.
    bool Allocate(std::size_t bytes);

    // Grows (zero-filling the new bytes) or shrinks (keeping the leading
    // bytes). False, and the old block unchanged, when it cannot.
    bool Resize(std::size_t bytes);

    void Free();

    bool IsAllocated() const { return data != nullptr; }
    std::uint8_t* Data() const { return data; }
    std::size_t Size() const { return size; }

    // The largest block any CZeroBlock may take; larger requests fail as an
    // allocation failure would. Lets a front end or a test bound memory use.
    static void SetLimit(std::size_t bytes);
    static std::size_t Limit();

private:
    std::uint8_t* data = nullptr;
    std::size_t size = 0;
};
