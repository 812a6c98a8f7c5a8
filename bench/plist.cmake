# Reading large property lists, against libplist's parse of the same bytes.
pkg_check_modules(SORVANE_BENCH_LIBPLIST REQUIRED IMPORTED_TARGET libplist-2.0)
sorvane_add_bench(plist_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/plist_bench.cpp
  LIBS plat PkgConfig::SORVANE_BENCH_LIBPLIST)
