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

// What a save does when the name is an existing FIFO or socket: the command line writes into
// it as any program would; the window refuses, so it never waits for a reader.
enum class PipeTargets { Write, Refuse };

// Writes a file without ever destroying an earlier one. `encode` runs first; its bytes then go
// to a temporary file beside the file the name ends at (links are followed and stay links),
// which replaces that file once every byte is written. The new file keeps the earlier one's
// permission bits (never set-user-ID, set-group-ID or sticky) and, where the process may set
// them, its owner and group. An existing target that is not a regular file (a device, a FIFO)
// is written in place, and so is a writable file where the folder takes no new file or the
// rename is not allowed. Errors: kCannotCreateFile with the full path (as VisibleName shows it)
// and the system's text when the file cannot be created or written to at all,
// kStreamWriteError for a short write, and whatever `encode` throws. After any error in the
// atomic path the earlier file is as it was and no temporary file is left; SIGINT, SIGTERM and
// SIGHUP remove the temporary file too.
void WriteFileReplacing(const std::string& path, const std::function<std::vector<uint8_t>()>& encode,
                        PipeTargets pipes = PipeTargets::Write);

// The same for an encoder that hands its bytes over piece by piece through the sink it is
// given, so a large file never lies in memory whole. The checks on the name come first; the
// temporary file then exists while `produce` runs (it goes on errors and the signals above).
using ByteSink = std::function<void(const uint8_t* data, size_t size)>;
void WriteFileReplacingStreamed(const std::string& path, const std::function<void(const ByteSink&)>& produce,
                                PipeTargets pipes = PipeTargets::Write);

// The seam tests use to make writes fail (a full disk): called before each write with the
// number of bytes about to be written; returns how many may be written.
using WriteLimiter = std::function<size_t(size_t)>;
void SetWriteLimiterForTesting(WriteLimiter limiter);

}  // namespace ternova
