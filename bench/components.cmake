# The registry's scan and instantiation of the real plug-in, with and without loading each library
# first in a process of its own.
sorvane_add_bench(components_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/components_bench.cpp LIBS plat)
target_compile_definitions(components_bench PRIVATE SORVANE_APP_DIR="${SORVANE_APP_DIR}")
add_dependencies(components_bench YUX_Sorvane YUX_Sorvane_Extension)
