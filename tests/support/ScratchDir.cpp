// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/ScratchDir.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

// Distinct for every directory of every test program, even ones started in
// the same clock tick: a random seed per process and a count within it.
std::string UniqueSuffix()
{
    static const std::uint64_t seed = [] {
        std::random_device device;
        return (std::uint64_t{device()} << 32) ^ device() ^
               static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    }();
    static std::atomic<std::uint64_t> count{0};
    std::mt19937_64 mix(seed + count.fetch_add(1));
    const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string suffix;
    for (std::uint64_t value = mix(); suffix.size() < 12; value /= 36)
        suffix += digits[value % 36];
    return suffix;
}

} // namespace

CScratchDir::CScratchDir(const std::string& prefix)
{
    std::error_code error;
    fs::path base = fs::temp_directory_path(error);
    if (error)
        throw std::runtime_error("no temporary directory: " + error.message());
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = base / (prefix + "-" + UniqueSuffix());
        // create_directory says false, not an error, when the name was taken.
        if (fs::create_directory(candidate, error)) {
            path = candidate.string();
            return;
        }
        if (error)
            throw std::runtime_error("cannot create " + candidate.string() + ": " + error.message());
    }
    throw std::runtime_error("no free scratch directory name under " + base.string());
}

CScratchDir::~CScratchDir()
{
    std::error_code ignored;
    // A test may have taken its own permissions away.
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path, ignored);
}

std::string CScratchDir::File(const std::string& name) const
{
    return path + static_cast<char>(fs::path::preferred_separator) + name;
}

std::vector<std::string> CScratchDir::List() const
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::uint8_t> ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteAll(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

bool Exists(const std::string& path)
{
    std::error_code ignored;
    return fs::exists(path, ignored);
}
