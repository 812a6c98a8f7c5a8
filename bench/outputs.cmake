sorvane_add_bench(outputs_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/outputs_bench.cpp LIBS plat)
