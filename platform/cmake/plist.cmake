# Property lists through libplist.
pkg_check_modules(SORVANE_LIBPLIST REQUIRED IMPORTED_TARGET libplist-2.0)
target_link_libraries(plat PRIVATE PkgConfig::SORVANE_LIBPLIST)
