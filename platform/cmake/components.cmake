# The helper that loads a plug-in library in a process of its own before the host loads it; the
# registry finds it beside the library, in the bundle's libexec/.
add_executable(plat-probe ${CMAKE_CURRENT_SOURCE_DIR}/probe/plat-probe.cpp)
sorvane_target(plat-probe)
target_link_libraries(plat-probe PRIVATE ${CMAKE_DL_LIBS})
set_target_properties(plat-probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${SORVANE_APP_DIR}/libexec)
add_dependencies(plat plat-probe)
install(TARGETS plat-probe RUNTIME DESTINATION ${SORVANE_APP_NAME}/libexec)
