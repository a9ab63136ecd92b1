#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

// Points the registry at a fresh config folder below `folder` and writes the
// settings key with `values` (REGEDIT4 value lines, CR LF each) unless
// `values` is null, which leaves the registry without a file.
void SeedRegistry(const std::filesystem::path& folder, const char* values);

// A 4-byte value as a REGEDIT4 "hex:" value, little-endian.
std::string RegistryHex32(uint32_t value);

// A text value's bytes as a REGEDIT4 "hex:" value.
std::string RegistryHexText(const std::string& text);
