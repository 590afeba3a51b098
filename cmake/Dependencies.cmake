# Every third-party library the engine links, gathered into one interface target.
find_package(PkgConfig REQUIRED)
pkg_check_modules(VELMORA_PKG REQUIRED IMPORTED_TARGET
  soxr taglib libmpg123 sndfile libopenmpt wavpack
  vorbisenc vorbisfile vorbis ogg)
# Loaded on first use when the platform allows it (cmake/LazyLibraries.cmake).
pkg_check_modules(VELMORA_LAZY_PKG REQUIRED
  libavformat libavcodec libavutil libswresample fluidsynth)

add_library(velmora_deps INTERFACE)
target_link_libraries(velmora_deps INTERFACE
  PkgConfig::VELMORA_PKG
  # These ship no usable pkg-config file.
  gsm mp3lame opencore-amrnb opencore-amrwb vo-amrwbenc)
include(${CMAKE_CURRENT_LIST_DIR}/LazyLibraries.cmake)
velmora_lazy_libraries(velmora_deps VELMORA_LAZY_PKG)
