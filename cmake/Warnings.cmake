# Warnings are errors in our own code; third-party headers come in as system includes. The
# Debian packages' build turns the errors off (scripts/package.sh), so that a newer compiler's
# false positive cannot stop a user from making them; CI builds that same tree with them on.
option(VEXAR_WERROR "Make warnings in the project's own code errors" ON)
add_library(vexar_warnings INTERFACE)
target_compile_options(vexar_warnings INTERFACE -Wall -Wextra -Wpedantic
                                                $<$<BOOL:${VEXAR_WERROR}>:-Werror>)
