# Every third-party library the engine links, gathered into one interface target.
find_package(PkgConfig REQUIRED)
pkg_check_modules(VELMORA_PKG REQUIRED IMPORTED_TARGET
  libavformat libavcodec libavutil libswresample
  soxr taglib libmpg123 sndfile libopenmpt fluidsynth wavpack
  vorbisenc vorbisfile vorbis ogg)

add_library(velmora_deps INTERFACE)
target_link_libraries(velmora_deps INTERFACE
  PkgConfig::VELMORA_PKG
  # These ship no usable pkg-config file.
  gsm mp3lame opencore-amrnb opencore-amrwb vo-amrwbenc)
