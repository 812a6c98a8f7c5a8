# Drawing speed of the plug-in face (frames per second as items_per_second).
if(TARGET sorvane_panel)
  sorvane_add_bench(panel_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/panel_bench.cpp LIBS sorvane_panel)
endif()
# The live panel in a headless window: meter ticks (what moved, whole, still), redraw after a drag, idle render.
if(TARGET sorvane_interface)
  sorvane_add_bench(panel_view_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/panel_view_bench.cpp LIBS sorvane_interface)
endif()
