sorvane_add_bench(engine_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/engine_bench.cpp LIBS sorvane_unit)
