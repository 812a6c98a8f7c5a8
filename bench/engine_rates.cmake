sorvane_add_bench(engine_rates_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/engine_rates_bench.cpp LIBS plat)
