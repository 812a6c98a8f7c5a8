# Data from URLs through libcurl; PNG decoding through cairo.
pkg_check_modules(SORVANE_LIBCURL REQUIRED IMPORTED_TARGET libcurl)
pkg_check_modules(SORVANE_IMAGE_CAIRO REQUIRED IMPORTED_TARGET cairo)
target_link_libraries(plat PRIVATE PkgConfig::SORVANE_LIBCURL PkgConfig::SORVANE_IMAGE_CAIRO)
