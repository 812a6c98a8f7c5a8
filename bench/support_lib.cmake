sorvane_add_bench(support_lib_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/support_lib_bench.cpp LIBS dsp_ios sdo_ios)
