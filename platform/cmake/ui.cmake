# Windows, input and dialogs through GTK 3 (X11 for the window ids that test tools drive).
pkg_check_modules(PLAT_GTK REQUIRED IMPORTED_TARGET gtk+-3.0 gdk-x11-3.0)
target_link_libraries(plat PRIVATE PkgConfig::PLAT_GTK)
