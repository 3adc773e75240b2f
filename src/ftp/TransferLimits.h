#pragma once

// Shared by every kind of server the client talks to.
namespace TransferLimits {
// A server that stops sending or answering for this long has gone.
inline constexpr long StallSeconds = 60;
// Larger than curl's default so that big archives move in fewer system calls.
inline constexpr long BufferBytes = 256 * 1024;
} // namespace TransferLimits
