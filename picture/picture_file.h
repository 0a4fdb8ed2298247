#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ternova {

// The text from the last "." after the last folder separator ("/", "\" or ":"), with ASCII
// letters lowered: ".wmf" for "C:\Plots\Net.WMF", empty when there is none.
std::string PictureExtension(std::string_view name);

// Writes a file without ever destroying an earlier one: the bytes go to a temporary file in
// the target's folder, which replaces the target only once every byte is written. Errors:
// kCannotCreateFile with the full path and the system's text when the file cannot be created,
// kStreamWriteError for a short write, and whatever `encode` throws. After any error
// the earlier file is as it was and no temporary file is left.
void WriteFileReplacing(const std::string& path, const std::function<std::vector<uint8_t>()>& encode);

// The same for an encoder that hands its bytes over piece by piece through the sink it is
// given, so a large file never lies in memory whole.
using ByteSink = std::function<void(const uint8_t* data, size_t size)>;
void WriteFileReplacingStreamed(const std::string& path, const std::function<void(const ByteSink&)>& produce);

// The seam tests use to make writes fail (a full disk): called before each write with the
// number of bytes about to be written; returns how many may be written.
using WriteLimiter = std::function<size_t(size_t)>;
void SetWriteLimiterForTesting(WriteLimiter limiter);

}  // namespace ternova
