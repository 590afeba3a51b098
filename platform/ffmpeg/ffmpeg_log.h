#pragma once

namespace velmora {

// Stops FFmpeg's notes on standard error (an unusual extension for the muxer, a clamped bit
// rate, a damaged packet): the program reports its own failures and has no log. Every FFmpeg
// user calls it before its first FFmpeg call; only the first call does anything.
void silenceFfmpegLogging();

} // namespace velmora
