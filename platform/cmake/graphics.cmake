# Graphics: cairo for drawing and PNG, pango for text, fontconfig for our face mapping.
pkg_check_modules(PLAT_GRAPHICS REQUIRED IMPORTED_TARGET cairo pangocairo pangoft2 fontconfig)
target_link_libraries(plat PUBLIC PkgConfig::PLAT_GRAPHICS)
target_link_libraries(plat PRIVATE ${CMAKE_DL_LIBS})

# The library finds its font configuration beside itself (fonts/plat-fonts.conf), never from the
# current directory. A bundle carries it in Resources/fonts/ next to the library's lib/ folder.
set(PLAT_FONT_CONFIG ${CMAKE_CURRENT_LIST_DIR}/../../resources/fonts/plat-fonts.conf)
add_custom_command(TARGET plat POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E make_directory $<TARGET_FILE_DIR:plat>/fonts
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${PLAT_FONT_CONFIG} $<TARGET_FILE_DIR:plat>/fonts/plat-fonts.conf
  VERBATIM)
set_property(TARGET plat APPEND PROPERTY LINK_DEPENDS ${PLAT_FONT_CONFIG})
