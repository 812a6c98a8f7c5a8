# Compile options shared by every target of ours (third-party code is not built here).
add_library(sorvane_options INTERFACE)
target_compile_options(sorvane_options INTERFACE
  -Wall -Wextra -Werror
  # Every arithmetic path must round like the plain scalar reading: no fused multiply-add.
  -ffp-contract=off
  -fno-math-errno)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(sorvane_options INTERFACE -Wno-interference-size)
endif()

if(SORVANE_SANITIZE)
  string(REPLACE ";" "," _san "${SORVANE_SANITIZE}")
  add_compile_options(-fsanitize=${_san} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${_san})
endif()

find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)

# sorvane_target(<name>): applies the shared options to one of our targets.
function(sorvane_target name)
  target_link_libraries(${name} PRIVATE sorvane_options)
endfunction()
