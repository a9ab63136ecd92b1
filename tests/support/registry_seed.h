#pragma once

#include <filesystem>
#include <string>

// Points the registry at a fresh config folder below `folder` and writes the
// settings key with `values` (REGEDIT4 value lines, CR LF each) unless
// `values` is null, which leaves the registry without a file.
void SeedRegistry(const std::filesystem::path& folder, const char* values);
