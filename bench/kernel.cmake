sorvane_add_bench(kernel_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/kernel_bench.cpp LIBS sorvane_kernel)
