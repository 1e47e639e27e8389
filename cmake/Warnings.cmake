# Warnings are errors in our own code; third-party headers come in as system includes.
add_library(vexar_warnings INTERFACE)
target_compile_options(vexar_warnings INTERFACE -Wall -Wextra -Wpedantic -Werror)
