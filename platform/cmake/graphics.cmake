# Graphics: cairo for drawing and PNG, pango for text, fontconfig for our face mapping.
pkg_check_modules(PLAT_GRAPHICS REQUIRED IMPORTED_TARGET cairo pangocairo pangoft2 fontconfig pixman-1)
target_link_libraries(plat PUBLIC PkgConfig::PLAT_GRAPHICS)
target_link_libraries(plat PRIVATE ${CMAKE_DL_LIBS})

# The library finds its font configuration beside itself, never from the current directory: in
# fonts/ next to it, or, as the application bundle carries it, in Resources/fonts/ next to its lib/.
set(PLAT_FONT_CONFIG ${CMAKE_CURRENT_LIST_DIR}/../../resources/fonts/plat-fonts.conf)
add_custom_command(TARGET plat POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E make_directory ${SORVANE_APP_DIR}/Resources/fonts
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${PLAT_FONT_CONFIG} ${SORVANE_APP_DIR}/Resources/fonts/plat-fonts.conf
  VERBATIM)
set_property(TARGET plat APPEND PROPERTY LINK_DEPENDS ${PLAT_FONT_CONFIG})
install(FILES ${PLAT_FONT_CONFIG} DESTINATION ${SORVANE_APP_NAME}/Resources/fonts)
