if(VEXAR_SANITIZE)
  # Float division by zero is left out on purpose: IEEE infinities are results the parameter
  # conversions define (a frame rate of 0 reads back as infinity).
  add_compile_options(-fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined,float-cast-overflow)
  if(NOT VEXAR_FUZZ)
    # The suite's checks do not need -O2 here (the plain build runs it optimised), and GCC's
    # UndefinedBehaviorSanitizer checks multiply what -O2 and full debug information cost to
    # compile: -Og with line tables only builds the tree in under half the time, and a
    # report still names file and line. Fuzzing keeps the build type's flags: there speed is
    # executions.
    add_compile_options(-Og -g1)
  endif()
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
