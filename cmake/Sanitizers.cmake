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
