# Engine: ALSA for sound devices, libsndfile for WAV, libavformat/libavcodec/libswresample for m4a.
pkg_check_modules(SORVANE_ENGINE REQUIRED IMPORTED_TARGET alsa sndfile libavformat libavcodec libswresample libavutil)
target_link_libraries(plat PRIVATE PkgConfig::SORVANE_ENGINE)
