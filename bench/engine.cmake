sorvane_add_bench(engine_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/engine_bench.cpp LIBS sorvane_unit sorvane_app_objects)
# The start-up benchmark reads the application bundle: the plug-in's record and the clips.
target_compile_definitions(engine_bench PRIVATE SORVANE_APP_DIR="${SORVANE_APP_DIR}")
add_dependencies(engine_bench YUX_Sorvane)
