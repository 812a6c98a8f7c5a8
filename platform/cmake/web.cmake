# Web views through WebKitGTK (GTK 3), which also brings GLib's process spawning for the URL opener.
pkg_check_modules(PLAT_WEB REQUIRED IMPORTED_TARGET webkit2gtk-4.1 gtk+-3.0)
target_link_libraries(plat PRIVATE PkgConfig::PLAT_WEB)
