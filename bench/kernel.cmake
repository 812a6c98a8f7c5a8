sorvane_add_bench(kernel_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/kernel_bench.cpp LIBS sorvane_kernel)
target_include_directories(kernel_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests/kernel)
