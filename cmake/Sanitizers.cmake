if(VEXAR_SANITIZE)
  # Float division by zero is left out on purpose: IEEE infinities are results the parameter
  # conversions define (a frame rate of 0 reads back as infinity).
  add_compile_options(-fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined,float-cast-overflow)
endif()
if(VEXAR_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
if(VEXAR_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "VEXAR_FUZZ needs clang (libFuzzer): configure with CC=clang CXX=clang++")
  endif()
  # Coverage instrumentation everywhere; only the fuzz targets link the libFuzzer driver.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
