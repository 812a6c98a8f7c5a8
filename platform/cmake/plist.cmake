# Property lists: XML through libxml2's reader; the binary format is read by our own code.
pkg_check_modules(SORVANE_LIBXML2 REQUIRED IMPORTED_TARGET libxml-2.0)
target_link_libraries(plat PRIVATE PkgConfig::SORVANE_LIBXML2)
